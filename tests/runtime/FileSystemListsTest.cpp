// The three linked file-system lists and the name order they share, on throw-away directory
// trees.

#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "NaturalOrder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sys/stat.h>

using plaintrove::runtime::DirListBox;
using plaintrove::runtime::DriveListBox;
using plaintrove::runtime::FileListBox;
using plaintrove::runtime::MountedVolume;

namespace {

void makeDirs(const QString &base, const QStringList &relativePaths)
{
    for (const QString &relative : relativePaths)
        QVERIFY2(QDir(base).mkpath(relative), qPrintable(base + u'/' + relative));
}

void makeFiles(const QString &base, const QStringList &names)
{
    for (const QString &name : names) {
        QFile file(base + u'/' + name);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
        file.write("<p>x</p>\n");
    }
}

void makeLink(const QString &target, const QString &link)
{
    QVERIFY2(QFile::link(target, link), qPrintable(link));
}

QStringList texts(const QListWidget &list, int from = 0)
{
    QStringList result;
    for (int row = from; row < list.count(); ++row)
        result.push_back(list.item(row)->text());
    return result;
}

QListWidgetItem *itemNamed(const QListWidget &list, const QString &text)
{
    const auto found = list.findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    return found.size() == 1 ? found.front() : nullptr;
}

// As a person does it: a click, then the second press that the platform reports as a double-click.
void doubleClick(QListWidget &list, const QListWidgetItem *item)
{
    QVERIFY(item);
    const QPoint centre = list.visualItemRect(item).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, centre);
}

int sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage();
}

MountedVolume volume(const char *root, const char *device, const char *type, const char *name = "")
{
    return { QString::fromUtf8(root), device, type, QString::fromUtf8(name) };
}

} // namespace

class FileSystemListsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void naturalCompare_data();
    void naturalCompare();
    void sortNaturallyIgnoresInputOrder_data();
    void sortNaturallyIgnoresInputOrder();

    void selectDrives_data();
    void selectDrives();
    void driveCaption_data();
    void driveCaption();
    void indexOfRootHolding_data();
    void indexOfRootHolding();
    void driveListStartsOnCurrentDrive();
    void driveListMovesAndSignals();

    void dirListShowsChainAndChildren();
    void dirListAtRoot();
    void dirListSetPathSignalsOnlyOnChange();
    void dirListRefusesWhatCannotBeListed_data();
    void dirListRefusesWhatCannotBeListed();
    void dirListOpensByKey_data();
    void dirListOpensByKey();
    void dirListOpensByDoubleClick();
    void dirListOpeningChainEntryGoesUp();
    void dirListReportsVanishedDirectory();
    void dirListRefreshShowsNewDirectories();
    void dirListKeepsTheChainInViewWhenShown();

    void fileListShowsOnlyVisibleFiles();
    void fileListSelectionByClick();
    void fileListRefreshKeepsSelection_data();
    void fileListRefreshKeepsSelection();
    void fileListUnlistablePathIsEmpty_data();
    void fileListUnlistablePathIsEmpty();

private:
    // tree/
    //   a/b/{Sub1, sub2, sub10, zeta, .hidden/, plain.txt, dirlink -> a, filelink -> plain.txt}
    QString makeTree();

    QTemporaryDir m_temp;
    QString m_base;
    int m_serial = 0;
};

void FileSystemListsTest::init()
{
    QVERIFY(m_temp.isValid());
    m_base = QDir::cleanPath(QDir(m_temp.path()).canonicalPath());
}

QString FileSystemListsTest::makeTree()
{
    const QString tree = m_base + QStringLiteral("/tree%1").arg(++m_serial);
    const QString b = tree + QStringLiteral("/a/b");
    makeDirs(b,
        { QStringLiteral("Sub1"), QStringLiteral("sub2"), QStringLiteral("sub10"),
            QStringLiteral("zeta"), QStringLiteral(".hidden") });
    makeFiles(b, { QStringLiteral("plain.txt") });
    makeLink(tree + QStringLiteral("/a"), b + QStringLiteral("/dirlink"));
    makeLink(b + QStringLiteral("/plain.txt"), b + QStringLiteral("/filelink"));
    return b;
}

