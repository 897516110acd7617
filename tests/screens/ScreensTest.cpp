// The windows as a user sees them, the clicks that lead on or not, and the main window's handlers.

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "Program.h"
#include "Sandbox.h"
#include "ScriptedDialogs.h"
#include "frmAbout.h"
#include "frmGoodbye.h"
#include "frmPlaintrove.h"
#include "frmSplash.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

using namespace plaintrove;
using namespace Qt::StringLiterals;
using runtime::Form;

namespace {

// A design rectangle (twips) as shown: exact, by a top corner sized to the text, or a client area.
enum class Fit { Exact, TopLeft, TopRight, Fixed, Centred, Sizable };

struct Design
{
    const char *window, *name;
    int left, top, width, height;
    Fit fit;
    const char *text = nullptr; // its caption once loaded, before it first shows, or its picture
    const char *spoken = nullptr; // its accessible name ("": what it shows); it has a description
};

const Design designTable[] = {
    { "frmSplash", "frmSplash", 0, 0, 7380, 4236, Fit::Centred },
    { "frmSplash", "Frame1", 150, 60, 7080, 4050, Fit::Exact },
    { "frmSplash", "imgLogo", 120, 240, 972, 948, Fit::Exact, ":/identity/logo.jpg" },
    { "frmSplash", "lblCompanyProduct", 1200, 360, 3840, 420, Fit::TopLeft },
    { "frmSplash", "lblProductName", 1320, 1440, 4320, 756, Fit::TopLeft },
    { "frmSplash", "lblVersion", 5280, 2520, 888, 288, Fit::TopRight,
        "Version " PLAINTROVE_VERSION },
    { "frmSplash", "lblWarning", 150, 3660, 6855, 195, Fit::Exact },
    { "frmAbout", "frmAbout", 2340, 1932, 8676, 4896, Fit::Fixed },
    { "frmAbout", "cmdOK", 7320, 4440, 1260, 345, Fit::Exact },
    { "frmAbout", "picIcon", 240, 120, 0, 0, Fit::TopLeft, ":/identity/logo.jpg" },
    { "frmAbout", "lblDescription", 240, 840, 8292, 444, Fit::Exact },
    { "frmAbout", "lblTitle", 1056, 120, 7476, 480, Fit::Exact },
    { "frmAbout", "lblVersion", 1056, 600, 7476, 228, Fit::Exact, "Version " PLAINTROVE_VERSION },
    { "frmAbout", "Line1", 4200, 2400, 15, 2400, Fit::Exact },
    { "frmAbout", "Line2", 4200, 2400, 4320, 15, Fit::Exact },
    { "frmPlaintrove", "frmPlaintrove", 0, 0, 4680, 3192, Fit::Sizable, "Plaintrove v2.0" },
    { "frmPlaintrove", "cmdConvTab", 2400, 2760, 2175, 375, Fit::Exact, {}, "Strip HTML Codes" },
    { "frmPlaintrove", "Drive1", 120, 2760, 2055, 315, Fit::Exact, {}, "" },
    { "frmPlaintrove", "Dir1", 120, 120, 2055, 2565, Fit::Exact, {}, "Folders" },
    { "frmPlaintrove", "File1", 2400, 120, 2175, 2376, Fit::Exact, {}, "Files" },
    { "frmGoodbye", "frmGoodbye", 0, 0, 7380, 4236, Fit::Centred },
    { "frmGoodbye", "Label1", 120, 240, 7212, 2172, Fit::Exact },
    { "frmGoodbye", "Label2", 240, 3240, 6972, 492, Fit::Exact },
};

Form &load(const QString &name)
{
    if (name == u"frmSplash")
        return runtime::defaultInstance<frmSplash>();
    if (name == u"frmAbout")
        return runtime::defaultInstance<frmAbout>();
    if (name == u"frmGoodbye")
        return runtime::defaultInstance<frmGoodbye>();
    return runtime::defaultInstance<frmPlaintrove>();
}

} // namespace

class ScreensTest : public QObject
{
    Q_OBJECT
    std::optional<testing::Sandbox> m_sandbox;
    testing::ScriptedDialogs m_dialogs;

    template <class T> T &control() const
    {
        return *runtime::defaultInstance<frmPlaintrove>().findChild<T *>();
    }

    // The main window on a fresh sandbox, with scripted dialogs and `file` selected.
    bool openMain(const QString &file = {})
    {
        m_sandbox.emplace();
        m_dialogs = {};
        runtime::defaultInstance<frmPlaintrove>().setDialogs(m_dialogs);
        auto &files = control<runtime::FileListBox>();
        control<runtime::DirListBox>().setPath(m_sandbox->root());
        files.setCurrentItem(files.findItems(file, Qt::MatchExactly).value(0));
        return files.path() == m_sandbox->root() && files.fileName() == file;
    }

