// The main window: its design, the chain of the three lists, the strip command with scripted and
// with real dialogs, and what follows its unload.

#include "frmPlaintrove.h"

#include "ApplicationInfo.h"
#include "DesignUnits.h"
#include "Dialogs.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "Form.h"
#include "FormTesting.h"
#include "ScriptedDialogs.h"
#include "frmGoodbye.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <memory>

using namespace plaintrove;
using Kind = testing::ShownDialog::Kind;

using plaintrove::testing::pixelRect;
using plaintrove::testing::pixels;

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QByteArray page = "<html>\r\n<body>\r\n<h1>Title</h1>\r\n<p>First <b>bold</b> word,\r\n"
                        "second line.</p>\r\n</body></html>\r\n";
const QByteArray pageText = "\r\n\r\nTitle\r\nFirstboldword,\r\nsecond line.\r\n\r\n";
const QByteArray oldOutput = "the previous output, which a failed run must leave alone\r\n";

const QString promptTitle = QStringLiteral("Output File Selection");
const QString promptText = QStringLiteral("Enter Full Path and File Name for Output");

QString completionText(const QString &outputPath)
{
    return QStringLiteral("Conversion Complete - File ") + outputPath
        + QStringLiteral(" Created. Press OK to convert another file, Cancel to Quit.");
}

// Answers the modal dialog of type D as soon as it is up. Gives up quietly after a few seconds;
// the test then fails on what the answer should have done.
template <class D> void whenModal(std::function<void(D *)> answer, int triesLeft = 300)
{
    QTimer::singleShot(10, qApp, [answer = std::move(answer), triesLeft]() mutable {
        auto *dialog = qobject_cast<D *>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible())
            answer(dialog);
        else if (triesLeft > 0)
            whenModal<D>(std::move(answer), triesLeft - 1);
    });
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Design
    void controlRectangles_data();
    void controlRectangles();
    void clientSizeAndResizing();
    void titleAndRedBackground();
    void controlsKeepPlatformColours_data();
    void controlsKeepPlatformColours();
    void tabOrderStartsOnTheButton();

    // The list chain
    void directoryChangeMovesFileList_data();
    void directoryChangeMovesFileList();
    void fileSelectionMovesNothing();
    void driveChangeMovesDirectoryAndFiles_data();
    void driveChangeMovesDirectoryAndFiles();
    void unreadableDriveIsReportedAndPutBack_data();
    void unreadableDriveIsReportedAndPutBack();
    void directoryThatCannotBeOpenedIsReported();

    // The strip command
    void convertsTheSelectedFile_data();
    void convertsTheSelectedFile();
    void okKeepsTheWindowReadyForTheNextRun();
    void cancelUnloadsAndShowsFarewell();
    void noOutputPathWritesNothing();
    void failedRunChangesNothing_data();
    void failedRunChangesNothing();
    void unclosedTagWarnsThenCompletes();
    void realDialogs_data();
    void realDialogs();

    // Lifetime
    void closingShowsFarewell();

private:
    template <class T> T *control(const char *name) const
    {
        return m_window ? m_window->findChild<T *>(QLatin1String(name)) : nullptr;
    }
    QString tmp(const QString &relative) const { return m_dir->filePath(relative); }
    // Moves the directory list (and so the file list) to `relative` and selects `fileName`.
    bool choose(const QString &relative, const QString &fileName);
    void clickStrip() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testing::ScriptedDialogs> m_dialogs;
    QPointer<frmPlaintrove> m_window;
    runtime::DriveListBox *m_drive = nullptr;
    runtime::DirListBox *m_dirList = nullptr;
    runtime::FileListBox *m_files = nullptr;
};

void MainWindowTest::initTestCase()
{
    app::applyApplicationInfo();
}

void MainWindowTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("pages/sub")));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("other")));
    QVERIFY(writeFile(tmp(QStringLiteral("pages/page.html")), page));
    QVERIFY(writeFile(tmp(QStringLiteral("pages/notes.txt")), "notes\r\n"));
    QVERIFY(writeFile(tmp(QStringLiteral("other/elsewhere.htm")), "<i>x</i>\r\n"));

    m_dialogs = std::make_unique<testing::ScriptedDialogs>();
    m_window = &runtime::defaultInstance<frmPlaintrove>();
    m_window->setDialogs(*m_dialogs);
    m_drive = control<runtime::DriveListBox>("Drive1");
    m_dirList = control<runtime::DirListBox>("Dir1");
    m_files = control<runtime::FileListBox>("File1");
    QVERIFY(m_drive && m_dirList && m_files && control<QPushButton>("cmdConvTab"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void MainWindowTest::cleanup()
{
    testing::unloadAllForms();
    QVERIFY(runtime::loadedForms().isEmpty());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    m_dialogs.reset();
    m_dir.reset();
}

bool MainWindowTest::choose(const QString &relative, const QString &fileName)
{
    const QString directory = relative == QLatin1String("/") ? relative : tmp(relative);
    if (!m_dirList->setPath(directory))
        return false;
    const auto items = m_files->findItems(fileName, Qt::MatchExactly);
    if (items.isEmpty())
        return false;
    m_files->setCurrentItem(items.front());
    return m_files->fileName() == fileName;
}

void MainWindowTest::clickStrip() const
{
    QTest::mouseClick(control<QPushButton>("cmdConvTab"), Qt::LeftButton);
}

// ---------------------------------------------------------------------------------------------
// Design

void MainWindowTest::controlRectangles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("cmdConvTab") << "cmdConvTab" << 2400 << 2760 << 2175 << 375;
    QTest::newRow("Drive1") << "Drive1" << 120 << 2760 << 2055 << 315;
    QTest::newRow("Dir1") << "Dir1" << 120 << 120 << 2055 << 2565;
    QTest::newRow("File1") << "File1" << 2400 << 120 << 2175 << 2376;
}

void MainWindowTest::controlRectangles()
{
    QFETCH(QString, name);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);

    auto *widget = m_window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), m_window.data());
    const QRect expected(pixels(left), pixels(top), pixels(width), pixels(height));
    QCOMPARE(widget->geometry(), expected);

    // Nothing is laid out again when the window changes its size.
    m_window->resize(m_window->size() * 2);
    QCoreApplication::processEvents();
    QCOMPARE(widget->geometry(), expected);
}

void MainWindowTest::clientSizeAndResizing()
{
    QCOMPARE(m_window->size(), QSize(pixels(4680), pixels(3192)));
    QCOMPARE(m_window->windowType(), Qt::Window); // an ordinary window, listed in the task bar
    const auto flags = m_window->windowFlags();
    QVERIFY(!flags.testFlag(Qt::FramelessWindowHint));

    m_window->resize(700, 500);
    QCOMPARE(m_window->size(), QSize(700, 500));
    m_window->resize(200, 150);
    QCOMPARE(m_window->size(), QSize(200, 150));
}

void MainWindowTest::titleAndRedBackground()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Plaintrove v2.0"));
    const QImage image = m_window->grab().toImage();
    // Between the lists, above the button and in the corners the window's own red shows.
    for (const QPoint point : { QPoint(2, 2), QPoint(pixels(2280), pixels(1200)),
             QPoint(image.width() - 2, image.height() - 2) })
        QCOMPARE(image.pixelColor(point), QColor(255, 0, 0));
}

void MainWindowTest::controlsKeepPlatformColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("inside"); // a point on the control's own background

    QTest::newRow("cmdConvTab") << "cmdConvTab" << QPoint(4, 4);
    QTest::newRow("Drive1") << "Drive1" << QPoint(4, 4);
    QTest::newRow("Dir1") << "Dir1" << QPoint(100, 160);
    QTest::newRow("File1") << "File1" << QPoint(100, 150);
}

