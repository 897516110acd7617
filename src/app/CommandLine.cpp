#include "CommandLine.h"

#include "OutputFile.h"
#include "SystemPath.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace plaintrove::app {

namespace {

constexpr char programName[] = "plaintrove";

// The options QGuiApplication, QApplication and the X11 platform take for themselves.
constexpr const char *qtOptionsWithValues[] = { "platform", "platformpluginpath", "platformtheme",
    "plugin", "qwindowgeometry", "geometry", "qwindowicon", "icon", "qwindowtitle", "title",
    "session", "style", "stylesheet", "display", "name", "visual", "qmljsdebugger" };
constexpr const char *qtFlags[] = { "reverse", "testability", "widgetcount", "nograb", "dograb" };

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

void printLineToStandardError(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void printError(const QString &message)
{
    printLineToStandardError(QLatin1String(programName) + QLatin1String(": ") + message);
}

int printToStandardOutput(const QString &text)
{
    runtime::OutputFile output = runtime::OutputFile::standardOutput();
    const QByteArray bytes = text.toLocal8Bit();
    if (output.write({ bytes.constData(), static_cast<std::size_t>(bytes.size()) })
        && output.commit())
        return 0;
    printError(runtime::shownPath(output.path()) + QLatin1String(": ")
        + QString::fromLocal8Bit(output.errorString()));
    return 1;
}

int refuseUsage(const QString &message)
{
    printError(message);
    printLineToStandardError(
        tr("Try '%1 --help' for more information.").arg(QLatin1String(programName)));
    return 2;
}

} // namespace

CommandLine readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // As Qt reads its own: -platform is one option, not eight.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(PLAINTROVE_DESCRIPTION));
    const QCommandLineOption helpOption(
        { QStringLiteral("h"), QStringLiteral("help") }, tr("Show this help and exit."));
    const QCommandLineOption versionOption(
        { QStringLiteral("v"), QStringLiteral("version") }, tr("Show the version and exit."));
    parser.addOptions({ helpOption, versionOption });
    for (const char *name : qtOptionsWithValues) {
        QCommandLineOption option(QLatin1String(name), {}, QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : qtFlags) {
        QCommandLineOption option { QLatin1String(name) };
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("FILE"),
        tr("The HTML file to choose in the main window."), QStringLiteral("[FILE]"));

    if (!parser.parse(arguments))
        return { {}, refuseUsage(parser.errorText()) };
    if (parser.isSet(helpOption)) {
        // The parser's own usage line names the program by the path it was started by.
        const QString help = parser.helpText();
        return { {},
            printToStandardOutput(tr("Usage: %1 [options] [FILE]").arg(QLatin1String(programName))
                + help.mid(help.indexOf(QLatin1Char('\n')))) };
    }
    if (parser.isSet(versionOption)) {
        return { {},
            printToStandardOutput(QLatin1String(programName) + QLatin1Char(' ')
                + QLatin1String(PLAINTROVE_VERSION) + QLatin1Char('\n')) };
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return { {}, refuseUsage(tr("Only one FILE can be given.")) };
    return { files.value(0), std::nullopt };
}

} // namespace plaintrove::app