// --- name order -------------------------------------------------------------------------------

void FileSystemListsTest::naturalCompare_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    QTest::newRow("numbers by value") << "file2"
                                      << "File10" << -1;
    QTest::newRow("numbers by value, lower case") << "file10"
                                                  << "file2" << 1;
    QTest::newRow("letters ignore case") << "abc"
                                         << "ABD" << -1;
    QTest::newRow("not code-point order") << "Zeta"
                                          << "alpha" << 1;
    QTest::newRow("case-only difference is fixed") << "File"
                                                   << "file" << -1;
    QTest::newRow("case tie does not hide a later difference") << "FILE2"
                                                               << "file10" << -1;
    QTest::newRow("leading zeros equal in value") << "a01"
                                                  << "a1" << -1;
    QTest::newRow("leading zeros do not beat the rest") << "a007"
                                                        << "a7b" << -1;
    QTest::newRow("several number runs") << "a2b10"
                                         << "a2b9" << 1;
    QTest::newRow("longer than 64 bits") << "v12345678901234567890"
                                         << "v12345678901234567891" << -1;
    QTest::newRow("more digits, larger value") << "v99999999999999999999"
                                               << "v100000000000000000000" << -1;
    QTest::newRow("prefix first") << "a"
                                  << "a1" << -1;
    QTest::newRow("digit before letter") << "1a"
                                         << "a" << -1;
    QTest::newRow("number then text") << "x9 y"
                                      << "x10 a" << -1;
    QTest::newRow("both empty") << ""
                                << "" << 0;
    QTest::newRow("empty first") << ""
                                 << "a" << -1;
    QTest::newRow("identical") << "Report 3.txt"
                               << "Report 3.txt" << 0;
    QTest::newRow("non-ASCII case folds")
        << QStringLiteral("\u00c9t\u00e92") << QStringLiteral("\u00e9T\u00c910") << -1;
    // U+10428 is the small form of U+10400; folding must see the whole pair.
    QTest::newRow("case folds beyond 16 bits")
        << QStringLiteral("\U000104282") << QStringLiteral("\U0001040010") << -1;
}

void FileSystemListsTest::naturalCompare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);

    QCOMPARE(sign(plaintrove::runtime::naturalCompare(a, b)), expected);
    QCOMPARE(sign(plaintrove::runtime::naturalCompare(b, a)), -expected);
    QCOMPARE(plaintrove::runtime::naturalLess(a, b), expected < 0);
}

void FileSystemListsTest::sortNaturallyIgnoresInputOrder_data()
{
    QTest::addColumn<QStringList>("sorted");

    QTest::newRow("files") << QStringList { "FILE1", "file1", "File2", "file10", "file010b",
        "file11" };
    QTest::newRow("mixed") << QStringList { "", "01", "1", "2", "10", "a", "A1", "a1", "a01b",
        "b" };
}

void FileSystemListsTest::sortNaturallyIgnoresInputOrder()
{
    QFETCH(QStringList, sorted);

    QStringList names = sorted;
    std::reverse(names.begin(), names.end());
    plaintrove::runtime::sortNaturally(names);
    QCOMPARE(names, sorted);

    std::rotate(names.begin(), names.begin() + names.size() / 2, names.end());
    plaintrove::runtime::sortNaturally(names);
    QCOMPARE(names, sorted);
}

// --- drive list -------------------------------------------------------------------------------

