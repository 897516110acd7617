// The program as a whole: the windows following each other from the splash screen to the end of
// the event loop, driven by keys and clicks inside a running QCoreApplication::exec().

#include "ApplicationInfo.h"
#include "DirListBox.h"
#include "FileListBox.h"
#include "Form.h"
#include "FormTesting.h"
#include "ScriptedDialogs.h"
#include "frmAbout.h"
#include "frmGoodbye.h"
#include "frmPlaintrove.h"
#include "frmSplash.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace plaintrove;

using plaintrove::testing::formName;
using plaintrove::testing::loadedFormNames;

namespace {

enum class Screen { Splash, About, Main, Goodbye, End };

const char *screenName(Screen screen)
{
    switch (screen) {
    case Screen::Splash:
        return "frmSplash";
    case Screen::About:
        return "frmAbout";
    case Screen::Main:
        return "frmPlaintrove";
    case Screen::Goodbye:
        return "frmGoodbye";
    case Screen::End:
        break;
    }
    return "(none)";
}

// The loaded window of a screen, or null; never creates one.
runtime::Form *loadedForm(Screen screen)
{
    for (runtime::Form *form : runtime::loadedForms())
        if (formName(form) == QLatin1String(screenName(screen)))
            return form;
    return nullptr;
}

// One thing the user does, and the screen it leads to.
struct Move
{
    enum class Kind {
        Key, // a key on the window
        Click, // a left click on a control of the window, through the window system
        Close, // the window manager's close command
        ConvertThenCancel, // one conversion on the main window, answered with Cancel
    };
    Kind kind;
    Screen on;
    Qt::Key key = Qt::Key_unknown;
    QString control; // Click: objectName of the control
    QPoint where; // Click: point in the control; null for its centre
    Screen next = Screen::End;
};

Move key(Screen on, Qt::Key key, Screen next)
{
    return { Move::Kind::Key, on, key, {}, {}, next };
}

Move click(Screen on, const char *control, Screen next, QPoint where = {})
{
    return { Move::Kind::Click, on, Qt::Key_unknown, QLatin1String(control), where, next };
}

Move closeWindow(Screen on, Screen next)
{
    return { Move::Kind::Close, on, Qt::Key_unknown, {}, {}, next };
}

Move convertThenCancel()
{
    return { Move::Kind::ConvertThenCancel, Screen::Main, Qt::Key_unknown, {}, {},
        Screen::Goodbye };
}

// A point on the splash frame's own surface: right of the company line, above the product name.
const QPoint frameSurface(440, 40);

using Road = QList<Move>;

// Every time a window is shown: which one, which windows were loaded at that moment, and (for the
// splash screen) what its version label read.
struct ShowRecord
{
    QString form;
    QStringList loaded;
    QString versionLabel;
};

class ShowRecorder final : public QObject
{
public:
    ShowRecorder() { qApp->installEventFilter(this); }
    ~ShowRecorder() override { qApp->removeEventFilter(this); }
    ShowRecorder(const ShowRecorder &) = delete;
    ShowRecorder &operator=(const ShowRecorder &) = delete;

