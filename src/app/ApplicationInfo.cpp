#include "ApplicationInfo.h"

#include "FontSubstitutes.h"
#include "Version.h"
#include "identity/Identity.h"

#include <QGuiApplication>

namespace plaintrove::app {

void applyApplicationInfo()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(version::applicationName));
    QCoreApplication::setOrganizationName(QString::fromLatin1(version::organizationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version::text));
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QGuiApplication::setDesktopFileName(QStringLiteral("com.orrinway.Plaintrove"));
        QGuiApplication::setWindowIcon(identity::programIcon());
        runtime::installFontSubstitutes();
    }
}

} // namespace plaintrove::app
