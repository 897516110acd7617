#include "ConversionRun.h"

#include "FileIdentity.h"
#include "InputFile.h"
#include "Interruption.h"
#include "OutputFile.h"
#include "article/ArticleStripper.h"
#include "exact/TagStripper.h"
#include "readable/ReadableStripper.h"

#include <memory>

namespace plaintrove::conversion {

namespace {

ConversionResult failed(const std::filesystem::path &path, std::string reason)
{
    return { ConversionStatus::Failed, path, std::move(reason) };
}

class OutputSink final : public TextSink
{
public:
    explicit OutputSink(runtime::OutputFile &file)
        : m_file(file)
    { }
    bool write(std::string_view text) override { return m_file.write(text); }

private:
    runtime::OutputFile &m_file;
};

constexpr std::string_view unclosedReason
    = "the input ends inside a tag that is never closed; the text before it was kept";

std::string wholeTextReason()
{
    return "the page is larger than " + std::to_string(ArticleStripper::maxPage >> 20)
        + " MiB, too large to look for its article; all its text was written";
}

// Feeds the whole input to a stripper.
template <typename Stripper>
ConversionResult feed(runtime::InputFile &input, runtime::OutputFile &output, Stripper &stripper)
{
    // Not zeroed: a batch reads thousands of files, and only bytes read are looked at.
    constexpr std::size_t blockSize = 256 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(blockSize);
    for (;;) {
        if (runtime::interruption())
            return failed(output.path(), "interrupted");
        const std::int64_t count = input.read({ buffer.get(), blockSize });
        if (count < 0)
            return failed(input.path(), input.errorString());
        if (count == 0)
            break;
        if (!stripper.feed({ buffer.get(), static_cast<std::size_t>(count) }))
            return failed(output.path(), output.errorString());
    }
    switch (stripper.finish()) {
    case StripOutcome::Complete:
        return { ConversionStatus::Converted, output.path(), {} };
    case StripOutcome::UnclosedTag:
        return { ConversionStatus::ConvertedUnclosedTag, input.path(),
            std::string(unclosedReason) };
    case StripOutcome::WholeText:
        return { ConversionStatus::Converted, input.path(), wholeTextReason() };
    case StripOutcome::WholeTextUnclosedTag:
        return { ConversionStatus::ConvertedUnclosedTag, input.path(),
            wholeTextReason() + "; " + std::string(unclosedReason) };
    case StripOutcome::SinkFailed:
        break;
    }
    return failed(output.path(), output.errorString());
}

// Copies the input to the output without markup, leaving the output to be committed.
ConversionResult strip(runtime::InputFile &input, runtime::OutputFile &output, StripOptions options)
{
    if (!input.isOpen())
        return failed(input.path(), input.errorString());
    if (!output.isOpen())
        return failed(output.path(), output.errorString());
    // Standard output may be the input, as in `strip x >> x`: the run would read its own output
    // back for ever. Only a regular file counts: a terminal is both ends, and harmless. A new
    // temporary file cannot be the input.
    if (!output.replaces() && runtime::isRegularFile(input.descriptor())
        && runtime::fileIdentity(input.descriptor()) == runtime::fileIdentity(output.descriptor()))
        return failed(output.path(), "the output file is the input file");

    OutputSink sink(output);
    switch (options.mode) {
    case StripMode::Readable: {
        ReadableStripper stripper(sink, options.lineEnd, options.encoding);
        return feed(input, output, stripper);
    }
    case StripMode::Article: {
        ArticleStripper stripper(sink, options.lineEnd, options.encoding);
        return feed(input, output, stripper);
    }
    case StripMode::Exact:
        break;
    }
    TagStripper stripper(sink, options.lineEnd);
    return feed(input, output, stripper);
}

ConversionResult committed(ConversionResult result, runtime::OutputFile &output)
{
    if (result.status != ConversionStatus::Failed && !output.commit())
        return failed(output.path(), output.errorString());
    return result;
}

} // namespace

ConversionResult runConversion(const ConversionRequest &request)
{
    const runtime::InterruptionGuard interruptions;
    if (request.fileName.empty())
        return failed(request.directory, "no input file is selected");
    // Joined as they stand: a directory that already ends in "/" yields a doubled separator,
    // which the file system reads as one.
    runtime::InputFile input(request.directory.native() + '/' + request.fileName.native());
    return runConversion(input, request.outputPath);
}

ConversionResult runConversion(
    runtime::InputFile &input, const std::filesystem::path &outputPath, StripOptions options)
{
    PendingConversion pending = convertWithoutCommit(input, outputPath, options);
    return pending.output ? committed(pending.result, *pending.output) : pending.result;
}

PendingConversion convertWithoutCommit(
    runtime::InputFile &input, const std::filesystem::path &outputPath, StripOptions options)
{
    if (!input.isOpen())
        return { failed(input.path(), input.errorString()), nullptr };
    if (outputPath.empty())
        return { failed(input.path(), "no output file was given"), nullptr };
    // Checked before the output is even prepared: a replaced input is lost for good.
    const auto identity = runtime::fileIdentity(input.descriptor());
    if (identity && identity == runtime::fileIdentity(outputPath))
        return { failed(outputPath, "the output file is the input file"), nullptr };
    auto output = std::make_unique<runtime::OutputFile>(outputPath);
    ConversionResult result = strip(input, *output, options);
    return { std::move(result), std::move(output) };
}

ConversionResult StripTags(
    runtime::InputFile &input, runtime::OutputFile &output, StripOptions options)
{
    return committed(strip(input, output, options), output);
}

} // namespace plaintrove::conversion
