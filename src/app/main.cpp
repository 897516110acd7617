#include "CommandLine.h"
#include "Program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    plaintrove::app::answerHelpOrVersion(argc, argv);
    const QApplication application(argc, argv);
    return plaintrove::app::run(plaintrove::app::fileArgument(QApplication::arguments()));
}
