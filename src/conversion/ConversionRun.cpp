#include "ConversionRun.h"

#include "Files.h"
#include "StripTags.h"

#include <QCoreApplication>
#include <exception>
#include <new>
#include <utility>

namespace plaintrove::conversion {

namespace {

// A failed read or write, carried out of StripTags, which catches nothing.
class FileFailure : public std::exception
{
public:
    FileFailure(QString path, QString reason)
        : m_path(std::move(path))
        , m_reason(std::move(reason))
    { }
    const char *what() const noexcept override { return "file read or write failed"; }
    const QString &path() const { return m_path; }
    const QString &reason() const { return m_reason; }

private:
    QString m_path;
    QString m_reason;
};

class InputSource final : public ByteSource
{
public:
    explicit InputSource(runtime::InputFile &file)
        : m_file(file)
    { }
    std::size_t read(std::span<char> buffer) override
    {
        const qint64 count = m_file.read(buffer);
        if (count < 0)
            throw FileFailure(m_file.path(), m_file.errorString());
        return static_cast<std::size_t>(count);
    }

private:
    runtime::InputFile &m_file;
};

class OutputSink final : public ByteSink
{
public:
    explicit OutputSink(runtime::OutputFile &file)
        : m_file(file)
    { }
    void write(std::string_view bytes) override
    {
        if (!m_file.write(bytes))
            throw FileFailure(m_file.path(), m_file.errorString());
    }

private:
    runtime::OutputFile &m_file;
};

QString sameFileReason()
{
    return QCoreApplication::translate(
        "plaintrove::conversion::ConversionRun", "the output file is the input file");
}

QString noOutputReason()
{
    return QCoreApplication::translate(
        "plaintrove::conversion::ConversionRun", "no output file was given");
}

ConversionResult failed(QString path, QString reason)
{
    return { ConversionStatus::Failed, std::move(path), std::move(reason) };
}

// Turns whatever escapes a run into a result, so that no caller has to catch.
template <typename Run> ConversionResult guarded(const QString &path, Run &&run) noexcept
{
    try {
        return std::forward<Run>(run)();
    } catch (const FileFailure &failure) {
        return failed(failure.path(), failure.reason());
    } catch (const std::bad_alloc &) {
        return failed(path,
            QCoreApplication::translate(
                "plaintrove::conversion::ConversionRun", "there is not enough memory"));
    } catch (const std::exception &error) {
        return failed(path, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return failed(path,
            QCoreApplication::translate("plaintrove::conversion::ConversionRun",
                "an unexpected error stopped the conversion"));
    }
}

ConversionResult strip(runtime::InputFile &input, runtime::OutputFile &output)
{
    if (!input.isOpen())
        return failed(input.path(), input.errorString());
    if (!output.isOpen())
        return failed(output.path(), output.errorString());
    // `strip x >> x` would read its own output back for ever.
    if (output.isStandardOutput() && runtime::isStandardOutputSameFile(input))
        return failed(output.path(), sameFileReason());

    InputSource source(input);
    OutputSink sink(output);
    StripOutcome outcome = StripOutcome::Complete;
    try {
        outcome = StripTags(source, sink);
    } catch (...) {
        output.discard();
        throw;
    }
    if (!output.commit())
        return failed(output.path(), output.errorString());
    if (outcome == StripOutcome::UnclosedTag) {
        return { ConversionStatus::ConvertedUnclosedTag, input.path(),
            QCoreApplication::translate("plaintrove::conversion::ConversionRun",
                "the input ends inside a tag that is never closed; the text before it was "
                "kept") };
    }
    return { ConversionStatus::Converted, output.path(), {} };
}

} // namespace

QString ConversionRequest::inputPath() const
{
    return directory + QLatin1Char('/') + fileName;
}

ConversionResult runConversion(const ConversionRequest &request)
{
    return guarded(request.directory, [&request] {
        if (request.fileName.isEmpty()) {
            return failed(request.directory,
                QCoreApplication::translate(
                    "plaintrove::conversion::ConversionRun", "no input file is selected"));
        }
        if (request.outputPath.isEmpty())
            return failed(request.inputPath(), noOutputReason());
        runtime::InputFile input(request.inputPath());
        return runConversion(input, request.outputPath);
    });
}

ConversionResult runConversion(runtime::InputFile &input, const QString &outputPath)
{
    return guarded(input.path(), [&input, &outputPath] {
        if (!input.isOpen())
            return failed(input.path(), input.errorString());
        if (outputPath.isEmpty())
            return failed(input.path(), noOutputReason());
        // Checked before the output is even prepared: a replaced input is lost for good.
        if (runtime::isSameFile(input, outputPath))
            return failed(outputPath, sameFileReason());
        runtime::OutputFile output(outputPath);
        return strip(input, output);
    });
}

ConversionResult runConversion(runtime::InputFile &input, runtime::OutputFile &output)
{
    return guarded(input.path(), [&input, &output] { return strip(input, output); });
}

} // namespace plaintrove::conversion