void MainWindowTest::controlsKeepPlatformColours()
{
    QFETCH(QString, name);
    QFETCH(QPoint, inside);

    // Few entries, so that the point lies on the lists' own background.
    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages/sub"))));
    auto *widget = m_window->findChild<QWidget *>(name);
    QVERIFY(widget);
    const QPalette platform = QApplication::palette(widget);
    for (const auto role : { QPalette::Window, QPalette::Base, QPalette::Button })
        QCOMPARE(widget->palette().color(role), platform.color(role));
    const QImage image = widget->grab().toImage();
    QVERIFY(image.rect().contains(inside));
    QVERIFY2(image.pixelColor(inside) != QColor(255, 0, 0), "the window's red shows in a control");
}

void MainWindowTest::tabOrderStartsOnTheButton()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>("cmdConvTab"));

    const QStringList expected { "Drive1", "Dir1", "File1", "cmdConvTab" };
    for (const QString &next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), next);
    }
}

// ---------------------------------------------------------------------------------------------
// The list chain

void MainWindowTest::directoryChangeMovesFileList_data()
{
    QTest::addColumn<bool>("byUser"); // Enter on the entry, or Path set by code
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("code: a sibling directory")
        << false << "other" << QStringList { "elsewhere.htm" };
    QTest::newRow("code: an empty subdirectory") << false << "pages/sub" << QStringList {};
    QTest::newRow("user: opens a subdirectory") << true << "pages/sub" << QStringList {};
    QTest::newRow("user: opens the parent") << true << "" << QStringList {};
}

void MainWindowTest::directoryChangeMovesFileList()
{
    QFETCH(bool, byUser);
    QFETCH(QString, target);
    QFETCH(QStringList, files);

    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages"))));
    QCOMPARE(m_files->path(), tmp(QStringLiteral("pages")));
    const QString drive = m_drive->drive();
    QSignalSpy dirChanges(m_dirList, &runtime::DirListBox::Change);
    QSignalSpy driveChanges(m_drive, &runtime::DriveListBox::Change);

    const QString targetPath = QDir::cleanPath(tmp(target));
    if (byUser) {
        QListWidgetItem *entry = nullptr;
        for (int i = 0; i < m_dirList->count(); ++i)
            if (m_dirList->item(i)->data(Qt::UserRole).toString() == targetPath)
                entry = m_dirList->item(i);
        QVERIFY(entry);
        m_dirList->setCurrentItem(entry);
        QTest::keyClick(m_dirList, Qt::Key_Return);
    } else {
        QVERIFY(m_dirList->setPath(targetPath));
    }

    QCOMPARE(dirChanges.count(), 1);
    QCOMPARE(m_dirList->path(), targetPath);
    QCOMPARE(m_files->path(), targetPath);
    QStringList shown;
    for (int i = 0; i < m_files->count(); ++i)
        shown << m_files->item(i)->text();
    QCOMPARE(shown, files);
    QCOMPARE(driveChanges.count(), 0);
    QCOMPARE(m_drive->drive(), drive);
}

void MainWindowTest::fileSelectionMovesNothing()
{
    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages"))));
    QSignalSpy dirChanges(m_dirList, &runtime::DirListBox::Change);
    QSignalSpy driveChanges(m_drive, &runtime::DriveListBox::Change);
    const QString drive = m_drive->drive();

    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("notes.txt")));
    QTest::keyClick(m_files, Qt::Key_Down);
    QTest::keyClick(m_files, Qt::Key_Return);

    QCOMPARE(dirChanges.count(), 0);
    QCOMPARE(driveChanges.count(), 0);
    QCOMPARE(m_dirList->path(), tmp(QStringLiteral("pages")));
    QCOMPARE(m_drive->drive(), drive);
}

void MainWindowTest::driveChangeMovesDirectoryAndFiles_data()
{
    // The mount table of a test machine may hold a single file system, so a directory of the
    // temporary tree is offered as a second drive.
    QTest::addColumn<bool>("toExtraDrive");

    QTest::newRow("to another drive") << true;
    QTest::newRow("back to the root drive") << false;
}