void FileSystemListsTest::selectDrives_data()
{
    QTest::addColumn<QList<MountedVolume>>("volumes");
    QTest::addColumn<QString>("homeRoot");
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("pseudo file systems left out")
        << QList<MountedVolume> { volume("/", "/dev/vda", "ext4"), volume("/proc", "proc", "proc"),
               volume("/sys", "sysfs", "sysfs"), volume("/dev", "devtmpfs", "devtmpfs"),
               volume("/run", "tmpfs", "tmpfs"), volume("/sys/fs/cgroup", "cgroup2", "cgroup2"),
               volume("/dev/shm", "tmpfs", "tmpfs"),
               volume("/media/usb", "/dev/sdb1", "vfat", "STICK") }
        << QString() << QStringList { "/", "/media/usb" } << QStringList { "", "STICK" };
    QTest::newRow("snap images and device mounts under /dev left out") << QList<MountedVolume> {
        volume("/", "/dev/sda2", "ext4"), volume("/snap/core/1", "/dev/loop3", "squashfs"),
        volume("/dev/hugepages", "/dev/foo", "ext4")
    } << QString() << QStringList { "/" } << QStringList { "" };
    QTest::newRow("overlay root kept, overlay elsewhere left out") << QList<MountedVolume> {
        volume("/var/lib/x", "overlay", "overlay"), volume("/", "overlay", "overlay")
    } << QString() << QStringList { "/" } << QStringList { "" };
    QTest::newRow("root added when missing")
        << QList<MountedVolume> { volume("/data", "/dev/sdc1", "xfs") } << QString()
        << QStringList { "/", "/data" } << QStringList { "", "" };
    QTest::newRow("sorted by path, numbers by value")
        << QList<MountedVolume> { volume("/mnt/disk10", "/dev/sdd", "ext4"),
               volume("/mnt/disk2", "/dev/sde", "ext4"), volume("/boot", "/dev/sda1", "ext4"),
               volume("/", "/dev/sda2", "ext4") }
        << QString() << QStringList { "/", "/boot", "/mnt/disk2", "/mnt/disk10" }
        << QStringList { "", "", "", "" };
    QTest::newRow("repeated root once, the later mount wins") << QList<MountedVolume> {
        volume("/", "/dev/sda2", "ext4"), volume("/data", "/dev/sdb1", "ext4", "OLD"),
        volume("/data/", "/dev/sdc1", "ext4", "NEW")
    } << QString() << QStringList { "/", "/data" } << QStringList { "", "NEW" };
    QTest::newRow("network shares and pools kept")
        << QList<MountedVolume> { volume("/", "/dev/sda2", "ext4"),
               volume("/srv/share", "server:/export", "nfs4"), volume("/tank", "tank", "zfs") }
        << QString() << QStringList { "/", "/srv/share", "/tank" } << QStringList { "", "", "" };
    QTest::newRow("home volume kept whatever it is")
        << QList<MountedVolume> { volume("/", "/dev/sda2", "ext4"),
               volume("/home", "home-pool", "strangefs") }
        << QStringLiteral("/home") << QStringList { "/", "/home" } << QStringList { "", "" };
    QTest::newRow("same volume without home left out") << QList<MountedVolume> {
        volume("/", "/dev/sda2", "ext4"), volume("/home", "home-pool", "strangefs")
    } << QString() << QStringList { "/" } << QStringList { "" };
    QTest::newRow("relative roots ignored") << QList<MountedVolume> {
        volume("none", "/dev/sdb", "ext4"), volume("/", "/dev/sda", "ext4")
    } << QString() << QStringList { "/" } << QStringList { "" };
}

void FileSystemListsTest::selectDrives()
{
    QFETCH(QList<MountedVolume>, volumes);
    QFETCH(QString, homeRoot);
    QFETCH(QStringList, roots);
    QFETCH(QStringList, names);

    const auto drives = plaintrove::runtime::selectDrives(volumes, homeRoot);
    QStringList gotRoots;
    QStringList gotNames;
    for (const MountedVolume &drive : drives) {
        gotRoots.push_back(drive.rootPath);
        gotNames.push_back(drive.name);
    }
    QCOMPARE(gotRoots, roots);
    QCOMPARE(gotNames, names);
}

