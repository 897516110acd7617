#pragma once

// The program's version as the application object reports it, and the caption built from it.

#include <QString>

namespace plaintrove::runtime {

struct AppVersion
{
    int major = 0;
    int minor = 0;
    int revision = 0;
};

// Read from QCoreApplication::applicationVersion() ("major.minor.revision").
AppVersion applicationVersion();

// "Version 2.0.1": each number in decimal without leading zeros or spaces.
QString versionCaption(const AppVersion &version = applicationVersion());

} // namespace plaintrove::runtime
