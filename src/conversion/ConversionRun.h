#pragma once

// One conversion of a file: opens the input, refuses outputs that would destroy it, strips the
// markup into a temporary file beside the output and replaces the output only when everything
// succeeded. An existing output is never touched by a run that failed. Paths are bytes, as the
// system spells them; messages are English.

#include "TextSink.h"

#include <filesystem>
#include <memory>
#include <string>

namespace plaintrove::runtime {
class InputFile;
class OutputFile;
} // namespace plaintrove::runtime

namespace plaintrove::conversion {

struct ConversionRequest
{
    std::filesystem::path directory; // the directory the input file was chosen in
    std::filesystem::path fileName; // the input's name within it; empty when nothing is selected
    std::filesystem::path outputPath; // used exactly as given
};

enum class ConversionStatus {
    Converted,
    ConvertedUnclosedTag, // output written, but the input ended inside a tag
    Failed, // nothing of the user's was changed
};

struct ConversionResult
{
    ConversionStatus status = ConversionStatus::Failed;
    std::filesystem::path path; // the file the outcome is about (the input, or the output on a
                                // write failure)
    std::string reason; // why it failed or what the warning is; empty when Converted without one
};

// Runs the whole conversion for a request.
ConversionResult runConversion(const ConversionRequest &request);

// Converts an already opened input (standard input, for instance) into the file `outputPath`.
ConversionResult runConversion(
    runtime::InputFile &input, const std::filesystem::path &outputPath, StripOptions options = {});

// A conversion whose output is written but not yet committed: a batch commits many together.
// `output` is null when the output could not even be prepared.
struct PendingConversion
{
    ConversionResult result;
    std::unique_ptr<runtime::OutputFile> output;
};
PendingConversion convertWithoutCommit(
    runtime::InputFile &input, const std::filesystem::path &outputPath, StripOptions options = {});

// Copies an opened input to an opened output without markup, and commits the output when the
// input was read to its end; on a failure the output is given up.
ConversionResult StripTags(
    runtime::InputFile &input, runtime::OutputFile &output, StripOptions options = {});

} // namespace plaintrove::conversion