    // The dialogs shown, with the sandbox as ~; none under the wait cursor.
    QStringList shown() const
    {
        return QStringList(m_dialogs.shown).replaceInStrings(m_sandbox->root(), u"~"_s);
    }

private slots:
    void initTestCase() { app::applyApplicationInfo(); }

    void cleanup()
    {
        while (!runtime::loadedForms().isEmpty())
            runtime::unload(*runtime::loadedForms().constFirst());
    }

    void designs_data()
    {
        QTest::addColumn<const Design *>("row");
        for (const Design &row : designTable)
            QTest::addRow("%s %s", row.window, row.name) << &row;
    }
    void designs()
    {
        QFETCH(const Design *, row);
        Form &window = load(row->window);
        QWidget *widget
            = window.objectName() == row->name ? &window : window.findChild<QWidget *>(row->name);
        const auto *label = qobject_cast<QLabel *>(widget);
        const bool picture = row->text && *row->text == ':';
        if (row->text && !picture)
            QCOMPARE(label ? label->text() : widget->windowTitle(), QLatin1String(row->text));
        if (const QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(widget);
            row->spoken) {
            const QString name = spoken->text(QAccessible::Name);
            QCOMPARE(*row->spoken ? name : QString(), QLatin1String(row->spoken));
            QVERIFY(!spoken->text(QAccessible::Description).isEmpty());
        }
        window.resize(window.size() * 2); // only the main window grows, and no control moves
        window.show();
        const auto px = [](int twips) { return qRound(twips / 15.0); };
        const QRect design(px(row->left), px(row->top), px(row->width), px(row->height));
        const QRect actual = widget->geometry();
        const QImage shown = widget->grab().toImage();
        if (row->fit == Fit::Exact) {
            QCOMPARE(actual, design);
        } else if (row->fit == Fit::TopLeft || row->fit == Fit::TopRight) {
            QCOMPARE(actual.size(), widget->sizeHint());
            QCOMPARE(row->fit == Fit::TopLeft ? actual.topLeft() : actual.topRight(),
                row->fit == Fit::TopLeft ? design.topLeft() : design.topRight());
            QVERIFY(picture || qAbs(actual.height() - design.height()) <= design.height() / 5);
        } else {
            QCOMPARE(actual.size(), design.size() * (row->fit == Fit::Sizable ? 2 : 1));
            QVERIFY(row->fit != Fit::Fixed || actual.topLeft() == design.topLeft());
            const QPoint offset = actual.center() - window.screen()->availableGeometry().center();
            QVERIFY(row->fit != Fit::Centred || offset.manhattanLength() <= 2);
            QCOMPARE(
                window.windowFlags().testFlag(Qt::FramelessWindowHint), row->fit == Fit::Centred);
            QCOMPARE(shown.pixelColor(0, 0), QColor(255, 0, 0)); // a corner no control covers
        }
        if (picture) { // the logo, at the size of its box
            const QImage logo = QImage(QLatin1String(row->text)).scaled(shown.size());
            for (const QPoint at : { QPoint(0, 0), actual.bottomRight() - actual.topLeft() })
                QCOMPARE(shown.pixelColor(at), logo.pixelColor(at));
        } else if (label) { // opaque red, and no text runs out of its box
            QVERIFY(label->autoFillBackground() && label->palette().window() == QColor(255, 0, 0));
            for (int y = 0; row->fit == Fit::Exact && y < shown.height(); ++y)
                QCOMPARE(shown.pixelColor(shown.width() - 1, y), QColor(255, 0, 0));
        }
    }

    void splashMovesOnForAClickOnTheFrameOnly()
    {
        Form &splash = load(u"frmSplash"_s);
        for (const char *name : { "lblProductName", "imgLogo" })
            QTest::mouseClick(splash.findChild<QWidget *>(QLatin1String(name)), Qt::LeftButton);
        QTest::mouseClick(&splash, Qt::LeftButton, {}, { 3, 99 }); // beside the frame
        QWidget *frame = splash.findChild<QWidget *>(u"Frame1"_s);
        QCOMPARE(frame->childAt(440, 40), nullptr);
        QTest::mouseClick(frame, Qt::RightButton, {}, { 440, 40 });
        QVERIFY(runtime::isLoaded<frmSplash>() && !runtime::isLoaded<frmAbout>());
        QTest::mouseClick(frame, Qt::LeftButton, {}, { 440, 40 });
        QVERIFY(!runtime::isLoaded<frmSplash>() && runtime::isLoaded<frmAbout>());
    }

