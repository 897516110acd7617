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
        QCOMPARE(app::run(app::fileArgument({ u"plaintrove"_s, sandbox.path(u"page.html"_s) })), 0);

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
};

QTEST_MAIN(ProgramTest)
#include "ProgramTest.moc"
