#pragma once

// What plaintrove-strip tells its caller: the exit status, and messages on standard error that
// name the file, by its bytes as they are, and the reason.

#include <filesystem>
#include <string_view>

namespace plaintrove::conversion {
struct ConversionResult;
} // namespace plaintrove::conversion

namespace plaintrove::cli {

enum class ExitStatus : int {
    Converted = 0,
    FileError = 1, // a file could not be opened, read or written
    UsageError = 2, // the command line itself was wrong
    UnclosedTag = 3, // converted, but an input ended inside a tag
};

// The status of a batch is the worst of its files': a failure (1) outranks a warning (3), and
// wrong usage (2) outranks both.
ExitStatus worse(ExitStatus a, ExitStatus b);

// One line, written at once: lines of a batch never mix.
void printLineToStandardError(std::string_view text);
void printError(std::string_view message);
void printFileMessage(const std::filesystem::path &path, std::string_view reason);

// Prints what went wrong with a conversion, if anything, and returns its status.
ExitStatus report(const conversion::ConversionResult &result);

} // namespace plaintrove::cli
