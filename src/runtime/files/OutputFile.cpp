#include "OutputFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace plaintrove::runtime {

namespace {

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : path.left(slash);
}

// The file a path finally names, through links; empty when it does not exist.
QByteArray resolvedPath(const QByteArray &nativePath)
{
    std::array<char, PATH_MAX> buffer = {};
    return ::realpath(nativePath.constData(), buffer.data()) ? QByteArray(buffer.data())
                                                             : QByteArray();
}

// QSaveFile replaces an existing file through a temporary name seven characters longer, which
// must fit in the directory; otherwise it fails late and without a reason.
bool leavesRoomForTemporaryName(const QByteArray &resolved)
{
    constexpr qsizetype suffix = 7;
    const long longest = ::pathconf(directoryOf(resolved).constData(), _PC_NAME_MAX);
    const qsizetype name = resolved.size() - resolved.lastIndexOf('/') - 1;
    return name + suffix <= (longest > 0 ? longest : NAME_MAX);
}

// QSaveFile keeps the permissions of the file it replaces but not its owner: run by root, it
// would hand a user's file to root. Anyone else can at most keep the group.
void keepOwner(int fd, uid_t owner, gid_t group)
{
    struct stat current = {};
    if (::fstat(fd, &current) != 0 || (current.st_uid == owner && current.st_gid == group))
        return;
    if (::fchown(fd, owner, group) != 0)
        static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), group));
}

// QSaveFile does not flush the directory, so a crash right after a successful run could take
// the new entry back. Failing here changes nothing that was promised: the data is on the disk.
void syncDirectoryOf(const QByteArray &path)
{
    const int fd = ::open(directoryOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

OutputFile::OutputFile(const QString &path)
    : m_path(path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status = {};
    const bool exists = ::stat(native.constData(), &status) == 0;
    if (!exists && errno != ENOENT) {
        // QSaveFile would replace a loop of links by a file.
        m_error = qt_error_string(errno);
        return;
    }
    if (exists && S_ISDIR(status.st_mode)) {
        // QSaveFile says so in words of its own; the system's are the ones used everywhere else.
        m_error = qt_error_string(EISDIR);
        return;
    }
    if (exists && !S_ISREG(status.st_mode)) {
        openDirectly(native); // QSaveFile would replace a device or a pipe by a file
        return;
    }
    if (exists && !leavesRoomForTemporaryName(resolvedPath(native))) {
        m_error = QCoreApplication::translate("plaintrove::runtime::OutputFile",
            "the file name is too long for the file to be replaced safely");
        return;
    }
    // Qt takes a path that starts with ':' for one of its resources.
    auto file = std::make_unique<QSaveFile>(
        path.startsWith(QLatin1Char(':')) ? QLatin1String("./") + path : path);
    // Writes come in large blocks already; QIODevice's buffer would only copy them once more.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_error = file->errorString();
        return;
    }
    if (exists)
        keepOwner(file->handle(), status.st_uid, status.st_gid);
    m_file = std::move(file);
}

void OutputFile::openDirectly(const QByteArray &nativePath)
{
    // Without a reader on a pipe, a blocking open would wait for one for ever.
    do
        m_fd = ::open(nativePath.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_error = qt_error_string(errno);
        return;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_ownsDescriptor = true;
}

OutputFile::OutputFile(int fd, QString path)
    : m_fd(fd)
    , m_path(std::move(path))
{ }

OutputFile OutputFile::standardOutput()
{
    return { STDOUT_FILENO,
        QCoreApplication::translate("plaintrove::runtime::OutputFile", "standard output") };
}

OutputFile::~OutputFile()
{
    if (m_ownsDescriptor)
        ::close(m_fd);
    // QSaveFile's destructor removes the temporary file of an uncommitted output.
}

int OutputFile::descriptor() const
{
    return m_file ? m_file->handle() : m_fd;
}

void OutputFile::fail(QString reason)
{
    m_error = std::move(reason);
    m_file.reset();
    if (m_ownsDescriptor)
        ::close(m_fd);
    m_fd = -1;
    m_ownsDescriptor = false;
}

bool OutputFile::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const auto size = static_cast<qint64>(bytes.size());
        qint64 written = -1;
        if (m_file) {
            written = m_file->write(bytes.data(), size);
            if (written < 0)
                m_error = m_file->errorString();
        } else {
            do
                written = ::write(m_fd, bytes.data(), bytes.size());
            while (written < 0 && errno == EINTR);
            if (written < 0)
                m_error = qt_error_string(errno);
        }
        if (written <= 0) {
            // A short write is followed by one more, which says why it stopped.
            fail(written == 0 ? qt_error_string(EIO) : m_error);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        if (m_file)
            startWriteBack(written);
    }
    return true;
}

// commit() waits until the whole file is on the disk; starting the writing of each few megabytes
// as they come keeps that wait short. Failures still surface at commit().
void OutputFile::startWriteBack(qint64 written)
{
    constexpr qint64 step = 8 * 1024 * 1024;
    m_unsynced += written;
    if (m_unsynced >= step) {
        ::sync_file_range(m_file->handle(), m_syncedUpTo, m_unsynced, SYNC_FILE_RANGE_WRITE);
        m_syncedUpTo += std::exchange(m_unsynced, 0);
    }
}

bool OutputFile::commit()
{
    if (!m_file) {
        // Nothing is buffered on our side; what the system accepted is out of our hands.
        const bool closed = m_fd >= 0 && (!m_ownsDescriptor || ::close(m_fd) == 0);
        if (!closed && m_error.isEmpty())
            m_error = qt_error_string(errno);
        m_fd = -1;
        m_ownsDescriptor = false;
        return closed;
    }
    // QSaveFile ignores the result of its flush to the disk, and would put a file the disk may
    // not hold in the old one's place. A file system that cannot flush at all says EINVAL.
    if (::fdatasync(m_file->handle()) != 0 && errno != EINVAL) {
        fail(qt_error_string(errno));
        return false;
    }
    if (!m_file->commit()) {
        fail(m_file->errorString());
        return false;
    }
    syncDirectoryOf(resolvedPath(QFile::encodeName(m_file->fileName())));
    m_file.reset();
    return true;
}

} // namespace plaintrove::runtime
