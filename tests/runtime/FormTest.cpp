// Window lifetime: default instances, unloading, hand-over, key preview and the end of the program.

#include "Form.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using plaintrove::runtime::defaultInstance;
using plaintrove::runtime::Form;
using plaintrove::runtime::handOver;
using plaintrove::runtime::isLoaded;
using plaintrove::runtime::loadedForms;

namespace {

// Records what the base class asks of a window.
class RecordingForm : public Form
{
    Q_OBJECT
public:
    using Form::Form;
    int loads = 0;
    bool cancelUnload = false;
    QList<int> keys;
    QLineEdit *edit = new QLineEdit(this);

protected:
    void Form_Load() override { ++loads; }
    void Form_KeyPress(int keyAscii) override { keys.append(keyAscii); }
    void Form_Unload(bool &cancel) override { cancel = cancelUnload; }
};

class FirstForm final : public RecordingForm
{
    Q_OBJECT
};
class SecondForm final : public RecordingForm
{
    Q_OBJECT
};

// Runs the event loop until the program ends or `seconds` pass; true when it ended by itself.
bool eventLoopEnds(int seconds)
{
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(seconds * 1000);
    QCoreApplication::exec();
    return !timedOut;
}

void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class FormTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (Form *form : loadedForms())
            plaintrove::runtime::unload(*form);
        settle();
    }

    void defaultInstanceIsLoadedOnceAndReused()
    {
        FirstForm &first = defaultInstance<FirstForm>();
        QCOMPARE(first.loads, 1);
        QCOMPARE(&defaultInstance<FirstForm>(), &first);
        QCOMPARE(first.loads, 1);
        QVERIFY(isLoaded<FirstForm>());
        QVERIFY(!isLoaded<SecondForm>());
    }

    void unloadRunsTheHandlerThenDestroys()
    {
        QPointer<FirstForm> form = &defaultInstance<FirstForm>();
        QSignalSpy unloaded(form.data(), &Form::unloaded);
        QVERIFY(plaintrove::runtime::unload(*form));
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!isLoaded<FirstForm>());
        settle();
        QVERIFY(form.isNull());
        // The next use creates and loads a fresh instance.
        QCOMPARE(defaultInstance<FirstForm>().loads, 1);
    }

    void cancelledUnloadKeepsTheWindow()
    {
        FirstForm &form = defaultInstance<FirstForm>();
        form.cancelUnload = true;
        QVERIFY(!plaintrove::runtime::unload(form));
        QVERIFY(isLoaded<FirstForm>());
        form.cancelUnload = false;
    }

    void handOverLeavesOnlyTheNextWindow()
    {
        FirstForm &first = defaultInstance<FirstForm>();
        first.show();
        handOver<SecondForm>(first);
        QVERIFY(!isLoaded<FirstForm>());
        QVERIFY(isLoaded<SecondForm>());
        QVERIFY(defaultInstance<SecondForm>().isVisible());
        QCOMPARE(loadedForms().size(), 1);
    }

    void programEndsWhenTheLastWindowIsUnloaded_data()
    {
        QTest::addColumn<bool>("handOverFirst");
        QTest::newRow("last window closed") << false;
        QTest::newRow("after a hand-over") << true;
    }
    void programEndsWhenTheLastWindowIsUnloaded()
    {
        QFETCH(bool, handOverFirst);
        FirstForm &first = defaultInstance<FirstForm>();
        first.show();
        QTimer::singleShot(0, [&first, handOverFirst] {
            if (handOverFirst) {
                handOver<SecondForm>(first);
                // The hand-over must not end the program on its way.
                QTimer::singleShot(50, [] { defaultInstance<SecondForm>().close(); });
            } else {
                first.close(); // as the window manager's close command would
            }
        });
        QVERIFY(eventLoopEnds(5));
        QVERIFY(loadedForms().isEmpty());
    }

    void programGoesOnWhileAWindowIsLeft()
    {
        defaultInstance<FirstForm>().show();
        defaultInstance<SecondForm>().show();
        QTimer::singleShot(0, [] { defaultInstance<FirstForm>().close(); });
        QVERIFY(!eventLoopEnds(1));
        QVERIFY(isLoaded<SecondForm>());
    }

    void keyPreviewSeesCharacterKeysOnly_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // -1: the window sees nothing
        QTest::newRow("letter") << int(Qt::Key_A) << "a" << int('a');
        QTest::newRow("space") << int(Qt::Key_Space) << " " << 32;
        QTest::newRow("enter") << int(Qt::Key_Return) << "\r" << 13;
        QTest::newRow("escape") << int(Qt::Key_Escape) << "\x1b" << 27;
        QTest::newRow("arrow") << int(Qt::Key_Left) << "" << -1;
        QTest::newRow("function key") << int(Qt::Key_F1) << "" << -1;
        QTest::newRow("shift alone") << int(Qt::Key_Shift) << "" << -1;
        QTest::newRow("delete") << int(Qt::Key_Delete) << "\x7f" << -1;
    }
    void keyPreviewSeesCharacterKeysOnly()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, expected);
        FirstForm &form = defaultInstance<FirstForm>();
        form.setKeyPreview(true);
        form.show();
        form.edit->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(form.edit, &press);
        const QList<int> expectedKeys = expected < 0 ? QList<int>() : QList<int> { expected };
        QCOMPARE(form.keys, expectedKeys);
        // The window took the character: the focused control did not also get it.
        QCOMPARE(form.edit->text(), QString());
    }

    void withoutKeyPreviewTheControlKeepsItsKeys()
    {
        FirstForm &form = defaultInstance<FirstForm>();
        form.show();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(form.edit, &press);
        QVERIFY(form.keys.isEmpty());
        QCOMPARE(form.edit->text(), QStringLiteral("a"));
    }
};

QTEST_MAIN(FormTest)
#include "FormTest.moc"