void FileSystemListsTest::driveCaption_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("named") << "/media/usb"
                           << "STICK"
                           << "/media/usb  [STICK]";
    QTest::newRow("unnamed") << "/"
                             << ""
                             << "/";
}

void FileSystemListsTest::driveCaption()
{
    QFETCH(QString, root);
    QFETCH(QString, name);
    QFETCH(QString, caption);

    QCOMPARE(plaintrove::runtime::driveCaption({ root, "/dev/sdb1", "vfat", name }), caption);
}

void FileSystemListsTest::indexOfRootHolding_data()
{
    QTest::addColumn<QStringList>("roots");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qsizetype>("expected");

    const QStringList nested { "/", "/media/usb", "/media/usb/inner" };
    QTest::newRow("root itself") << nested << "/" << qsizetype { 0 };
    QTest::newRow("inside root") << nested << "/home/me" << qsizetype { 0 };
    QTest::newRow("a mount point itself") << nested << "/media/usb" << qsizetype { 1 };
    QTest::newRow("inside a mount") << nested << "/media/usb/docs/a.html" << qsizetype { 1 };
    QTest::newRow("longest root wins") << nested << "/media/usb/inner/x" << qsizetype { 2 };
    QTest::newRow("name prefix is not a parent") << nested << "/media/usb2/x" << qsizetype { 0 };
    QTest::newRow("relative path held by none") << nested << "media/usb" << qsizetype { -1 };
    QTest::newRow("no root holds it") << QStringList { "/data" } << "/etc" << qsizetype { -1 };
}

void FileSystemListsTest::indexOfRootHolding()
{
    QFETCH(QStringList, roots);
    QFETCH(QString, path);
    QFETCH(qsizetype, expected);

    QCOMPARE(plaintrove::runtime::indexOfRootHolding(roots, path), expected);
}

void FileSystemListsTest::driveListStartsOnCurrentDrive()
{
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_base));
    const DriveListBox box;
    QVERIFY(QDir::setCurrent(before));

    QVERIFY(!box.isEditable());
    QVERIFY(box.count() >= 1);
    QCOMPARE(box.itemData(0).toString(), QStringLiteral("/"));
    QStringList roots;
    for (int i = 0; i < box.count(); ++i) {
        const QString root = box.itemData(i).toString();
        QVERIFY2(!roots.contains(root), qPrintable(root));
        QVERIFY2(!root.startsWith(QLatin1StringView("/proc")), qPrintable(root));
        QVERIFY2(!root.startsWith(QLatin1StringView("/sys")), qPrintable(root));
        QVERIFY(box.itemText(i).startsWith(root));
        roots.push_back(root);
    }

    // The drive holding the directory is the longest listed root it lies under.
    QString expected;
    for (const QString &root : roots) {
        const bool holds
            = root == QStringLiteral("/") || m_base == root || m_base.startsWith(root + u'/');
        if (holds && root.size() > expected.size())
            expected = root;
    }
    QCOMPARE(box.drive(), expected);
}

