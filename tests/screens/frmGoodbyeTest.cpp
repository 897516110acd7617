// The farewell screen: its design, the keys that end it (and with it the program), and how it
// follows the main window.

#include "frmGoodbye.h"

#include "ApplicationInfo.h"
#include "DesignUnits.h"
#include "Form.h"
#include "FormTesting.h"
#include "ScriptedDialogs.h"
#include "frmPlaintrove.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cmath>

using namespace plaintrove;

using plaintrove::testing::pixelRect;
using plaintrove::testing::pixels;

namespace {

const QColor red(255, 0, 0);

// Runs the application's event loop until the program ends itself; `timedOut` tells whether a
// guard had to end it instead.
int runUntilProgramEnds(bool &timedOut)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(99);
    });
    guard.start(5000);
    return QCoreApplication::exec();
}

// Counts the loaded windows at the moment the farewell screen is shown.
class FarewellShowWatcher final : public QObject
{
public:
    QList<qsizetype> loadedWhenShown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<frmGoodbye *>(watched))
            loadedWhenShown << runtime::loadedForms().size();
        return false;
    }
};

} // namespace

class GoodbyeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    // Design
    void labels_data();
    void labels();
    void window();
    void showsCentredAndTakesTheKeyboard();

    // Keys
    void characterKeyEndsTheProgram_data();
    void characterKeyEndsTheProgram();
    void keyWithoutCharacterDoesNothing_data();
    void keyWithoutCharacterDoesNothing();

    // Lifetime
    void followsTheMainWindowAndIsTheLastWindow();
};

void GoodbyeTest::initTestCase()
{
    app::applyApplicationInfo();
}

void GoodbyeTest::cleanup()
{
    testing::unloadAllForms();
    QVERIFY(runtime::loadedForms().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Design

void GoodbyeTest::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("wordWrap");

    QTest::newRow("Label1") << "Label1"
                            << "Thank you for using Orrinway's Plaintrove." << 120 << 240 << 7212
                            << 2172 << "Comic Sans MS" << 25.8 << true;
    QTest::newRow("Label2") << "Label2"
                            << "Press the spacebar to quit." << 240 << 3240 << 6972 << 492
                            << "Times New Roman" << 19.8 << false;
}

void GoodbyeTest::labels()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, family);
    QFETCH(qreal, pointSize);
    QFETCH(bool, wordWrap);

    frmGoodbye &goodbye = runtime::defaultInstance<frmGoodbye>();
    auto *label = goodbye.findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->geometry(), QRect(pixels(left), pixels(top), pixels(width), pixels(height)));
    QCOMPARE(label->font().family(), family);
    QCOMPARE(label->font().pointSizeF(), pointSize);
    QVERIFY(label->font().bold());
    QCOMPARE(label->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    QCOMPARE(label->wordWrap(), wordWrap);
    // Opaque: the label paints its own red, text or not.
    QVERIFY(label->autoFillBackground());
    QCOMPARE(label->palette().color(QPalette::Window), red);
    const QImage image = label->grab().toImage();
    QCOMPARE(image.pixelColor(1, image.height() - 2), red);
    // The whole text shows within the box; the first label needs its wrapping for that.
    const QRect needed = label->fontMetrics().boundingRect(
        label->contentsRect(), int(label->alignment()) | (wordWrap ? Qt::TextWordWrap : 0), text);
    QVERIFY2(label->contentsRect().contains(needed), qPrintable(family));
}

void GoodbyeTest::window()
{
    frmGoodbye &goodbye = runtime::defaultInstance<frmGoodbye>();
    // No title bar and not in the task bar.
    QCOMPARE(goodbye.windowType(), Qt::Tool);
    QVERIFY(goodbye.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(goodbye.windowTitle().isEmpty());
    QVERIFY(goodbye.parentWidget() == nullptr);
    QVERIFY(goodbye.keyPreview());
    const QSize client(pixels(7380), pixels(4236));
    QCOMPARE(goodbye.size(), client);
    QCOMPARE(goodbye.minimumSize(), client);
    QCOMPARE(goodbye.maximumSize(), client);
    const QImage image = goodbye.grab().toImage();
    for (const QPoint point : { QPoint(2, 2), QPoint(image.width() / 2, pixels(2900)),
             QPoint(image.width() - 2, image.height() - 2) })
        QCOMPARE(image.pixelColor(point), red);
}

void GoodbyeTest::showsCentredAndTakesTheKeyboard()
{
    // The main window is active when the farewell screen comes up; the screen takes over.
    frmPlaintrove &main = runtime::defaultInstance<frmPlaintrove>();
    main.show();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));

    frmGoodbye &goodbye = runtime::defaultInstance<frmGoodbye>();
    goodbye.show();
    QVERIFY(QTest::qWaitForWindowExposed(&goodbye));
    QTRY_COMPARE(QApplication::activeWindow(), &goodbye);

    const QRect available = goodbye.screen()->availableGeometry();
    const QPoint offCentre = goodbye.frameGeometry().center() - available.center();
    QVERIFY2(std::abs(offCentre.x()) <= 1 && std::abs(offCentre.y()) <= 1,
        qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));
}

