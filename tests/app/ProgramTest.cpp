// The whole program, run as main() runs it, driven by keys and clicks, with the real dialogs.

#include "Program.h"

#include "CommandLine.h"
#include "FileListBox.h"
#include "Form.h"
#include "Sandbox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace plaintrove;
using namespace Qt::StringLiterals;

class ProgramTest : public QObject
{
    Q_OBJECT
private slots:
    void runsFromTheSplashScreenToTheEnd()
    {
        const testing::Sandbox sandbox;
        const QString output = sandbox.path(u"<b>page &amp; co.txt"_s);
        QStringList loaded; // the windows loaded before each turn
        QElapsedTimer farewell;
        QObject context; // the turns still queued end with it
        // The main window opens with page.html, named on the command line, chosen. There the first
        // run is cancelled at the prompt, the second at its end.
        std::function<void()> turn = [&] {
            const auto forms = runtime::loadedForms();
            const auto *files
                = forms.size() == 1 ? forms[0]->findChild<runtime::FileListBox *>() : nullptr;
            if (files && files->fileName().isEmpty()) // not chosen yet
                return (void)QMetaObject::invokeMethod(&context, turn, Qt::QueuedConnection);
            loaded.append(forms.size() == 1 ? forms[0]->objectName() : u"?"_s);
            if (forms.size() != 1)
                return;
            QWindow *window = forms[0]->windowHandle();
            if (files) {
                const QRect strip = forms[0]->findChild<QPushButton *>()->geometry();
                QTest::mouseClick(window, Qt::LeftButton, {}, strip.center());
            }
            farewell.start(); // the last one counts: the key that ends the farewell screen
            QTest::keyClick(window, " \r q"[loaded.size() - 1]); // Space, Enter, Space, Q
            if (loaded.size() < 4)
                QMetaObject::invokeMethod(&context, turn, Qt::QueuedConnection);
        };
        QStringList dialogs; // what the user saw in them
        int ticks = 0;
        QTimer answer; // and the guard: ten seconds are more than enough
        answer.callOnTimeout([&] {
            if (++ticks == 1000)
                QCoreApplication::exit(1);
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *prompt = qobject_cast<QInputDialog *>(modal)) {
                dialogs << prompt->windowTitle();
                prompt->setTextValue(dialogs.size() == 1 ? output + u".cancelled"_s : output);
                dialogs.size() == 1 ? prompt->reject() : prompt->accept();
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                const bool plain = box->icon() == QMessageBox::NoIcon
                    && box->textFormat() == Qt::PlainText
                    && box->standardButtons() == (QMessageBox::Ok | QMessageBox::Cancel);
                dialogs << box->text() + (plain ? u""_s : u" (in another kind of box)"_s);
                box->button(QMessageBox::Cancel)->click();
            }
        });
        answer.start(10);

        QMetaObject::invokeMethod(&context, turn, Qt::QueuedConnection);
        // By itself, once no window is left.
        QCOMPARE(
            app::run(app::readCommandLine({ u"plaintrove"_s, sandbox.path(u"page.html"_s) }).file),
            0);

        QVERIFY2(
            farewell.elapsed() < 500, qPrintable(QString::number(farewell.elapsed()) + u" ms"_s));
        QCOMPARE(loaded, QStringList({ "frmSplash", "frmAbout", "frmPlaintrove", "frmGoodbye" }));
        QCOMPARE(dialogs,
            QStringList({ "Output File Selection", "Output File Selection",
                "Conversion Complete - File " + output
                    + " Created. Press OK to convert another file, Cancel to Quit." }));
        QCOMPARE(sandbox.read(output.section(u'/', -1)), testing::pageText);
        QVERIFY(!QFile::exists(output + u".cancelled"_s));
    }

    // The program's own command line, answered without a display.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("fullOutput"); // standard output is /dev/full
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("printed"); // the start of standard output; "": nothing
        QTest::addColumn<QByteArray>("errors"); // standard error
        const QByteArray tryHelp = "Try 'plaintrove --help' for more information.\n";
        QTest::newRow("help") << QStringList { u"--help"_s } << false << 0
                              << QByteArray(
                                     "Usage: plaintrove [options] [FILE]\n" PLAINTROVE_DESCRIPTION
                                     "\n")
                              << QByteArray();
        QTest::newRow("Qt's options let through")
            << QStringList { u"-style"_s, u"fusion"_s, u"-reverse"_s, u"-v"_s } << false << 0
            << QByteArray("plaintrove " PLAINTROVE_VERSION "\n") << QByteArray();
        QTest::newRow("help on a full disk")
            << QStringList { u"-h"_s } << true << 1 << QByteArray()
            << QByteArray("plaintrove: standard output: No space left on device\n");
        QTest::newRow("two files") << QStringList { u"a"_s, u"b"_s } << false << 2 << QByteArray()
                                   << "plaintrove: Only one FILE can be given.\n" + tryHelp;
        QTest::newRow("unknown option")
            << QStringList { u"--bogus"_s } << false << 2 << QByteArray()
            << "plaintrove: Unknown option 'bogus'.\n" + tryHelp;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, fullOutput);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &display : { u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s })
            environment.remove(display);
        process.setProcessEnvironment(environment);
        if (fullOutput)
            process.setStandardOutputFile(u"/dev/full"_s);
        process.start(QStringLiteral(PLAINTROVE_PROGRAM), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QTEST(process.exitCode(), "status");
        QFETCH(QByteArray, printed);
        const QByteArray output = process.readAllStandardOutput();
        QVERIFY2(printed.isEmpty() ? output.isEmpty() : output.startsWith(printed), output);
        QTEST(process.readAllStandardError(), "errors");
    }
};

QTEST_MAIN(ProgramTest)
#include "ProgramTest.moc"