void FileSystemListsTest::driveListMovesAndSignals()
{
    DriveListBox box;
    // A second drive, so that the selection has somewhere to move on any machine.
    makeDirs(m_base, { QStringLiteral("mnt/inside") });
    const QString fakeRoot = m_base + QStringLiteral("/mnt");
    box.addItem(fakeRoot, fakeRoot);
    const int fakeIndex = box.count() - 1;
    QSignalSpy changes(&box, &DriveListBox::Change);

    box.setDrive(QStringLiteral("/etc"));
    changes.clear();

    box.restoreDrive(fakeRoot + QStringLiteral("/inside"));
    QCOMPARE(box.currentIndex(), fakeIndex);
    QCOMPARE(box.drive(), fakeRoot);
    QCOMPARE(changes.count(), 0);

    box.setDrive(QStringLiteral("/etc"));
    QCOMPARE(box.drive(), QStringLiteral("/"));
    QCOMPARE(changes.count(), 1);

    box.setDrive(QStringLiteral("/usr/share"));
    QCOMPARE(changes.count(), 1); // still "/"

    box.setDrive(fakeRoot);
    QCOMPARE(box.drive(), fakeRoot);
    QCOMPARE(changes.count(), 2);

    // The user picks "/" from the drop-down.
    box.setCurrentIndex(0);
    emit box.activated(0);
    QCOMPARE(box.drive(), QStringLiteral("/"));
    QCOMPARE(changes.count(), 3);
    emit box.activated(0);
    QCOMPARE(changes.count(), 3); // the same drive again

    // Arrow keys on the closed drop-down pick too.
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_End);
    QCOMPARE(box.drive(), fakeRoot);
    QCOMPARE(changes.count(), 4);
}

// --- directory list ---------------------------------------------------------------------------

void FileSystemListsTest::dirListShowsChainAndChildren()
{
    const QString b = makeTree();
    DirListBox list;
    QVERIFY(list.setPath(b));
    QCOMPARE(list.path(), b);

    // The chain, walked up from the path: each entry one level deeper than its parent.
    QStringList chainPaths;
    for (QString p = b; p != QStringLiteral("/"); p = QFileInfo(p).path())
        chainPaths.prepend(p);
    chainPaths.prepend(QStringLiteral("/"));
    const int depth = static_cast<int>(chainPaths.size()) - 1;

    const QStringList children { "dirlink", "Sub1", "sub2", "sub10", "zeta" };
    QCOMPARE(list.count(), static_cast<int>(chainPaths.size() + children.size()));
    const QImage open = iconImage(list.style()->standardIcon(QStyle::SP_DirOpenIcon));
    const QImage closed = iconImage(list.style()->standardIcon(QStyle::SP_DirClosedIcon));
    QVERIFY(!open.isNull() && open != closed);

    for (int row = 0; row <= depth; ++row) {
        const QListWidgetItem *item = list.item(row);
        const QString p = chainPaths[row];
        QCOMPARE(item->data(Qt::UserRole).toString(), p);
        QCOMPARE(item->text(), row == 0 ? QStringLiteral("/") : QFileInfo(p).fileName());
        QCOMPARE(item->data(DirListBox::LevelRole).toInt(), row);
        QCOMPARE(iconImage(item->icon()), open);
    }
    QCOMPARE(list.currentItem(), list.item(depth));
    QCOMPARE(list.currentItem()->text(), QStringLiteral("b"));

    QCOMPARE(texts(list, depth + 1), children);
    for (int row = depth + 1; row < list.count(); ++row) {
        const QListWidgetItem *item = list.item(row);
        QCOMPARE(item->data(Qt::UserRole).toString(), b + u'/' + item->text());
        QCOMPARE(item->data(DirListBox::LevelRole).toInt(), depth + 1);
        QCOMPARE(iconImage(item->icon()), closed);
    }
}

void FileSystemListsTest::dirListAtRoot()
{
    DirListBox list;
    QVERIFY(list.setPath(QStringLiteral("/")));
    QCOMPARE(list.path(), QStringLiteral("/"));
    QCOMPARE(list.item(0)->text(), QStringLiteral("/"));
    QCOMPARE(list.currentItem(), list.item(0));
    QVERIFY(list.count() > 1);
    for (int row = 1; row < list.count(); ++row) {
        const QString p = list.item(row)->data(Qt::UserRole).toString();
        QCOMPARE(p, u'/' + list.item(row)->text());
        QVERIFY(QFileInfo(p).isDir());
        QCOMPARE(list.item(row)->data(DirListBox::LevelRole).toInt(), 1);
    }
}

