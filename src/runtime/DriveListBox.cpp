#include "DriveListBox.h"

#include "NaturalOrder.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace plaintrove::runtime {
namespace {

constexpr auto rootDirectory = QLatin1StringView("/");

bool isOneOf(const QByteArray &type, std::span<const std::string_view> names)
{
    const std::string_view t(type.constData(), static_cast<std::size_t>(type.size()));
    return std::find(names.begin(), names.end(), t) != names.end();
}

// Kernel and container plumbing; squashfs is here for the loop-mounted images of snap
// packages, which come from /dev/loop devices but are not storage anybody browses.
constexpr std::array<std::string_view, 25> pseudoFileSystems { "autofs", "binfmt_misc", "bpf",
    "cgroup", "cgroup2", "configfs", "debugfs", "devpts", "devtmpfs", "efivarfs", "fusectl",
    "fuse.gvfsd-fuse", "fuse.portal", "hugetlbfs", "mqueue", "nsfs", "overlay", "proc", "pstore",
    "ramfs", "rpc_pipefs", "securityfs", "squashfs", "sysfs", "tracefs" };

// Storage whose "device" is not a /dev node.
constexpr std::array<std::string_view, 9> deviceLessStorage { "9p", "cifs", "fuse.sshfs", "nfs",
    "nfs4", "smb3", "smbfs", "virtiofs", "zfs" };

bool isUnderKernelTree(const QString &root)
{
    const QString dir = root + u'/';
    return dir.startsWith(QLatin1StringView("/proc/")) || dir.startsWith(QLatin1StringView("/sys/"))
        || dir.startsWith(QLatin1StringView("/dev/"));
}

bool isRealStorage(const MountedVolume &volume, const QString &root)
{
    if (isOneOf(volume.fileSystemType, pseudoFileSystems) || isUnderKernelTree(root))
        return false;
    return volume.device.startsWith("/dev/") || isOneOf(volume.fileSystemType, deviceLessStorage);
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
        if (root != rootDirectory && root != homeRoot && !isRealStorage(volume, root))
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
    std::sort(drives.begin(), drives.end(), [](const MountedVolume &a, const MountedVolume &b) {
        return naturalLess(a.rootPath, b.rootPath);
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
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("driveList"));
    setEditable(false);
    connect(this, &QComboBox::activated, this, &DriveListBox::onActivated);
    refresh();
}

QString DriveListBox::drive() const
{
    return currentData().toString();
}

void DriveListBox::setDrive(const QString &path)
{
    const int index = indexOfDriveHolding(path);
    if (index < 0 || index == m_currentIndex)
        return;
    setCurrentIndex(index);
    m_currentIndex = index;
    emit Change();
}

void DriveListBox::restoreDrive(const QString &path)
{
    const int index = indexOfDriveHolding(path);
    if (index < 0)
        return;
    setCurrentIndex(index);
    m_currentIndex = index;
}

void DriveListBox::refresh()
{
    // Before the first fill there is no selection to keep: start where the process is.
    const QString keep = m_currentIndex >= 0 ? drive() : QDir::currentPath();
    clear();
    const auto drives = selectDrives(browsableVolumes(), homeVolumeRoot());
    for (const MountedVolume &volume : drives)
        addItem(driveCaption(volume), volume.rootPath);
    m_currentIndex = -1;
    restoreDrive(keep);
}

int DriveListBox::indexOfDriveHolding(const QString &path) const
{
    QStringList roots;
    roots.reserve(count());
    for (int i = 0; i < count(); ++i)
        roots.push_back(itemData(i).toString());
    return static_cast<int>(indexOfRootHolding(roots, resolvedPath(path)));
}

void DriveListBox::onActivated(int index)
{
    if (index == m_currentIndex)
        return;
    m_currentIndex = index;
    emit Change();
}

} // namespace plaintrove::runtime