void MainWindowTest::driveChangeMovesDirectoryAndFiles()
{
    QFETCH(bool, toExtraDrive);

    const QString extraDrive = tmp(QStringLiteral("other"));
    m_drive->addItem(extraDrive, extraDrive);
    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages"))));
    if (!toExtraDrive)
        m_drive->restoreDrive(extraDrive);
    const QString target = toExtraDrive ? extraDrive : QStringLiteral("/");
    QVERIFY(m_drive->drive() != target);
    QSignalSpy dirChanges(m_dirList, &runtime::DirListBox::Change);

    m_drive->setDrive(target);

    QCOMPARE(m_drive->drive(), target);
    QCOMPARE(dirChanges.count(), 1);
    QCOMPARE(m_dirList->path(), target);
    QCOMPARE(m_files->path(), target);
    if (toExtraDrive) {
        QCOMPARE(m_files->count(), 1);
        QCOMPARE(m_files->item(0)->text(), QStringLiteral("elsewhere.htm"));
    }
    QVERIFY(m_dialogs->shown.isEmpty());
}

void MainWindowTest::unreadableDriveIsReportedAndPutBack_data()
{
    QTest::addColumn<QString>("drive");

    QTest::newRow("missing") << "no-such-volume";
    QTest::newRow("a plain file") << "pages/notes.txt";
}

void MainWindowTest::unreadableDriveIsReportedAndPutBack()
{
    QFETCH(QString, drive);

    const QString badDrive = tmp(drive);
    m_drive->addItem(badDrive, badDrive);
    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages"))));
    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("page.html")));
    const QString driveBefore = m_drive->drive();
    QString reason;
    QVERIFY(!m_dirList->setPath(badDrive, &reason));
    QVERIFY(!reason.isEmpty());
    QSignalSpy dirChanges(m_dirList, &runtime::DirListBox::Change);

    m_drive->setDrive(badDrive);

    const auto warnings = m_dialogs->shownOfKind(Kind::Warning);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].text.contains(badDrive), qPrintable(warnings[0].text));
    QVERIFY2(warnings[0].text.contains(reason), qPrintable(warnings[0].text));
    QCOMPARE(m_dialogs->shown.size(), 1);
    // The lists stay where they were, and the drive list goes back to match them.
    QCOMPARE(m_drive->drive(), driveBefore);
    QCOMPARE(dirChanges.count(), 0);
    QCOMPARE(m_dirList->path(), tmp(QStringLiteral("pages")));
    QCOMPARE(m_files->path(), tmp(QStringLiteral("pages")));
    QCOMPARE(m_files->fileName(), QStringLiteral("page.html"));
}

void MainWindowTest::directoryThatCannotBeOpenedIsReported()
{
    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages"))));
    const QString vanished = tmp(QStringLiteral("pages/sub"));
    QListWidgetItem *entry = nullptr;
    for (int i = 0; i < m_dirList->count(); ++i)
        if (m_dirList->item(i)->data(Qt::UserRole).toString() == vanished)
            entry = m_dirList->item(i);
    QVERIFY(entry);
    QVERIFY(QDir(vanished).removeRecursively());
    QString reason;
    QVERIFY(!m_dirList->setPath(vanished, &reason));

    m_dirList->setCurrentItem(entry);
    QTest::keyClick(m_dirList, Qt::Key_Return);

    const auto warnings = m_dialogs->shownOfKind(Kind::Warning);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].text.contains(vanished), qPrintable(warnings[0].text));
    QVERIFY2(warnings[0].text.contains(reason), qPrintable(warnings[0].text));
    QCOMPARE(m_dirList->path(), tmp(QStringLiteral("pages")));
    QCOMPARE(m_files->path(), tmp(QStringLiteral("pages")));
}

// ---------------------------------------------------------------------------------------------
// The strip command

void MainWindowTest::convertsTheSelectedFile_data()
{
    QTest::addColumn<QString>("directory"); // within the temporary tree; "/" for the root
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("output"); // within the temporary tree

    QTest::newRow("a file in a directory") << "pages"
                                           << "page.html"
                                           << "out.txt";
    QTest::newRow("a directory with spaces and accents") << "Mes pages été"
                                                         << "page one.html"
                                                         << "Mes pages été/result.txt";
    QTest::newRow("a file at the root: the path holds two slashes")
        << "/"
        << QStringLiteral("plaintrove-main-window-test-%1.html")
               .arg(QCoreApplication::applicationPid())
        << "out.txt";
}