// ---------------------------------------------------------------------------------------------
// Keys

void GoodbyeTest::characterKeyEndsTheProgram_data()
{
    QTest::addColumn<Qt::Key>("key");

    QTest::newRow("a letter") << Qt::Key_A;
    QTest::newRow("a digit") << Qt::Key_7;
    QTest::newRow("the space bar") << Qt::Key_Space;
    QTest::newRow("Enter") << Qt::Key_Return;
    QTest::newRow("Escape") << Qt::Key_Escape;
}

void GoodbyeTest::characterKeyEndsTheProgram()
{
    QFETCH(Qt::Key, key);

    QPointer<frmGoodbye> goodbye = &runtime::defaultInstance<frmGoodbye>();
    goodbye->show();
    QVERIFY(QTest::qWaitForWindowExposed(goodbye));

    QTimer::singleShot(0, qApp, [goodbye, key] {
        if (goodbye)
            QTest::keyClick(goodbye, key);
    });
    bool timedOut = false;
    const int exitCode = runUntilProgramEnds(timedOut);

    QVERIFY2(!timedOut, "the key did not end the program");
    QCOMPARE(exitCode, 0);
    QVERIFY(!runtime::isLoaded<frmGoodbye>());
    QVERIFY(runtime::loadedForms().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(goodbye.isNull());
}

void GoodbyeTest::keyWithoutCharacterDoesNothing_data()
{
    QTest::addColumn<Qt::Key>("key");

    QTest::newRow("an arrow") << Qt::Key_Left;
    QTest::newRow("a function key") << Qt::Key_F1;
    QTest::newRow("Shift alone") << Qt::Key_Shift;
}

void GoodbyeTest::keyWithoutCharacterDoesNothing()
{
    QFETCH(Qt::Key, key);

    frmGoodbye &goodbye = runtime::defaultInstance<frmGoodbye>();
    goodbye.show();
    QVERIFY(QTest::qWaitForWindowExposed(&goodbye));

    QTest::keyClick(&goodbye, key);
    QTest::qWait(50);

    QVERIFY(runtime::isLoaded<frmGoodbye>());
    QVERIFY(goodbye.isVisible());
}

// ---------------------------------------------------------------------------------------------
// Lifetime

void GoodbyeTest::followsTheMainWindowAndIsTheLastWindow()
{
    testing::ScriptedDialogs dialogs; // any dialog would be a fault here
    frmPlaintrove &main = runtime::defaultInstance<frmPlaintrove>();
    main.setDialogs(dialogs);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(runtime::loadedForms().size(), 1);

    // The one overlap: the farewell screen comes up while the main window unloads.
    FarewellShowWatcher watcher;
    qApp->installEventFilter(&watcher);
    QVERIFY(main.close());
    qApp->removeEventFilter(&watcher);

    QVERIFY(runtime::isLoaded<frmGoodbye>());
    QCOMPARE(watcher.loadedWhenShown, QList<qsizetype> { 2 });
    const auto forms = runtime::loadedForms();
    QCOMPARE(forms.size(), 1);
    QPointer<frmGoodbye> goodbye = &runtime::defaultInstance<frmGoodbye>();
    QCOMPARE(forms.front(), static_cast<runtime::Form *>(goodbye.data()));
    QVERIFY(goodbye->isVisible());

    QTimer::singleShot(0, qApp, [goodbye] {
        if (goodbye)
            QTest::keyClick(goodbye, Qt::Key_Space);
    });
    bool timedOut = false;
    runUntilProgramEnds(timedOut);

    QVERIFY2(!timedOut, "the program did not end");
    QVERIFY(runtime::loadedForms().isEmpty());
    QVERIFY(dialogs.shown.isEmpty());
}

QTEST_MAIN(GoodbyeTest)
#include "frmGoodbyeTest.moc"
