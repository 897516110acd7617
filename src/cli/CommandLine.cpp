#include "CommandLine.h"

#include "ConversionRun.h"
#include "FileIdentity.h"
#include "InputFile.h"
#include "OutputFile.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <map>

namespace plaintrove::cli {

namespace {

constexpr char programName[] = "plaintrove-strip";
constexpr QLatin1String standardStream("-");

QString tr(const char *text)
{
    return QCoreApplication::translate("plaintrove::cli::CommandLine", text);
}

// Standard error is unbuffered and the last resort: if even it fails there is no one to tell.
void printLineToStandardError(const QString &text)
{
    const QByteArray line = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
}

void printError(const QString &message)
{
    printLineToStandardError(QLatin1String(programName) + QLatin1String(": ") + message);
}

void printFileMessage(const QString &path, const QString &reason)
{
    printError(path + QLatin1String(": ") + reason);
}

ExitStatus printToStandardOutput(const QString &text)
{
    runtime::OutputFile output = runtime::OutputFile::standardOutput();
    const QByteArray bytes = text.toLocal8Bit();
    if (!output.write({ bytes.constData(), static_cast<std::size_t>(bytes.size()) })
        || !output.commit()) {
        printFileMessage(output.path(), output.errorString());
        return ExitStatus::FileError;
    }
    return ExitStatus::Converted;
}

ExitStatus report(const conversion::ConversionResult &result)
{
    switch (result.status) {
    case conversion::ConversionStatus::Converted:
        return ExitStatus::Converted;
    case conversion::ConversionStatus::ConvertedUnclosedTag:
        printFileMessage(result.path, tr("warning: %1").arg(result.reason));
        return ExitStatus::UnclosedTag;
    case conversion::ConversionStatus::Failed:
        break;
    }
    printFileMessage(result.path, result.reason);
    return ExitStatus::FileError;
}

conversion::ConversionResult convert(
    const QString &inputPath, const QString &outputPath, conversion::StripOptions options)
{
    runtime::InputFile input = inputPath == standardStream ? runtime::InputFile::standardInput()
                                                           : runtime::InputFile(inputPath);
    if (outputPath == standardStream) {
        runtime::OutputFile output = runtime::OutputFile::standardOutput();
        return conversion::StripTags(input, output, options);
    }
    return conversion::runConversion(input, outputPath, options);
}

ExitStatus worse(ExitStatus a, ExitStatus b)
{
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

// Where batch mode writes `inputPath`: the file name without its last extension, plus ".txt".
QString batchOutputPath(const QString &outputDirectory, const QString &inputPath)
{
    QString name = QFileInfo(inputPath).fileName();
    // A leading dot starts a hidden name, not an extension.
    if (const qsizetype dot = name.lastIndexOf(QLatin1Char('.')); dot > 0)
        name.truncate(dot);
    // Not QDir::filePath(): it returns a name that starts with ':' unchanged, as the absolute path
    // of a Qt resource, and the output would land in the working directory.
    QString path = QDir(outputDirectory).path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path + name + QLatin1String(".txt");
}

ExitStatus convertBatch(const Invocation &invocation)
{
    // Which input each existing file is, looked up once: a batch may hold thousands of files.
    std::map<runtime::FileIdentity, qsizetype> inputIndex;
    for (qsizetype index = 0; index < invocation.inputs.size(); ++index) {
        if (const auto identity = runtime::fileIdentity(invocation.inputs[index]))
            inputIndex.try_emplace(*identity, index);
    }

    ExitStatus status = ExitStatus::Converted;
    std::map<QString, qsizetype> claimedOutputs; // cleaned output path -> the input that wrote it
    for (qsizetype index = 0; index < invocation.inputs.size(); ++index) {
        const QString &input = invocation.inputs[index];
        const QString output = batchOutputPath(invocation.outputDirectory, input);

        if (const auto claimed = claimedOutputs.find(QDir::cleanPath(output));
            claimed != claimedOutputs.end()) {
            printFileMessage(input,
                tr("its output file %1 is already the output of %2")
                    .arg(output, invocation.inputs[claimed->second]));
            status = worse(status, ExitStatus::FileError);
            continue;
        }

        // A batch reads its inputs one after the other; writing over another one would destroy
        // a file the user asked to read, not to replace. (Writing over the input itself is
        // refused by the conversion.)
        if (const auto identity = runtime::fileIdentity(output)) {
            if (const auto other = inputIndex.find(*identity);
                other != inputIndex.end() && other->second != index) {
                printFileMessage(output, tr("the output file is also one of the input files"));
                status = worse(status, ExitStatus::FileError);
                continue;
            }
        }
        claimedOutputs.emplace(QDir::cleanPath(output), index);
        status = worse(status, report(convert(input, output, invocation.options)));
    }
    return status;
}

} // namespace

Invocation parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Deletes the markup of HTML files: everything from a '<' up to the next '>', even "
           "across lines.\nEach input line becomes one output line, ending in CR LF. With "
           "--readable, the text a\nbrowser shows instead: scripts and styles dropped, "
           "references decoded, spaces\ncollapsed, a line for each block. An output file is "
           "replaced only when its\nconversion succeeded.\n\n"
           "  page                              default           --readable\n"
           "  <p>Hi <b>there</b> &amp; bye</p>  Hithere&amp; bye  Hi there & bye\n"
           "  <script>x()</script>              x()\n\n"
           "Exit status: 0 converted; 1 a file could not be opened, read or written;\n"
           "2 wrong usage; 3 an input ended inside a tag that is never closed (the text\n"
           "before it was kept). With -d, the highest status of all files."));
    const QCommandLineOption helpOption(
        { QStringLiteral("h"), QStringLiteral("help") }, tr("Show this help and exit."));
    const QCommandLineOption versionOption(
        { QStringLiteral("v"), QStringLiteral("version") }, tr("Show the version and exit."));
    const QCommandLineOption directoryOption(
        { QStringLiteral("d"), QStringLiteral("output-directory") },
        tr("Convert each FILE to <DIR>/<its name without the last extension>.txt."), tr("DIR"));
    const QCommandLineOption readableOption(QStringLiteral("readable"),
        tr("Write the text a browser shows instead of deleting tags line by line."));
    const QCommandLineOption lfOption(
        QStringLiteral("lf"), tr("End lines with LF instead of CR LF, in either mode."));
    parser.addOptions({ helpOption, versionOption, directoryOption, readableOption, lfOption });
    parser.addPositionalArgument(QStringLiteral("INPUT"),
        tr("The HTML file to read; standard input when missing or \"-\"."));
    parser.addPositionalArgument(QStringLiteral("OUTPUT"),
        tr("The text file to write; standard output when missing or \"-\"."));
    parser.addPositionalArgument(QStringLiteral("FILE"), tr("With -d: the HTML files to convert."));

    Invocation invocation;
    if (!parser.parse(arguments)) {
        invocation.text = parser.errorText();
        return invocation;
    }
    if (parser.isSet(helpOption)) {
        invocation.action = Invocation::Action::ShowHelp;
        // The parser's own usage line names the program by its full path and cannot show the
        // two forms of the command.
        const QString help = parser.helpText();
        invocation.text = tr("Usage: %1 [options] [INPUT [OUTPUT]]\n"
                             "       %1 [options] -d DIR FILE...")
                              .arg(QLatin1String(programName))
            + help.mid(help.indexOf(QLatin1Char('\n')));
        return invocation;
    }
    if (parser.isSet(versionOption)) {
        invocation.action = Invocation::Action::ShowVersion;
        return invocation;
    }

    invocation.options = { parser.isSet(readableOption) ? conversion::StripMode::Readable
                                                        : conversion::StripMode::Exact,
        parser.isSet(lfOption) ? conversion::LineEnd::Lf : conversion::LineEnd::CrLf };
    const QStringList positional = parser.positionalArguments();
    if (positional.contains(QString()))
        invocation.text = tr("an empty file name was given");
    if (!invocation.text.isEmpty())
        return invocation;
    if (parser.isSet(directoryOption)) {
        const QStringList directories = parser.values(directoryOption);
        if (directories.size() > 1)
            invocation.text = tr("the output directory is given more than once");
        else if (directories.constFirst().isEmpty())
            invocation.text = tr("the output directory name is empty");
        else if (positional.isEmpty())
            invocation.text = tr("--output-directory needs at least one FILE to convert");
        else if (positional.contains(standardStream))
            invocation.text = tr("standard input (\"-\") cannot be converted into a directory");
        else {
            invocation.action = Invocation::Action::ConvertBatch;
            invocation.outputDirectory = directories.constFirst();
            invocation.inputs = positional;
        }
        return invocation;
    }
    if (positional.size() > 2) {
        invocation.text = tr("too many arguments; only INPUT and OUTPUT may be given");
        return invocation;
    }
    invocation.action = Invocation::Action::Convert;
    invocation.input = positional.value(0, standardStream);
    invocation.output = positional.value(1, standardStream);
    return invocation;
}

ExitStatus execute(const Invocation &invocation)
{
    switch (invocation.action) {
    case Invocation::Action::ShowHelp:
        return printToStandardOutput(invocation.text);
    case Invocation::Action::ShowVersion:
        return printToStandardOutput(QLatin1String(programName) + QLatin1Char(' ')
            + QCoreApplication::applicationVersion() + QLatin1Char('\n'));
    case Invocation::Action::Convert:
        return report(convert(invocation.input, invocation.output, invocation.options));
    case Invocation::Action::ConvertBatch:
        return convertBatch(invocation);
    case Invocation::Action::RefuseUsage:
        break;
    }
    printError(invocation.text);
    printLineToStandardError(
        tr("Try '%1 --help' for more information.").arg(QLatin1String(programName)));
    return ExitStatus::UsageError;
}

} // namespace plaintrove::cli