    QList<ShowRecord> shows;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            if (const auto *form = qobject_cast<runtime::Form *>(watched)) {
                const auto *version = form->findChild<QLabel *>(QStringLiteral("lblVersion"));
                shows.append(
                    { formName(form), loadedFormNames(), version ? version->text() : QString() });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

// Starts the program as main() does, then makes the moves one per turn of the event loop and
// waits for the loop to end by itself.
class ProgramRun
{
public:
    explicit ProgramRun(Road road)
        : m_road(std::move(road))
    { }

    struct Outcome
    {
        bool loopEnded = false; // exec() returned by itself, not by the guard
        int movesMade = 0;
        int exitCode = -1;
    };

    Outcome run()
    {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [this] {
            m_timedOut = true;
            QCoreApplication::exit(2);
        });
        guard.start(10'000);

        runtime::defaultInstance<frmSplash>().show();
        postNextTurn();
        const int exitCode = QCoreApplication::exec();
        return { !m_timedOut, m_next, exitCode };
    }

    QString outputPath() const { return m_workDir.filePath(QStringLiteral("page.txt")); }
    const testing::ScriptedDialogs &dialogs() const { return m_dialogs; }

private:
    void postNextTurn()
    {
        // Posted, not timed: it runs after the events the last move posted, among them the check
        // that ends the program. A turn still queued when the run is over dies with m_context.
        QMetaObject::invokeMethod(
            &m_context, [this] { turn(); }, Qt::QueuedConnection);
    }

    void turn()
    {
        if (QTest::currentTestFailed()) {
            QCoreApplication::exit(1);
            return;
        }
        if (m_next == m_road.size())
            return; // the last move was made: now the program has to end on its own
        const Screen expected = m_next == 0 ? Screen::Splash : m_road.at(m_next - 1).next;
        makeMove(expected, m_road.at(m_next));
        ++m_next;
        postNextTurn();
    }

    void makeMove(Screen expected, const Move &move)
    {
        const QByteArray where = QByteArray("before move ") + QByteArray::number(m_next + 1);
        // Only the screen the last move led to is loaded, and it is on screen.
        QVERIFY2(expected != Screen::End, where + ": the program should have ended already");
        QCOMPARE(move.on, expected);
        QCOMPARE(loadedFormNames(), QStringList { QLatin1String(screenName(expected)) });
        runtime::Form *const form = loadedForm(move.on);
        QVERIFY2(form && form->isVisible(), where);

        switch (move.kind) {
        case Move::Kind::Key:
            QTest::keyClick(form->windowHandle(), move.key);
            return;
        case Move::Kind::Click: {
            QWidget *const control = form->findChild<QWidget *>(move.control);
            QVERIFY2(control, qPrintable(move.control));
            const QPoint inControl = move.where.isNull() ? control->rect().center() : move.where;
            const QPoint inWindow = control->mapTo(form, inControl);
            QCOMPARE(form->childAt(inWindow), control);
            QTest::mouseClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow);
            return;
        }
        case Move::Kind::Close:
            form->close();
            return;
        case Move::Kind::ConvertThenCancel:
            convertThenCancel(*qobject_cast<frmPlaintrove *>(form));
            return;
        }
    }

    void convertThenCancel(frmPlaintrove &main)
    {
        QVERIFY(m_workDir.isValid());
        QFile input(m_workDir.filePath(QStringLiteral("page.html")));
        QVERIFY(input.open(QIODevice::WriteOnly));
        input.write("<h1>Title</h1>\r\n");
        input.close();

        auto *dir = main.findChild<runtime::DirListBox *>(QStringLiteral("Dir1"));
        auto *files = main.findChild<runtime::FileListBox *>(QStringLiteral("File1"));
        auto *strip = main.findChild<QPushButton *>(QStringLiteral("cmdConvTab"));
        QVERIFY(dir && files && strip);
        QVERIFY(dir->setPath(m_workDir.path()));
        const QList<QListWidgetItem *> items
            = files->findItems(QStringLiteral("page.html"), Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        files->setCurrentItem(items.first());
        QCOMPARE(files->fileName(), QStringLiteral("page.html"));

        m_dialogs.inputAnswers = QStringList { outputPath() };
        m_dialogs.msgBoxAnswers = { runtime::MsgBoxAnswer::Cancel };
        main.setDialogs(m_dialogs);
        QTest::mouseClick(strip, Qt::LeftButton);
    }

    QObject m_context;
    Road m_road;
    int m_next = 0;
    bool m_timedOut = false;
    QTemporaryDir m_workDir;
    testing::ScriptedDialogs m_dialogs;
};

// Every show follows the unload of the window before it; the farewell screen alone appears
// while the main window is still unloading.
void checkShowsFollowUnloads(const QList<ShowRecord> &shows)
{
    for (const ShowRecord &show : shows) {
        QStringList allowed { show.form };
        if (show.form == u"frmGoodbye")
            allowed << QStringLiteral("frmPlaintrove");
        for (const QString &loaded : show.loaded)
            QVERIFY2(allowed.contains(loaded),
                qPrintable(QStringLiteral("%1 shown while %2 was loaded").arg(show.form, loaded)));
    }
}

// After the end no window is loaded, none is on screen, and the windows have deleted themselves.
void checkNothingLeft()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(runtime::loadedForms().isEmpty());
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        QVERIFY2(!widget->isVisible(), widget->metaObject()->className());
        QVERIFY2(!qobject_cast<const runtime::Form *>(widget), widget->metaObject()->className());
    }
}

} // namespace

Q_DECLARE_METATYPE(Road)

class ProgramSequenceTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fromStartToEnd();
    void otherRoads_data();
    void otherRoads();
};

void ProgramSequenceTest::initTestCase()
{
    app::applyApplicationInfo();
    // As in main(): the windows end the program, not the closing of the last one.
    QApplication::setQuitOnLastWindowClosed(false);
}

void ProgramSequenceTest::init()
{
    QVERIFY(runtime::loadedForms().isEmpty());
}

void ProgramSequenceTest::cleanup()
{
    // After a failure, clear up what the road left behind.
    testing::unloadAllForms();
}

