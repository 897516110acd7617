#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace plaintrove::app {

namespace {

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(PLAINTROVE_DESCRIPTION));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"),
        QCoreApplication::translate("CommandLine", "The HTML file to choose in the main window."),
        QStringLiteral("[FILE]"));
}

} // namespace

void answerHelpOrVersion(int &argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    describe(parser);
    parser.parse(arguments); // unknown options are left to fileArgument()
    const bool help = parser.isSet(QStringLiteral("help"));
    if (!help && !parser.isSet(QStringLiteral("version")))
        return;
    // Both name the program as it was called, which they take from the application object.
    const QCoreApplication terminal(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLAINTROVE_VERSION));
    help ? parser.showHelp() : parser.showVersion(); // both end the process
}

QString fileArgument(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    parser.process(arguments); // errors and --help-all: a message, then the end
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "%s\n",
            qPrintable(QCoreApplication::translate("CommandLine", "%1: Only one FILE can be given.")
                           .arg(QCoreApplication::applicationName())));
        std::exit(EXIT_FAILURE);
    }
    return files.value(0);
}

} // namespace plaintrove::app