void FileSystemListsTest::dirListSetPathSignalsOnlyOnChange()
{
    const QString b = makeTree();
    DirListBox list;
    QSignalSpy changes(&list, &DirListBox::Change);

    QVERIFY(list.setPath(b + QStringLiteral("/./sub2/../zeta/")));
    QCOMPARE(list.path(), b + QStringLiteral("/zeta"));
    QCOMPARE(changes.count(), 1);

    QVERIFY(list.setPath(b + QStringLiteral("/zeta")));
    QCOMPARE(changes.count(), 1);

    // Relative paths start from where the list is.
    QVERIFY(list.setPath(QStringLiteral("../sub10")));
    QCOMPARE(list.path(), b + QStringLiteral("/sub10"));
    QCOMPARE(changes.count(), 2);
}

void FileSystemListsTest::dirListRefusesWhatCannotBeListed_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << "nothing-here"
                             << "No such directory";
    QTest::newRow("missing parent") << "nothing/below"
                                    << "No such directory";
    QTest::newRow("a file") << "plain.txt"
                            << "Not a directory";
    QTest::newRow("a link to a file") << "filelink"
                                      << "Not a directory";
    QTest::newRow("below a file") << "plain.txt/x"
                                  << "No such directory";
}

void FileSystemListsTest::dirListRefusesWhatCannotBeListed()
{
    QFETCH(QString, relative);
    QFETCH(QString, reason);

    const QString b = makeTree();
    DirListBox list;
    QVERIFY(list.setPath(b));
    const QStringList before = texts(list);
    QSignalSpy changes(&list, &DirListBox::Change);

    QString why;
    QVERIFY(!list.setPath(b + u'/' + relative, &why));
    QCOMPARE(why, reason);
    QVERIFY(!list.setPath(b + u'/' + relative)); // no reason wanted
    QCOMPARE(list.path(), b);
    QCOMPARE(texts(list), before);
    QCOMPARE(changes.count(), 0);
}

void FileSystemListsTest::dirListOpensByKey_data()
{
    QTest::addColumn<int>("key");

    QTest::newRow("Return") << int { Qt::Key_Return };
    QTest::newRow("Enter") << int { Qt::Key_Enter };
}

void FileSystemListsTest::dirListOpensByKey()
{
    QFETCH(int, key);

    const QString b = makeTree();
    DirListBox list;
    QVERIFY(list.setPath(b));
    QSignalSpy changes(&list, &DirListBox::Change);

    list.setCurrentItem(itemNamed(list, QStringLiteral("sub10")));
    QTest::keyClick(&list, static_cast<Qt::Key>(key));
    QCOMPARE(list.path(), b + QStringLiteral("/sub10"));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(list.currentItem()->text(), QStringLiteral("sub10"));
}

void FileSystemListsTest::dirListOpensByDoubleClick()
{
    const QString b = makeTree();
    DirListBox list;
    QVERIFY(list.setPath(b));
    list.resize(300, 600);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy changes(&list, &DirListBox::Change);

    doubleClick(list, itemNamed(list, QStringLiteral("sub2")));
    QCOMPARE(list.path(), b + QStringLiteral("/sub2"));
    QCOMPARE(changes.count(), 1);

    // Through a link, the path stays the one the user went along.
    QVERIFY(list.setPath(b));
    doubleClick(list, itemNamed(list, QStringLiteral("dirlink")));
    QCOMPARE(list.path(), b + QStringLiteral("/dirlink"));
    QCOMPARE(list.currentItem()->text(), QStringLiteral("dirlink"));
    QCOMPARE(texts(list).last(), QStringLiteral("b"));
}