void MainWindowTest::convertsTheSelectedFile()
{
    QFETCH(QString, directory);
    QFETCH(QString, fileName);
    QFETCH(QString, output);

    const QString inputPath = directory == QLatin1String("/")
        ? QStringLiteral("/") + fileName
        : tmp(directory + QLatin1Char('/') + fileName);
    QVERIFY(QDir().mkpath(QFileInfo(inputPath).path()));
    if (!writeFile(inputPath, page))
        QSKIP("cannot write the input file there on this machine");
    const auto removeInput = qScopeGuard([&] {
        if (directory == QLatin1String("/"))
            QFile::remove(inputPath);
    });
    QVERIFY(choose(directory, fileName));

    const QString outputPath = tmp(output);
    m_dialogs->inputAnswers = { outputPath };
    m_dialogs->msgBoxAnswers = { runtime::MsgBoxAnswer::OK };
    clickStrip();

    QCOMPARE(m_dialogs->shown.size(), 2);
    const testing::ShownDialog &prompt = m_dialogs->shown[0];
    QCOMPARE(prompt.kind, Kind::InputBox);
    QCOMPARE(prompt.title, promptTitle);
    QCOMPARE(prompt.text, promptText);
    const testing::ShownDialog &message = m_dialogs->shown[1];
    QCOMPARE(message.kind, Kind::MsgBoxOkCancel);
    QCOMPARE(message.title, QStringLiteral("Conversion Complete"));
    QCOMPARE(message.text, completionText(outputPath));
    // The wait cursor is only up while the engine runs.
    QVERIFY(!prompt.overrideCursor && !message.overrideCursor);
    QCOMPARE(contentOf(outputPath), pageText);
    QCOMPARE(contentOf(inputPath), page);
}

void MainWindowTest::okKeepsTheWindowReadyForTheNextRun()
{
    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("page.html")));
    const QString drive = m_drive->drive();
    const QString output = tmp(QStringLiteral("pages/out.txt"));
    QVERIFY(writeFile(output, oldOutput));
    const QString second = tmp(QStringLiteral("pages/again.txt"));

    m_dialogs->inputAnswers = { output, second };
    m_dialogs->msgBoxAnswers = { runtime::MsgBoxAnswer::OK, runtime::MsgBoxAnswer::OK };
    clickStrip();

    QVERIFY(runtime::isLoaded<frmPlaintrove>());
    QVERIFY(m_window && m_window->isVisible());
    QVERIFY(!runtime::isLoaded<frmGoodbye>());
    QCOMPARE(m_drive->drive(), drive);
    QCOMPARE(m_dirList->path(), tmp(QStringLiteral("pages")));
    QCOMPARE(m_files->fileName(), QStringLiteral("page.html"));
    // An existing output is replaced without a question.
    QCOMPARE(contentOf(output), pageText);

    clickStrip();

    QCOMPARE(m_dialogs->shownOfKind(Kind::InputBox).size(), 2);
    const auto messages = m_dialogs->shownOfKind(Kind::MsgBoxOkCancel);
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[1].text, completionText(second));
    QCOMPARE(contentOf(second), pageText);
    QVERIFY(m_dialogs->shownOfKind(Kind::Warning).isEmpty());
    // The outputs written into the directory on show appear in the list.
    QCOMPARE(m_files->findItems(QStringLiteral("again.txt"), Qt::MatchExactly).size(), 1);
    QCOMPARE(m_files->fileName(), QStringLiteral("page.html"));
}

void MainWindowTest::cancelUnloadsAndShowsFarewell()
{
    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("page.html")));
    const QString output = tmp(QStringLiteral("out.txt"));
    m_dialogs->inputAnswers = { output };
    m_dialogs->msgBoxAnswers = { runtime::MsgBoxAnswer::Cancel };

    clickStrip();

    QCOMPARE(contentOf(output), pageText);
    QVERIFY(!runtime::isLoaded<frmPlaintrove>());
    QVERIFY(runtime::isLoaded<frmGoodbye>());
    QVERIFY(runtime::defaultInstance<frmGoodbye>().isVisible());
    QCOMPARE(runtime::loadedForms().size(), 1);
}

