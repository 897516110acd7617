// The keys a window sees first, and what the drive, directory and file lists offer.

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "Form.h"
#include "Sandbox.h"

#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace plaintrove::runtime;
using namespace Qt::StringLiterals;

namespace {

// Records the keys a window is given; its line edit stands for any control.
class Recorder final : public Form
{
public:
    std::vector<int> keys;
    QLineEdit *edit = new QLineEdit(this);

protected:
    void Form_KeyPress(int keyAscii) override { keys.push_back(keyAscii); }
};

QStringList texts(const QListWidget &list)
{
    QStringList result;
    for (int row = 0; row < list.count(); ++row)
        result.append(list.item(row)->text());
    return result;
}

} // namespace

class WidgetsTest : public QObject
{
    Q_OBJECT
private slots:
    void keyPreviewTakesCharacterKeysFromControls()
    {
        // A key, and the character the window sees (0: none, the control keeps the key).
        const std::pair<Qt::Key, int> keys[] = { { Qt::Key_A, 'a' }, { Qt::Key_7, '7' },
            { Qt::Key_Space, ' ' }, { Qt::Key_Return, 13 }, { Qt::Key_Escape, 27 },
            { Qt::Key_Left, 0 }, { Qt::Key_F2, 0 }, { Qt::Key_Shift, 0 }, { Qt::Key_Delete, 0 } };
        Recorder &form = defaultInstance<Recorder>();
        form.setKeyPreview(true);
        for (const auto &[key, keyAscii] : keys) {
            form.keys.clear();
            QTest::keyClick(form.edit, key);
            QVERIFY2(form.keys == (keyAscii ? std::vector { keyAscii } : std::vector<int>()),
                qPrintable(QKeySequence(key).toString()));
        }
        QCOMPARE(form.edit->text(), QString()); // the window took the characters
    }

    void drives()
    {
        // "/" not first, device-less and loop-mounted volumes, and a later mount on "/data".
        const QList<MountedVolume> volumes { { u"/srv"_s, "host:/export", "nfs4", {} },
            { u"/data"_s, "/dev/sdb", "ext4", {} }, { u"/home"_s, "pool", "zfs2", {} },
            { u"/run"_s, "tmpfs", "tmpfs", {} }, { u"/snap/a"_s, "/dev/loop3", "squashfs", {} },
            { u"/var/b"_s, "overlay", "overlay", {} }, { u"/data/"_s, "/dev/sdc", "xfs", {} },
            { u"/"_s, "overlay", "overlay", {} } };
        QStringList offered;
        for (const MountedVolume &drive : selectDrives(volumes, u"/home"_s))
            offered.append(drive.rootPath + u' ' + QString::fromUtf8(drive.device));
        QCOMPARE(offered,
            QStringList({ "/ overlay", "/data /dev/sdc", "/home pool", "/srv host:/export" }));
        QCOMPARE(selectDrives({ { u"/d"_s, "/dev/sdb", "ext4", {} } }, {}).value(0).rootPath,
            u"/"_s); // even when it is not mounted
        const QStringList roots { u"/"_s, u"/media/usb"_s, u"/media/usb2"_s }; // the longest holds
        for (const auto &[path, root] : { std::pair { "/media/usb2/a", 2 }, { "/media/usb", 1 } })
            QCOMPARE(indexOfRootHolding(roots, QLatin1String(path)), root);
    }

    void listsShowVisibleEntriesInNaturalOrder()
    {
        const plaintrove::testing::Sandbox sandbox; // page.html, old.txt, sub/
        for (const char *name : { "Page10", "page2", "file", "File", "a1", "a01", ".hidden" }) {
            sandbox.write(QLatin1String(name), "x");
            QDir(sandbox.root()).mkdir(QLatin1String(name) + u".d"_s);
        }
        FileListBox files;
        files.setPath(sandbox.root());
        QCOMPARE(texts(files),
            QStringList(
                { "a01", "a1", "File", "file", "old.txt", "page.html", "page2", "Page10" }));
        QCOMPARE(files.fileName(), QString());

        DirListBox dirs;
        QSignalSpy changes(&dirs, &DirListBox::Change);
        QVERIFY(dirs.setPath(sandbox.root()));
        QVERIFY(dirs.setPath(sandbox.path(u"sub/.."_s)));
        QString why;
        QVERIFY(!dirs.setPath(sandbox.path(u"page.html"_s), &why));
        QCOMPARE(why, u"Not a directory"_s);
        QCOMPARE(changes.count(), 1);
        const QStringList chain
            = QStringList(u"/"_s) + sandbox.root().split(u'/', Qt::SkipEmptyParts);
        QCOMPARE(texts(dirs),
            chain
                + QStringList(
                    { "a01.d", "a1.d", "File.d", "file.d", "page2.d", "Page10.d", "sub" }));
    }

    void fileListFollowsTheDisk_data()
    {
        QTest::addColumn<QString>("change"); // +name: created, -name: removed
        QTest::addColumn<QString>("selected"); // page.html before
        QTest::newRow("created") << u"+new.html"_s << u"page.html"_s;
        QTest::newRow("removed") << u"-old.txt"_s << u"page.html"_s;
        QTest::newRow("selected one removed") << u"-page.html"_s << QString();
    }
    void fileListFollowsTheDisk()
    {
        QFETCH(QString, change);
        const plaintrove::testing::Sandbox sandbox; // page.html, old.txt
        for (int i = 10; i < 40; ++i) // enough to scroll
            sandbox.write(u"z"_s + QString::number(i), "x");
        FileListBox files;
        files.setPath(sandbox.root());
        files.show();
        QVERIFY(files.select(u"page.html"_s));
        QScrollBar &bar = *files.verticalScrollBar();
        bar.setValue(5);
        const QString name = change.mid(1);
        const bool created = change.startsWith(u'+');
        created ? sandbox.write(name, "x") : void(QFile::remove(sandbox.path(name)));
        QTRY_COMPARE(files.findItems(name, Qt::MatchExactly).isEmpty(), !created);
        QTEST(files.fileName(), "selected");
        QCOMPARE(bar.value(), 5); // the list did not move
    }

    void dirListOpensEntriesAndReportsFailures()
    {
        const plaintrove::testing::Sandbox sandbox; // page.html, old.txt, sub/
        DirListBox list;
        list.show();
        QSignalSpy changes(&list, &DirListBox::Change);
        QSignalSpy failures(&list, &DirListBox::openFailed);
        QVERIFY(list.setPath(sandbox.root()));
        list.setCurrentRow(list.count() - 1);
        QTest::keyClick(&list, Qt::Key_Up); // moves, opens nothing
        QCOMPARE(list.path(), sandbox.root());
        const QRect sub = list.visualItemRect(list.item(list.count() - 1));
        QTest::mouseDClick(
            list.windowHandle(), Qt::LeftButton, {}, list.viewport()->mapTo(&list, sub.center()));
        QCOMPARE(list.path(), sandbox.path(u"sub"_s));
        QVERIFY(list.setPath(sandbox.root()) && QDir(sandbox.root()).rmdir(u"sub"_s));
        list.setCurrentRow(list.count() - 1); // the directory that has just gone
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(failures.value(0), (QVariantList { sandbox.path(u"sub"_s), "No such directory" }));
        QCOMPARE(changes.count(), 3); // and the failure moved nothing
    }
};

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