void FileSystemListsTest::dirListOpeningChainEntryGoesUp()
{
    const QString b = makeTree();
    const QString a = QFileInfo(b).path();
    DirListBox list;
    QVERIFY(list.setPath(b + QStringLiteral("/sub2")));
    QSignalSpy changes(&list, &DirListBox::Change);

    list.setCurrentItem(itemNamed(list, QStringLiteral("a")));
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), a);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(list.currentItem()->text(), QStringLiteral("a"));
    QVERIFY(itemNamed(list, QStringLiteral("b")));
    QVERIFY(!itemNamed(list, QStringLiteral("sub2")));

    // Opening the current entry lists it again but is no change.
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(list.path(), a);
    QCOMPARE(changes.count(), 1);
}

void FileSystemListsTest::dirListReportsVanishedDirectory()
{
    const QString b = makeTree();
    DirListBox list;
    QVERIFY(list.setPath(b));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    const QStringList before = texts(list);
    QSignalSpy changes(&list, &DirListBox::Change);
    QSignalSpy failures(&list, &DirListBox::openFailed);

    QVERIFY(QDir(b + QStringLiteral("/sub2")).removeRecursively());
    doubleClick(list, itemNamed(list, QStringLiteral("sub2")));

    QCOMPARE(failures.count(), 1);
    QCOMPARE(failures.at(0).at(0).toString(), b + QStringLiteral("/sub2"));
    QCOMPARE(failures.at(0).at(1).toString(), QStringLiteral("No such directory"));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(list.path(), b);
    QCOMPARE(texts(list), before);

    // The same by keyboard, for a directory replaced by a file.
    QVERIFY(QDir(b + QStringLiteral("/zeta")).removeRecursively());
    makeFiles(b, { QStringLiteral("zeta") });
    list.setCurrentItem(itemNamed(list, QStringLiteral("zeta")));
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(failures.count(), 2);
    QCOMPARE(failures.at(1).at(1).toString(), QStringLiteral("Not a directory"));
    QCOMPARE(list.path(), b);
}

void FileSystemListsTest::dirListRefreshShowsNewDirectories()
{
    const QString b = makeTree();
    DirListBox list;
    QVERIFY(list.setPath(b));
    QSignalSpy changes(&list, &DirListBox::Change);

    makeDirs(b, { QStringLiteral("sub3"), QStringLiteral(".also-hidden") });
    QVERIFY(QDir(b + QStringLiteral("/zeta")).removeRecursively());
    list.refresh();

    QStringList shown = texts(list);
    shown = shown.mid(shown.indexOf(QStringLiteral("b")) + 1);
    QCOMPARE(shown, (QStringList { "dirlink", "Sub1", "sub2", "sub3", "sub10" }));
    QCOMPARE(list.currentItem()->text(), QStringLiteral("b"));
    QCOMPARE(changes.count(), 0);
}

// --- file list --------------------------------------------------------------------------------

void FileSystemListsTest::fileListShowsOnlyVisibleFiles()
{
    const QString dir = m_base + QStringLiteral("/files");
    makeDirs(m_base, { QStringLiteral("files/subdir"), QStringLiteral("files/.hiddendir") });
    makeFiles(dir, { "b10.txt", "B2.txt", "a.html", ".hidden" });
    makeLink(dir + QStringLiteral("/a.html"), dir + QStringLiteral("/link.txt"));
    makeLink(dir + QStringLiteral("/missing"), dir + QStringLiteral("/dangling"));
    makeLink(dir + QStringLiteral("/subdir"), dir + QStringLiteral("/dirlink"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir + QStringLiteral("/pipe")).constData(), 0600), 0);

    FileListBox list;
    list.setPath(dir + u'/');
    QCOMPARE(list.path(), dir);
    QCOMPARE(texts(list), (QStringList { "a.html", "B2.txt", "b10.txt", "link.txt" }));
    QCOMPARE(list.selectionMode(), QAbstractItemView::SingleSelection);
    QVERIFY(list.selectedItems().isEmpty());
    QCOMPARE(list.fileName(), QString());
}

