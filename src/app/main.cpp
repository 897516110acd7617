#include "CommandLine.h"
#include "Program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // Before the application object, which needs a display.
    const plaintrove::app::CommandLine commandLine = plaintrove::app::readCommandLine(arguments);
    if (commandLine.exitStatus)
        return *commandLine.exitStatus;
    const QApplication application(argc, argv);
    return plaintrove::app::run(commandLine.file);
}
