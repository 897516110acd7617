#include "Program.h"

#include "Form.h"
#include "frmPlaintrove.h"
#include "frmSplash.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>

namespace plaintrove::app {

namespace {

// Hands the file of the command line to the main window once it is first drawn, after the splash
// and information screens; the windows themselves know nothing of the command line. Before the
// window manager has placed the window, a warning about the file would not appear over it.
class FileHandOver final : public QObject
{
public:
    explicit FileHandOver(QString file)
        : m_file(std::move(file))
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<frmPlaintrove *>(watched);
        if (window && event->type() == QEvent::Paint) {
            qApp->removeEventFilter(this);
            QMetaObject::invokeMethod( // not inside the painting
                window, [window, file = m_file] { window->openFile(file); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QString m_file;
};

} // namespace

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

int run(const QString &file)
{
    applyApplicationInfo();
    // The windows end the program themselves once the last of them is unloaded.
    QApplication::setQuitOnLastWindowClosed(false);
    FileHandOver handOver(file);
    if (!file.isEmpty())
        qApp->installEventFilter(&handOver);
    runtime::defaultInstance<frmSplash>().show();
    return QApplication::exec();
}

} // namespace plaintrove::app