    void aboutOpensTheMainWindowOnEscapeButNotOnItsCloseBox()
    {
        QVERIFY(load(u"frmAbout"_s).close());
        QVERIFY(runtime::loadedForms().isEmpty());
        Form &about = load(u"frmAbout"_s);
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about)); // for its shortcut
        QTest::keyClick(about.windowHandle(), Qt::Key_Escape);
        QVERIFY(!runtime::isLoaded<frmAbout>() && runtime::isLoaded<frmPlaintrove>());
    }

    void unreadableDriveIsReportedAndPutBack()
    {
        QVERIFY(openMain());
        auto &drives = control<runtime::DriveListBox>();
        const QString sub = m_sandbox->path(u"sub"_s), gone = m_sandbox->path(u"gone"_s);
        for (const QString &drive : { sub, gone }) {
            drives.addItem(drive, drive);
            QTest::keyClick(&drives, Qt::Key_End); // the user picks it
        }
        QCOMPARE(drives.drive(), sub); // put back where the directory list still is
        QCOMPARE(shown().join(u'\n'),
            u"Drive Not Readable: The drive ~/gone cannot be read: No such directory"_s);
    }

    void strip_data()
    {
        QTest::addColumn<QString>("input"); // selected in File1
        QTest::addColumn<QString>("answer"); // to the prompt: a file in the sandbox
        QTest::addColumn<QString>("dialogs"); // the titles of those after the prompt
        QTest::addColumn<QByteArray>("output"); // in `answer`; none: the sandbox stays as it was
        QTest::newRow("converted")
            << u"page.html"_s << u"out.txt"_s << u"Conversion Complete"_s << testing::pageText;
        QTest::newRow("empty answer") << u"page.html"_s << QString() << QString() << QByteArray();
        QTest::newRow("no file selected")
            << QString() << u"out.txt"_s << u"No Input File"_s << QByteArray();
        QTest::newRow("failed") << u"page.html"_s << u"page.html"_s << u"Conversion Failed"_s
                                << QByteArray();
    }
    void strip()
    {
        QFETCH(QString, input);
        QFETCH(QString, answer);
        QFETCH(QString, dialogs);
        QFETCH(QByteArray, output);
        QVERIFY(openMain(input));
        const auto before = m_sandbox->snapshot();
        const QString path = answer.isEmpty() ? QString() : m_sandbox->path(answer);
        m_dialogs.inputAnswers = { path };
        m_dialogs.msgBoxAnswers = { runtime::MsgBoxAnswer::OK };
        QTest::mouseClick(&control<QPushButton>(), Qt::LeftButton);

        const QStringList shown = this->shown();
        QCOMPARE(
            shown.value(0), u"Output File Selection: Enter Full Path and File Name for Output"_s);
        QStringList titles;
        for (const QString &dialog : shown.mid(1)) {
            titles << dialog.section(u':', 0, 0);
            // A warning names the input (or its directory), the completion message the output.
            const QString named = titles.last() == u"Conversion Complete" ? answer : input;
            QVERIFY(dialog.contains(named.isEmpty() ? u"~"_s : u"~/"_s + named));
        }
        QCOMPARE(titles.join(u", "_s), dialogs);
        QVERIFY(
            output.isEmpty() ? m_sandbox->snapshot() == before : m_sandbox->read(answer) == output);
        const auto &files = control<runtime::FileListBox>(); // the new file is on show
        QCOMPARE(files.findItems(u"out.txt"_s, Qt::MatchExactly).isEmpty(), output.isEmpty());
    }

    // Qt lists a name that is not UTF-8 as it can; choosing it says why it cannot be opened.
    void nameThatIsNotUtf8()
    {
        QVERIFY(openMain());
        const QByteArray name = QFile::encodeName(m_sandbox->root()) + "/caf\xE9.html";
        QVERIFY(::close(::open(name.constData(), O_WRONLY | O_CREAT, 0644)) == 0);
        auto &files = control<runtime::FileListBox>();
        files.refresh();
        files.setCurrentItem(files.findItems(u"caf\uFFFD.html"_s, Qt::MatchExactly).value(0));
        m_dialogs.inputAnswers = { m_sandbox->path(u"out.txt"_s) };
        QTest::mouseClick(&control<QPushButton>(), Qt::LeftButton);
        QCOMPARE(shown().value(1),
            u"File Not Opened: The name of the file ~/caf\uFFFD.html is not valid UTF-8, and this "
            "window can only open UTF-8 names. Rename the file, or convert it with "
            "plaintrove-strip."_s);
        // A name that holds U+FFFD itself is UTF-8, and converts.
        m_sandbox->write(u"\uFFFD.html"_s, testing::page);
        files.refresh();
        files.setCurrentItem(files.findItems(u"\uFFFD.html"_s, Qt::MatchExactly).value(0));
        m_dialogs.inputAnswers = { m_sandbox->path(u"out.txt"_s) };
        m_dialogs.msgBoxAnswers = { runtime::MsgBoxAnswer::OK };
        QTest::mouseClick(&control<QPushButton>(), Qt::LeftButton);
        QCOMPARE(m_sandbox->read(u"out.txt"_s), testing::pageText);
    }

    void choosing_data()
    {
        // How File1 gets the focus (`path` selected before), or how `path` is handed over.
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("chosen"); // the folder shown (in the sandbox) / the file
        QTest::addColumn<QString>("shown"); // the dialogs
        const QString tab = u"tab"_s, drop = u"drop"_s, refused = u"refused drop"_s;
        const QString page = u"sub/page.html"_s, sub = u"sub"_s, none = u"./"_s, no = QString();
        const QString warning = u"File Not Opened: The file ~/%1 cannot be opened: %2"_s;
        QTest::newRow("tab") << tab << no << u"./old.txt"_s << no;
        QTest::newRow("tab to a selection") << tab << u"page.html"_s << u"./page.html"_s << no;
        QTest::newRow("back to the window") << u"activated"_s << no << none << no;
        QTest::newRow("tab, down, enter")
            << u"tab, down, enter"_s << no << u"./page.html"_s
            << u"Output File Selection: Enter Full Path and File Name for Output"_s;
        QTest::newRow("enter on the button") << u"button"_s << u"page.html"_s << u"./page.html"_s
                                             << u"Output File Selection: Enter Full Path and File "
                                                "Name for Output"_s;
        QTest::newRow("another key on the button")
            << u"a on the button"_s << u"page.html"_s << u"./page.html"_s << no;
        QTest::newRow("missing") << u"argument"_s << u"gone.html"_s << none
                                 << warning.arg(u"gone.html"_s, u"No such file"_s);
        QTest::newRow("relative, starting with ':'")
            << u"argument in the folder"_s << u":page.html"_s << u"./:page.html"_s << no;
        QTest::newRow("hidden") << u"argument"_s << u".hidden.html"_s << none
                                << warning.arg(u".hidden.html"_s, u"Hidden files are not listed"_s);
        QTest::newRow("folder") << u"argument"_s << sub << none
                                << warning.arg(sub, u"Not a regular file"_s);
        QTest::newRow("dropped page") << drop << page << page << no;
        QTest::newRow("dropped folder") << drop << sub << u"sub/"_s << no;
        QTest::newRow("two files") << refused << u"page.html old.txt"_s << none << no;
        QTest::newRow("web page") << refused << u"https://orrinway.example/"_s << none << no;
    }
    void choosing()
    {
        QFETCH(QString, how);
        QFETCH(QString, path);
        const bool button = how.endsWith(u"button");
        const bool focused = how.startsWith(u"tab") || how == u"activated" || button;
        QVERIFY(openMain(focused ? path : QString()));
        m_sandbox->write(u"sub/page.html"_s, testing::page);
        m_sandbox->write(u".hidden.html"_s, testing::page);
        auto &window = runtime::defaultInstance<frmPlaintrove>();
        auto &files = control<runtime::FileListBox>();
        QList<QUrl> urls;
        for (const QString &each : path.split(u' '))
            urls << (each.contains(u':') ? QUrl(each) : QUrl::fromLocalFile(m_sandbox->path(each)));
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter({ 9, 9 }, Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &data, Qt::LeftButton, {});
        QFocusEvent focus(QEvent::FocusIn,
            how == u"activated" ? Qt::ActiveWindowFocusReason : Qt::TabFocusReason);
        if (button) {
            QTest::keyClick(&control<QPushButton>(), how == u"button" ? Qt::Key_Return : Qt::Key_A);
        } else if (focused) {
            QApplication::sendEvent(&files, &focus);
            if (how.endsWith(u"enter")) { // an arrow only moves
                QTest::keyClick(&files, Qt::Key_Down);
                QTest::keyClick(&files, Qt::Key_Return);
            }
        } else if (how == u"argument") {
            window.openFile(m_sandbox->path(path));
        } else if (how == u"argument in the folder") {
            m_sandbox->write(path, testing::page);
            const QString working = QDir::currentPath();
            QDir::setCurrent(m_sandbox->root());
            window.openFile(path);
            QDir::setCurrent(working);
        } else {
            QApplication::sendEvent(&window, &enter);
            QCOMPARE(enter.isAccepted(), how == u"drop"); // refused: the forbidden cursor
            QApplication::sendEvent(&window, &drop);
            QCoreApplication::processEvents(); // the drop is taken after its event
        }
        const QString folder
            = QDir(m_sandbox->root()).relativeFilePath(control<runtime::DirListBox>().path());
        QTEST(folder + u'/' + files.fileName(), "chosen");
        QTEST(shown().join(u'\n'), "shown");
    }
};

QTEST_MAIN(ScreensTest)
#include "ScreensTest.moc"