void MainWindowTest::noOutputPathWritesNothing()
{
    // The prompt's Cancel gives the same empty answer as an empty entry.
    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("page.html")));
    const QStringList before = QDir(tmp(QStringLiteral("pages"))).entryList(QDir::Files);
    m_dialogs->inputAnswers = { QString() };

    clickStrip();

    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown[0].kind, Kind::InputBox);
    QCOMPARE(QDir(tmp(QStringLiteral("pages"))).entryList(QDir::Files), before);
    QVERIFY(runtime::isLoaded<frmPlaintrove>());
    QCOMPARE(m_files->fileName(), QStringLiteral("page.html"));
}

void MainWindowTest::failedRunChangesNothing_data()
{
    QTest::addColumn<bool>("selectFile");
    QTest::addColumn<bool>("removeInput");
    QTest::addColumn<QString>("output"); // within the temporary tree
    QTest::addColumn<QString>("named"); // what the warning must name, within the tree

    // The old output lies at pages/out.txt; the input is pages/page.html.
    QTest::newRow("no file selected") << false << false << "pages/out.txt"
                                      << "pages";
    QTest::newRow("input removed after it was chosen") << true << true << "pages/out.txt"
                                                       << "pages/page.html";
    QTest::newRow("output is the input") << true << false << "pages/page.html"
                                         << "pages/page.html";
    QTest::newRow("output directory missing") << true << false << "missing/out.txt"
                                              << "missing/out.txt";
    QTest::newRow("output is a directory") << true << false << "pages/sub"
                                           << "pages/sub";
}

void MainWindowTest::failedRunChangesNothing()
{
    QFETCH(bool, selectFile);
    QFETCH(bool, removeInput);
    QFETCH(QString, output);
    QFETCH(QString, named);

    const QString oldOutputPath = tmp(QStringLiteral("pages/out.txt"));
    QVERIFY(writeFile(oldOutputPath, oldOutput));
    QVERIFY(m_dirList->setPath(tmp(QStringLiteral("pages"))));
    if (selectFile)
        QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("page.html")));
    QCOMPARE(m_files->fileName().isEmpty(), !selectFile);
    if (removeInput)
        QVERIFY(QFile::remove(tmp(QStringLiteral("pages/page.html"))));
    const QStringList entriesBefore
        = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    m_dialogs->inputAnswers = { tmp(output) };
    clickStrip();

    QCOMPARE(m_dialogs->shown.size(), 2);
    QCOMPARE(m_dialogs->shown[0].kind, Kind::InputBox);
    const testing::ShownDialog &warning = m_dialogs->shown[1];
    QCOMPARE(warning.kind, Kind::Warning);
    QVERIFY2(warning.text.contains(tmp(named)), qPrintable(warning.text));
    QVERIFY(!warning.overrideCursor);
    QVERIFY(m_dialogs->shownOfKind(Kind::MsgBoxOkCancel).isEmpty());

    QCOMPARE(contentOf(oldOutputPath), oldOutput);
    if (!removeInput)
        QCOMPARE(contentOf(tmp(QStringLiteral("pages/page.html"))), page);
    QVERIFY(QFileInfo(tmp(QStringLiteral("pages/sub"))).isDir());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), entriesBefore);
    QCOMPARE(QDir(tmp(QStringLiteral("pages")))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                 .size(),
        removeInput ? 3 : 4);
    QVERIFY(runtime::isLoaded<frmPlaintrove>());
    QVERIFY(!runtime::isLoaded<frmGoodbye>());
}

