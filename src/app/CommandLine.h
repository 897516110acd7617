#pragma once

// plaintrove [FILE]: the page to choose in the main window once it opens.

#include <QString>
#include <QStringList>

namespace plaintrove::app {

// Answers --help and --version on the terminal and ends the process; returns when neither is
// asked for. It runs before the application object exists, so a terminal without a display will
// do; Qt's own options, which that object takes out, are let through.
void answerHelpOrVersion(int &argc, char **argv);

// FILE of the command line, empty without one. Wrong usage is reported and ends the process.
QString fileArgument(const QStringList &arguments);

} // namespace plaintrove::app
