#include "CommandLine.h"

#include "Batch.h"
#include "ConversionRun.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "html/Encodings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>

namespace plaintrove::cli {

namespace {

constexpr char programName[] = "plaintrove-strip";
constexpr QLatin1String standardStream("-");

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

} // namespace

Invocation parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Deletes the markup of HTML files: everything from a '<' up to the next '>', even "
           "across lines.\nEach input line becomes one output line, ending in CR LF. With "
           "--readable, the text a\nbrowser shows instead: scripts and styles dropped, "
           "references decoded, spaces\ncollapsed, a line for each block, in UTF-8 whatever the "
           "page's encoding (a\nbyte-order mark, else --encoding, else the page's <meta charset>, "
           "else UTF-8 if\nits first non-ASCII bytes are UTF-8, else windows-1252). With "
           "--article, only the\npage's main text (a story, a post), read and laid out the same "
           "way: a heuristic\nthat drops menus, sidebars, teasers, comments and the like. An "
           "output file is\nreplaced only when its conversion succeeded.\n\n"
           "page                             default          --readable     --article\n"
           "<nav><a href=/>Home</a></nav>    Home             Home\n"
           "<p>Hi <b>there</b> &amp; bye</p> Hithere&amp; bye Hi there & bye Hi there & bye\n"
           "<script>x()</script>             x()\n\n"
           "Exit status: 0 converted; 1 a file could not be opened, read or written;\n"
           "2 wrong usage; 3 an input ended inside a tag that is never closed (the text\n"
           "before it was kept). With -d, the highest status of all files.\n\n"
           "With -d, a batch on a terminal shows its progress on standard error: files\n"
           "done of the total, MB/s and the time taken."));
    const QCommandLineOption helpOption(
        { QStringLiteral("h"), QStringLiteral("help") }, tr("Show this help and exit."));
    const QCommandLineOption versionOption(
        { QStringLiteral("v"), QStringLiteral("version") }, tr("Show the version and exit."));
    const QCommandLineOption directoryOption(
        { QStringLiteral("d"), QStringLiteral("output-directory") },
        tr("Convert each FILE to <DIR>/<its name without the last extension>.txt."), tr("DIR"));
    const QCommandLineOption recursiveOption({ QStringLiteral("r"), QStringLiteral("recursive") },
        tr("With -d: convert the pages (*.html, *.htm, *.xhtml) in each FILE that is a "
           "directory and below it, into the same folders below DIR."));
    const QCommandLineOption jobsOption({ QStringLiteral("j"), QStringLiteral("jobs") },
        tr("With -d: convert up to N files at once; the default is the number of "
           "processors (%1).")
            .arg(QThread::idealThreadCount()),
        tr("N"));
    const QCommandLineOption readableOption(QStringLiteral("readable"),
        tr("Write the text a browser shows instead of deleting tags line by line."));
    const QCommandLineOption articleOption(QStringLiteral("article"),
        tr("Write the page's main text (a story, a post) without the page around it, laid "
           "out as --readable lays out text. A heuristic: see the manual."));
    const QCommandLineOption lfOption(
        QStringLiteral("lf"), tr("End lines with LF instead of CR LF, in any mode."));
    const QCommandLineOption encodingOption(QStringLiteral("encoding"),
        tr("With --readable or --article: read pages without a byte-order mark as LABEL "
           "(utf-8, latin1, windows-1251, shift_jis, gb18030, euc-kr... any label browsers "
           "know)."),
        tr("LABEL"));
    parser.addOptions({ helpOption, versionOption, directoryOption, recursiveOption, jobsOption,
        readableOption, articleOption, lfOption, encodingOption });
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
                             "       %1 [options] -d DIR [-r] [-j N] FILE...")
                              .arg(QLatin1String(programName))
            + help.mid(help.indexOf(QLatin1Char('\n')));
        return invocation;
    }
    if (parser.isSet(versionOption)) {
        invocation.action = Invocation::Action::ShowVersion;
        return invocation;
    }

    invocation.options = { parser.isSet(articleOption) ? conversion::StripMode::Article
            : parser.isSet(readableOption)             ? conversion::StripMode::Readable
                                                       : conversion::StripMode::Exact,
        parser.isSet(lfOption) ? conversion::LineEnd::Lf : conversion::LineEnd::CrLf };
    const QStringList positional = parser.positionalArguments();
    bool validJobs = true;
    if (parser.isSet(jobsOption)) {
        invocation.jobs = parser.value(jobsOption).toInt(&validJobs);
        validJobs = validJobs && invocation.jobs > 0;
    } else {
        invocation.jobs = QThread::idealThreadCount();
    }
    invocation.recursive = parser.isSet(recursiveOption);
    const QString label = parser.value(encodingOption);
    invocation.options.encoding = conversion::encodingForLabel(label.toStdString());
    if (parser.isSet(encodingOption) && invocation.options.encoding == nullptr)
        invocation.text = tr("unknown encoding \"%1\"").arg(label);
    else if (parser.isSet(encodingOption) && !parser.isSet(readableOption)
        && !parser.isSet(articleOption))
        invocation.text
            = tr("--encoding needs --readable or --article: the default mode keeps the bytes as "
                 "they are");
    else if (positional.contains(QString()))
        invocation.text = tr("an empty file name was given");
    else if (!validJobs)
        invocation.text = tr("the number of jobs must be a whole number of at least 1");
    else if (parser.isSet(articleOption) && parser.isSet(readableOption))
        invocation.text = tr("--article and --readable cannot be given together");
    else if (invocation.recursive && !parser.isSet(directoryOption))
        invocation.text = tr("--recursive needs --output-directory");
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
        return convertBatch(invocation.inputs, invocation.outputDirectory, invocation.recursive,
            invocation.jobs, invocation.options);
    case Invocation::Action::RefuseUsage:
        break;
    }
    printError(invocation.text);
    printLineToStandardError(
        tr("Try '%1 --help' for more information.").arg(QLatin1String(programName)));
    return ExitStatus::UsageError;
}

} // namespace plaintrove::cli
