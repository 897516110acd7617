#include "DriveListBox.h"

#include "NaturalOrder.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <algorithm>

namespace plaintrove::runtime {
namespace {

constexpr auto rootDirectory = QLatin1StringView("/");

// QStorageInfo already leaves out the kernel's own trees (/proc, /sys, /dev) and file systems
// without storage; what it keeps beyond that is not all worth browsing.
bool isRealStorage(const MountedVolume &volume)
{
    // Network shares and virtual machines' folders have no /dev node behind them.
    static const QByteArrayList deviceLess { "9p", "cifs", "fuse.sshfs", "nfs", "nfs4", "smb3",
        "smbfs", "virtiofs", "zfs" };
    // Loop-mounted images of snap packages come from /dev/loop devices but hold no user files.
    if (volume.fileSystemType == "squashfs")
        return false;
    // What remains without a /dev node is memory (tmpfs), containers' layers or portals.
    return volume.device.startsWith("/dev/") || deviceLess.contains(volume.fileSystemType);
}

// The mount table as Qt reports it, less what cannot be browsed (volumes that are not ready,
// and bind mounts of single files, which containers use for /etc/hosts and friends).
QList<MountedVolume> browsableVolumes()
{
    QList<MountedVolume> volumes;
    const auto mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &info : mounted) {
        if (!info.isValid() || !info.isReady() || !QFileInfo(info.rootPath()).isDir())
            continue;
        volumes.push_back({ info.rootPath(), info.device(), info.fileSystemType(), info.name() });
    }
    return volumes;
}

QString homeVolumeRoot()
{
    const QStorageInfo home(QDir::homePath());
    return home.isValid() ? QDir::cleanPath(home.rootPath()) : QString();
}

// The real location of `path` where it exists, so that a symlink into another volume counts
// for the volume it leads to.
QString resolvedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

QList<MountedVolume> selectDrives(const QList<MountedVolume> &volumes, const QString &homeRoot)
{
    QList<MountedVolume> drives;
    for (const MountedVolume &volume : volumes) {
        const QString root = QDir::cleanPath(volume.rootPath);
        if (!root.startsWith(u'/'))
            continue;
        if (root != rootDirectory && root != homeRoot && !isRealStorage(volume))
            continue;
        MountedVolume drive = volume;
        drive.rootPath = root;
        // A later mount on the same root hides the earlier one, so the later one is what the
        // user would browse.
        const auto same = std::find_if(drives.begin(), drives.end(),
            [&root](const MountedVolume &d) { return d.rootPath == root; });
        if (same != drives.end())
            *same = std::move(drive);
        else
            drives.push_back(std::move(drive));
    }
    const bool hasRoot = std::any_of(drives.cbegin(), drives.cend(),
        [](const MountedVolume &d) { return d.rootPath == rootDirectory; });
    if (!hasRoot)
        drives.push_back({ rootDirectory, {}, {}, {} });
    // "/" is a prefix of every other root, so it sorts first.
    std::sort(drives.begin(), drives.end(),
        [order = NaturalOrder()](const MountedVolume &a, const MountedVolume &b) {
            return order(a.rootPath, b.rootPath);
        });
    return drives;
}

QString driveCaption(const MountedVolume &volume)
{
    if (volume.name.isEmpty())
        return volume.rootPath;
    return volume.rootPath + QLatin1StringView("  [") + volume.name + u']';
}

qsizetype indexOfRootHolding(const QStringList &roots, const QString &path)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < roots.size(); ++i) {
        const QString &root = roots[i];
        const bool holds = root == rootDirectory
            ? path.startsWith(u'/')
            : (path == root || (path.startsWith(root) && path[root.size()] == u'/'));
        if (holds && (best < 0 || root.size() > roots[best].size()))
            best = i;
    }
    return best;
}

DriveListBox::DriveListBox(QWidget *parent)
    : QComboBox(parent)
{
    const auto drives = selectDrives(browsableVolumes(), homeVolumeRoot());
    for (const MountedVolume &volume : drives)
        addItem(driveCaption(volume), volume.rootPath);
    restoreDrive(QDir::currentPath());
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::Change);
}

QString DriveListBox::drive() const
{
    return currentData().toString();
}

void DriveListBox::restoreDrive(const QString &path)
{
    const QSignalBlocker quiet(this);
    if (const int index = indexOfDriveHolding(path); index >= 0)
        setCurrentIndex(index);
}

int DriveListBox::indexOfDriveHolding(const QString &path) const
{
    QStringList roots;
    roots.reserve(count());
    for (int i = 0; i < count(); ++i)
        roots.push_back(itemData(i).toString());
    return static_cast<int>(indexOfRootHolding(roots, resolvedPath(path)));
}

} // namespace plaintrove::runtime
