#pragma once

// A drop-down of the mounted file systems ("drives"): "/" first, then the other mount points,
// each shown with its volume name where it has one. `Drive` is the selected drive's root path.

#include <QByteArray>
#include <QComboBox>
#include <QList>
#include <QString>
#include <QStringList>

namespace plaintrove::runtime {

// One mounted file system, as far as the drive list cares.
struct MountedVolume
{
    QString rootPath;
    QByteArray device;
    QByteArray fileSystemType;
    QString name;
};

// The volumes worth offering as drives: "/" first (always present), then real storage (block
// devices, network shares, the volume holding the home directory, whose root is `homeRoot`),
// sorted by path, without pseudo file systems or repeated roots.
QList<MountedVolume> selectDrives(const QList<MountedVolume> &volumes, const QString &homeRoot);

// The entry's text: the root path, then the volume name in brackets where there is one.
QString driveCaption(const MountedVolume &volume);

// The index of the longest root in `roots` that holds the absolute, clean `path`; -1 if none.
qsizetype indexOfRootHolding(const QStringList &roots, const QString &path);

class DriveListBox final : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString Drive READ drive NOTIFY Change)
public:
    // Starts on the drive that holds the process's current directory.
    explicit DriveListBox(QWidget *parent = nullptr);

    QString drive() const; // the root path of the selected drive, e.g. "/" or "/media/usb"
    // Selects the drive holding `path` without raising Change (to put the list back after a
    // drive turned out to be unreadable).
    void restoreDrive(const QString &path);

signals:
    void Change(); // the user picked another drive

private:
    int indexOfDriveHolding(const QString &path) const;
};

} // namespace plaintrove::runtime
