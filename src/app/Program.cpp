#include "Program.h"

#include "Form.h"
#include "frmSplash.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>

namespace plaintrove::app {

void applyApplicationInfo()
{
    QCoreApplication::setApplicationName(QStringLiteral("Plaintrove"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orrinway"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLAINTROVE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.orrinway.Plaintrove"));

    // Every rendering of the icon; each use picks the nearest, 32 px being the 16-colour original.
    QIcon icon;
    for (const QString &name : QDir(QStringLiteral(":/identity")).entryList({ "icon-*.png" }))
        icon.addFile(QStringLiteral(":/identity/") + name);
    QApplication::setWindowIcon(icon);

    // The windows ask for Windows font families by name. fontconfig answers "Comic Sans MS" with a
    // calligraphic italic, so point Qt at look-alikes that Debian ships. Arial and Times New Roman
    // need nothing: fontconfig maps them to the metric-compatible Liberation fonts.
    QFont::insertSubstitutions(QStringLiteral("Comic Sans MS"),
        { QStringLiteral("Comic Neue"), QStringLiteral("Liberation Sans") });
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
        { QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") });
}

int run()
{
    applyApplicationInfo();
    // The windows end the program themselves once the last of them is unloaded.
    QApplication::setQuitOnLastWindowClosed(false);
    runtime::defaultInstance<frmSplash>().show();
    return QApplication::exec();
}

} // namespace plaintrove::app