void FileSystemListsTest::fileListSelectionByClick()
{
    const QString dir = m_base + QStringLiteral("/click");
    makeDirs(m_base, { QStringLiteral("click") });
    makeFiles(dir, { "one.html", "two.html", "three.html" });
    FileListBox list;
    list.setPath(dir);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
        list.visualItemRect(itemNamed(list, QStringLiteral("three.html"))).center());
    QCOMPARE(list.fileName(), QStringLiteral("three.html"));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
        list.visualItemRect(itemNamed(list, QStringLiteral("one.html"))).center());
    QCOMPARE(list.fileName(), QStringLiteral("one.html"));
    QCOMPARE(list.selectedItems().size(), 1);

    // Moving to a directory drops the selection, even when it is the same one.
    list.setPath(dir);
    QCOMPARE(list.fileName(), QString());
}

void FileSystemListsTest::fileListRefreshKeepsSelection_data()
{
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("removeSelected");
    QTest::addColumn<QString>("expected");

    QTest::newRow("still there") << "b.txt" << false << "b.txt";
    QTest::newRow("removed") << "b.txt" << true << "";
    QTest::newRow("nothing selected") << "" << false << "";
}

void FileSystemListsTest::fileListRefreshKeepsSelection()
{
    QFETCH(QString, selected);
    QFETCH(bool, removeSelected);
    QFETCH(QString, expected);

    const QString dir = m_base + QStringLiteral("/refresh%1").arg(++m_serial);
    QVERIFY(QDir().mkpath(dir));
    makeFiles(dir, { "a.txt", "b.txt", "B.txt" });
    FileListBox list;
    list.setPath(dir);
    if (!selected.isEmpty())
        list.setCurrentItem(itemNamed(list, selected));
    QCOMPARE(list.fileName(), selected);

    makeFiles(dir, { "a2.txt" });
    if (removeSelected)
        QVERIFY(QFile::remove(dir + u'/' + selected));
    list.refresh();

    QVERIFY(itemNamed(list, QStringLiteral("a2.txt")));
    QCOMPARE(list.fileName(), expected);
    QCOMPARE(list.selectedItems().size(), expected.isEmpty() ? 0 : 1);
}

void FileSystemListsTest::fileListUnlistablePathIsEmpty_data()
{
    QTest::addColumn<QString>("relative");

    QTest::newRow("missing") << "no-such-dir";
    QTest::newRow("a file") << "only.txt";
    QTest::newRow("below a file") << "only.txt/x";
}

void FileSystemListsTest::fileListUnlistablePathIsEmpty()
{
    QFETCH(QString, relative);

    const QString dir = m_base + QStringLiteral("/unlistable");
    makeDirs(m_base, { QStringLiteral("unlistable") });
    makeFiles(dir, { "only.txt" });
    FileListBox list;
    list.setPath(dir);
    QCOMPARE(list.count(), 1);

    list.setPath(dir + u'/' + relative);
    QCOMPARE(list.path(), dir + u'/' + relative);
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.fileName(), QString());
}

// A list filled before it had its size must not stay scrolled past the top of the chain.
void FileSystemListsTest::dirListKeepsTheChainInViewWhenShown()
{
    const QString dir = m_base + QStringLiteral("/many%1").arg(++m_serial);
    QStringList children;
    for (int i = 0; i < 40; ++i)
        children.append(QStringLiteral("child%1").arg(i));
    makeDirs(dir, children);
    // As in a window: made, moved, then placed, and shown with the window later.
    QWidget window;
    window.resize(300, 200);
    DirListBox &list = *new DirListBox(&window);
    QVERIFY(list.setPath(dir));
    list.setGeometry(8, 8, 137, 171);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto inView = [&list](const QListWidgetItem *item) {
        const QRect row = list.visualItemRect(item);
        return row.top() >= 0 && row.bottom() <= list.viewport()->height();
    };
    QVERIFY(inView(list.item(0)));
    QVERIFY(inView(list.currentItem()));
}

QTEST_MAIN(FileSystemListsTest)
#include "FileSystemListsTest.moc"
