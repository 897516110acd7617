#include "AppVersion.h"

#include <QCoreApplication>
#include <QVersionNumber>

namespace plaintrove::runtime {

AppVersion applicationVersion()
{
    const QVersionNumber number
        = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    return { number.majorVersion(), number.minorVersion(), number.microVersion() };
}

QString versionCaption(const AppVersion &version)
{
    return QCoreApplication::translate("plaintrove", "Version %1.%2.%3")
        .arg(version.major)
        .arg(version.minor)
        .arg(version.revision);
}

} // namespace plaintrove::runtime
