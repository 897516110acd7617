#pragma once

// plaintrove [FILE]: the page to choose in the main window once it opens.
//
// The command line is read before the application object exists, so that --help, --version and
// wrong usage need no display; Qt's own options (-platform, -style...), which that object takes
// out, are let through.

#include <QString>
#include <QStringList>
#include <optional>

namespace plaintrove::app {

struct CommandLine
{
    QString file; // FILE, empty without one
    // Set when the program ends at once: help or version printed, or wrong usage reported.
    std::optional<int> exitStatus;
};

// `arguments` as given to main(), the program's name first. Answers --help, --version and wrong
// usage on the standard streams: 0, 1 when standard output cannot be written, 2 for wrong usage.
CommandLine readCommandLine(const QStringList &arguments);

} // namespace plaintrove::app