void MainWindowTest::unclosedTagWarnsThenCompletes()
{
    const QString input = tmp(QStringLiteral("pages/broken.html"));
    QVERIFY(writeFile(input, "<p>Kept</p>\r\nlost <a href=\"x\"\r\n"));
    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("broken.html")));
    const QString output = tmp(QStringLiteral("out.txt"));
    m_dialogs->inputAnswers = { output };
    m_dialogs->msgBoxAnswers = { runtime::MsgBoxAnswer::OK };

    clickStrip();

    QCOMPARE(m_dialogs->shown.size(), 3);
    QCOMPARE(m_dialogs->shown[1].kind, Kind::Warning);
    QVERIFY2(m_dialogs->shown[1].text.contains(input), qPrintable(m_dialogs->shown[1].text));
    QCOMPARE(m_dialogs->shown[2].kind, Kind::MsgBoxOkCancel);
    QCOMPARE(m_dialogs->shown[2].text, completionText(output));
    QVERIFY(contentOf(output).startsWith("Kept\r\nlost"));
    QVERIFY(runtime::isLoaded<frmPlaintrove>());
}

void MainWindowTest::realDialogs_data()
{
    QTest::addColumn<bool>("acceptPrompt");

    QTest::newRow("path typed, OK") << true;
    QTest::newRow("prompt cancelled") << false;
}

void MainWindowTest::realDialogs()
{
    QFETCH(bool, acceptPrompt);

    runtime::QtDialogs dialogs;
    m_window->setDialogs(dialogs);
    QVERIFY(choose(QStringLiteral("pages"), QStringLiteral("page.html")));
    // Markup in the path must show as it stands, not as formatting.
    const QString output = tmp(QStringLiteral("typed <b>output &amp; co.txt"));

    // Shared with the answering timers, which may outlive this function when a dialog never
    // comes up.
    struct Seen
    {
        QString prompt, promptTitle, promptDefault;
        bool messageShown = false;
        QString text, title;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::Critical;
        Qt::TextFormat format = Qt::RichText;
    };
    const auto seen = std::make_shared<Seen>();
    whenModal<QInputDialog>([seen, acceptPrompt, output](QInputDialog *prompt) {
        seen->prompt = prompt->labelText();
        seen->promptTitle = prompt->windowTitle();
        seen->promptDefault = prompt->textValue();
        auto *edit = prompt->findChild<QLineEdit *>();
        if (!acceptPrompt || !edit) {
            prompt->reject();
            return;
        }
        QTest::keyClicks(edit, output);
        whenModal<QMessageBox>([seen](QMessageBox *box) {
            seen->messageShown = true;
            seen->text = box->text();
            seen->title = box->windowTitle();
            seen->buttons = box->standardButtons();
            seen->icon = box->icon();
            seen->format = box->textFormat();
            box->button(QMessageBox::Ok)->click();
        });
        prompt->accept();
    });

    clickStrip();

    QCOMPARE(seen->promptTitle, promptTitle);
    QCOMPARE(seen->prompt, promptText);
    QCOMPARE(seen->promptDefault, QString());
    QCOMPARE(seen->messageShown, acceptPrompt);
    if (acceptPrompt) {
        QCOMPARE(seen->title, QStringLiteral("Conversion Complete"));
        QCOMPARE(seen->text, completionText(output));
        QCOMPARE(seen->buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(seen->icon, QMessageBox::NoIcon);
        QCOMPARE(seen->format, Qt::PlainText);
        QCOMPARE(contentOf(output), pageText);
    } else {
        QVERIFY(!QFileInfo::exists(output));
    }
    QVERIFY(runtime::isLoaded<frmPlaintrove>());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

// ---------------------------------------------------------------------------------------------
// Lifetime

void MainWindowTest::closingShowsFarewell()
{
    QVERIFY(m_window->close());

    QVERIFY(!runtime::isLoaded<frmPlaintrove>());
    QVERIFY(runtime::isLoaded<frmGoodbye>());
    frmGoodbye &goodbye = runtime::defaultInstance<frmGoodbye>();
    QVERIFY(goodbye.isVisible());
    QVERIFY(goodbye.parentWidget() == nullptr);
    const auto forms = runtime::loadedForms();
    QCOMPARE(forms.size(), 1);
    QCOMPARE(forms.front(), static_cast<runtime::Form *>(&goodbye));
    QVERIFY(m_dialogs->shown.isEmpty());
}

QTEST_MAIN(MainWindowTest)
#include "frmPlaintroveTest.moc"