void ProgramSequenceTest::fromStartToEnd()
{
    const ShowRecorder recorder;
    ProgramRun program({
        key(Screen::Splash, Qt::Key_X, Screen::About),
        key(Screen::About, Qt::Key_Return, Screen::Main),
        closeWindow(Screen::Main, Screen::Goodbye),
        key(Screen::Goodbye, Qt::Key_Space, Screen::End),
    });
    const ProgramRun::Outcome outcome = program.run();
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(outcome.loopEnded, "the program did not end within 10 s");
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.movesMade, 4);
    checkNothingLeft();

    QCOMPARE(recorder.shows.size(), 4);
    QCOMPARE(recorder.shows.at(0).form, QStringLiteral("frmSplash"));
    QCOMPARE(recorder.shows.at(0).versionLabel, QStringLiteral("Version 2.0.1"));
    QCOMPARE(recorder.shows.at(0).loaded, QStringList { QStringLiteral("frmSplash") });
    QCOMPARE(recorder.shows.at(1).form, QStringLiteral("frmAbout"));
    QCOMPARE(recorder.shows.at(1).versionLabel, QStringLiteral("Version 2.0.1"));
    QCOMPARE(recorder.shows.at(1).loaded, QStringList { QStringLiteral("frmAbout") });
    QCOMPARE(recorder.shows.at(2).form, QStringLiteral("frmPlaintrove"));
    QCOMPARE(recorder.shows.at(2).loaded, QStringList { QStringLiteral("frmPlaintrove") });
    // The farewell screen appears while the main window is unloading.
    QCOMPARE(recorder.shows.at(3).form, QStringLiteral("frmGoodbye"));
    QCOMPARE(recorder.shows.at(3).loaded,
        (QStringList { QStringLiteral("frmGoodbye"), QStringLiteral("frmPlaintrove") }));
}

void ProgramSequenceTest::otherRoads_data()
{
    QTest::addColumn<Road>("road");

    QTest::newRow("frame click, OK click") << Road { click(Screen::Splash, "Frame1", Screen::About,
                                                         frameSurface),
        click(Screen::About, "cmdOK", Screen::Main), closeWindow(Screen::Main, Screen::Goodbye),
        key(Screen::Goodbye, Qt::Key_Q, Screen::End) };
    QTest::newRow("Escape on the information screen")
        << Road { key(Screen::Splash, Qt::Key_Space, Screen::About),
               key(Screen::About, Qt::Key_Escape, Screen::Main),
               closeWindow(Screen::Main, Screen::Goodbye),
               key(Screen::Goodbye, Qt::Key_Space, Screen::End) };
    QTest::newRow("Cancel after a conversion")
        << Road { key(Screen::Splash, Qt::Key_Return, Screen::About),
               key(Screen::About, Qt::Key_Return, Screen::Main), convertThenCancel(),
               key(Screen::Goodbye, Qt::Key_Space, Screen::End) };
    QTest::newRow("information screen's close box")
        << Road { key(Screen::Splash, Qt::Key_A, Screen::About),
               closeWindow(Screen::About, Screen::End) };
    QTest::newRow("splash closed by the window manager")
        << Road { closeWindow(Screen::Splash, Screen::End) };
    QTest::newRow("keys without a character") << Road { key(Screen::Splash, Qt::Key_F1,
                                                            Screen::Splash),
        key(Screen::Splash, Qt::Key_Left, Screen::Splash),
        key(Screen::Splash, Qt::Key_Shift, Screen::Splash),
        key(Screen::Splash, Qt::Key_5, Screen::About), click(Screen::About, "cmdOK", Screen::Main),
        closeWindow(Screen::Main, Screen::Goodbye),
        key(Screen::Goodbye, Qt::Key_F1, Screen::Goodbye),
        key(Screen::Goodbye, Qt::Key_Escape, Screen::End) };
    QTest::newRow("clicks beside the frame's surface")
        << Road { click(Screen::Splash, "lblProductName", Screen::Splash),
               click(Screen::Splash, "lblCompanyProduct", Screen::Splash),
               click(Screen::Splash, "lblVersion", Screen::Splash),
               click(Screen::Splash, "lblWarning", Screen::Splash),
               click(Screen::Splash, "imgLogo", Screen::Splash),
               click(Screen::Splash, "Frame1", Screen::About, frameSurface),
               closeWindow(Screen::About, Screen::End) };
}

void ProgramSequenceTest::otherRoads()
{
    QFETCH(Road, road);

    const ShowRecorder recorder;
    ProgramRun program(road);
    const ProgramRun::Outcome outcome = program.run();
    if (QTest::currentTestFailed())
        return;

    QVERIFY2(outcome.loopEnded, "the program did not end within 10 s");
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.movesMade, road.size());
    checkNothingLeft();
    checkShowsFollowUnloads(recorder.shows);

    // Each screen the road passes through was shown exactly once, in order.
    QStringList visited;
    for (const Move &move : road)
        if (visited.isEmpty() || visited.last() != QLatin1String(screenName(move.on)))
            visited.append(QLatin1String(screenName(move.on)));
    QStringList shown;
    for (const ShowRecord &show : recorder.shows)
        shown.append(show.form);
    QCOMPARE(shown, visited);

    for (const Move &move : road) {
        if (move.kind != Move::Kind::ConvertThenCancel)
            continue;
        QFile output(program.outputPath());
        QVERIFY(output.open(QIODevice::ReadOnly));
        QCOMPARE(output.readAll(), QByteArray("Title\r\n"));
        const QList<testing::ShownDialog> messages
            = program.dialogs().shownOfKind(testing::ShownDialog::Kind::MsgBoxOkCancel);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().title, QStringLiteral("Conversion Complete"));
    }
}

QTEST_MAIN(ProgramSequenceTest)
#include "ProgramSequenceTest.moc"
