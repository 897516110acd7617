#include "ConversionRun.h"

#include "FileIdentity.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "ReadableStripper.h"
#include "TagStripper.h"

#include <QCoreApplication>
#include <vector>

namespace plaintrove::conversion {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("plaintrove::conversion::ConversionRun", text);
}

ConversionResult failed(const QString &path, const QString &reason)
{
    return { ConversionStatus::Failed, path, reason };
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

// Feeds the whole input to either stripper.
template <typename Stripper>
ConversionResult strip(runtime::InputFile &input, runtime::OutputFile &output, Stripper &stripper)
{
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const qint64 count = input.read(buffer);
        if (count < 0)
            return failed(input.path(), input.errorString());
        if (count == 0)
            break;
        if (!stripper.feed({ buffer.data(), static_cast<std::size_t>(count) }))
            return failed(output.path(), output.errorString());
    }
    const StripOutcome outcome = stripper.finish();
    if (outcome == StripOutcome::SinkFailed || !output.commit())
        return failed(output.path(), output.errorString());
    if (outcome == StripOutcome::UnclosedTag) {
        return { ConversionStatus::ConvertedUnclosedTag, input.path(),
            tr("the input ends inside a tag that is never closed; the text before it was kept") };
    }
    return { ConversionStatus::Converted, output.path(), {} };
}

} // namespace

ConversionResult runConversion(const ConversionRequest &request)
{
    if (request.fileName.isEmpty())
        return failed(request.directory, tr("no input file is selected"));
    // Joined as they stand: a directory that already ends in "/" yields a doubled separator,
    // which the file system reads as one.
    runtime::InputFile input(request.directory + QLatin1Char('/') + request.fileName);
    return runConversion(input, request.outputPath);
}

ConversionResult runConversion(
    runtime::InputFile &input, const QString &outputPath, StripOptions options)
{
    if (!input.isOpen())
        return failed(input.path(), input.errorString());
    if (outputPath.isEmpty())
        return failed(input.path(), tr("no output file was given"));
    // Checked before the output is even prepared: a replaced input is lost for good.
    const auto identity = runtime::fileIdentity(input.descriptor());
    if (identity && identity == runtime::fileIdentity(outputPath))
        return failed(outputPath, tr("the output file is the input file"));
    runtime::OutputFile output(outputPath);
    return StripTags(input, output, options);
}

ConversionResult StripTags(
    runtime::InputFile &input, runtime::OutputFile &output, StripOptions options)
{
    if (!input.isOpen())
        return failed(input.path(), input.errorString());
    if (!output.isOpen())
        return failed(output.path(), output.errorString());
    // Standard output may be the input, as in `strip x >> x`: the run would read its own output
    // back for ever. Only a regular file counts: a terminal is both ends, and harmless.
    if (runtime::isRegularFile(input.descriptor())
        && runtime::fileIdentity(input.descriptor()) == runtime::fileIdentity(output.descriptor()))
        return failed(output.path(), tr("the output file is the input file"));

    OutputSink sink(output);
    if (options.mode == StripMode::Readable) {
        ReadableStripper stripper(sink, options.lineEnd);
        return strip(input, output, stripper);
    }
    TagStripper stripper(sink, options.lineEnd);
    return strip(input, output, stripper);
}

} // namespace plaintrove::conversion
