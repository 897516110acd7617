#include "Files.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace plaintrove::runtime {

namespace {

QString systemText(int error)
{
    return qt_error_string(error);
}

QString translated(const char *text)
{
    return QCoreApplication::translate("plaintrove::runtime::Files", text);
}

// The bytes the kernel wants for a path. A NUL inside the name would silently cut it short.
std::optional<QByteArray> nativePath(const QString &path)
{
    QByteArray native = QFile::encodeName(path);
    if (native.contains('\0'))
        return std::nullopt;
    return native;
}

std::optional<struct stat> statusOfPath(const QString &path)
{
    const auto native = nativePath(path);
    struct stat status = {};
    if (!native || native->isEmpty() || ::stat(native->constData(), &status) != 0)
        return std::nullopt;
    return status;
}

std::optional<struct stat> statusOfDescriptor(int fd)
{
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        return std::nullopt;
    return status;
}

bool sameIdentity(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool descriptorIsValid(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

// The file a path finally names, through links; empty when it does not exist.
QByteArray resolvedPath(const QByteArray &nativePath)
{
    std::array<char, PATH_MAX> buffer = {};
    if (!::realpath(nativePath.constData(), buffer.data()))
        return {};
    return QByteArray(buffer.data());
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : path.left(slash);
}

// QSaveFile replaces an existing file through a temporary name: the file's own name plus seven
// characters, which must fit in the directory.
bool leavesRoomForTemporaryName(const QByteArray &resolved)
{
    constexpr qsizetype suffix = 7;
    const long longest = ::pathconf(directoryOf(resolved).constData(), _PC_NAME_MAX);
    const qsizetype name = resolved.size() - resolved.lastIndexOf('/') - 1;
    return name + suffix <= (longest > 0 ? longest : NAME_MAX);
}

// Where the open file `fd` is now, as the system sees it; empty when it has no name.
QByteArray currentPathOf(int fd)
{
    std::array<char, PATH_MAX> buffer = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(link.constData(), buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return {};
    const QByteArray path(buffer.data(), length);
    return path.endsWith(" (deleted)") ? QByteArray() : path;
}

// QSaveFile keeps the permissions of the file it replaces but not its owner: run by root, it
// would hand a user's file to root, and with it, perhaps, the user's access to it. Anyone else
// can only give the file the group, if at all; then it is theirs, as with any editor.
void keepOwner(int fd, uid_t owner, gid_t group)
{
    const auto current = statusOfDescriptor(fd);
    if (!current || (current->st_uid == owner && current->st_gid == group))
        return;
    if (::fchown(fd, owner, group) != 0)
        static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), group));
}

// The new directory entry reaches the disk too, so that a crash right after a successful run
// cannot take the output back. Failing here changes nothing that was promised: the data is safe
// and the replacement has happened.
void syncDirectoryOf(const QByteArray &path)
{
    const int fd = ::open(directoryOf(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// ---- InputFile

InputFile::InputFile(const QString &path)
    : m_path(path)
{
    const auto native = nativePath(path);
    if (!native) {
        m_error = systemText(EINVAL);
        return;
    }
    int fd = -1;
    do
        fd = ::open(native->constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = systemText(errno);
        return;
    }
    // Reading a directory fails only at the first read on some systems and not at all on
    // others; refuse it while the reason can still be told plainly.
    const auto status = statusOfDescriptor(fd);
    if (!status || S_ISDIR(status->st_mode)) {
        m_error = systemText(status ? EISDIR : errno);
        ::close(fd);
        return;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_fd = fd;
}

InputFile::InputFile(StandardInputTag)
    : m_standard(true)
    , m_path(translated("standard input"))
{
    if (descriptorIsValid(STDIN_FILENO))
        m_fd = STDIN_FILENO;
    else
        m_error = systemText(errno);
}

InputFile InputFile::standardInput()
{
    return InputFile(StandardInputTag {});
}

InputFile::InputFile(InputFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_standard(other.m_standard)
    , m_path(std::move(other.m_path))
    , m_error(std::move(other.m_error))
{ }

InputFile &InputFile::operator=(InputFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_standard = other.m_standard;
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

InputFile::~InputFile()
{
    close();
}

void InputFile::close() noexcept
{
    if (m_fd >= 0 && !m_standard)
        ::close(m_fd);
    m_fd = -1;
}

qint64 InputFile::read(std::span<char> buffer)
{
    if (m_fd < 0) {
        if (m_error.isEmpty())
            m_error = systemText(EBADF);
        return -1;
    }
    ssize_t count = -1;
    do
        count = ::read(m_fd, buffer.data(), buffer.size());
    while (count < 0 && errno == EINTR);
    if (count < 0) {
        m_error = systemText(errno);
        return -1;
    }
    return count;
}

// ---- OutputFile

OutputFile::OutputFile(const QString &path)
    : m_path(path)
{
    const auto native = nativePath(path);
    if (!native || path.isEmpty()) {
        m_error = systemText(path.isEmpty() ? ENOENT : EINVAL);
        return;
    }
    struct stat status = {};
    const bool exists = ::stat(native->constData(), &status) == 0;
    if (!exists) {
        // A missing file is simply created; a loop of links would be replaced by a file.
        if (errno != ENOENT) {
            m_error = systemText(errno);
            return;
        }
    } else if (S_ISDIR(status.st_mode)) {
        // QSaveFile would say so in its own words; the system's are the ones used elsewhere.
        m_error = systemText(EISDIR);
        return;
    } else if (!S_ISREG(status.st_mode)) {
        // A device or a pipe is written to as it is: replacing it with a file would destroy it.
        openDirectly(*native);
        return;
    } else if (!leavesRoomForTemporaryName(resolvedPath(*native))) {
        m_error = translated("the file name is too long for the file to be replaced safely");
        return;
    }
    // Qt takes a path that starts with ':' for one of its resources, and would replace a link
    // or drop the permissions of such a file instead of keeping them.
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
    // Without a reader on a pipe, the open would wait for one for ever.
    int fd = -1;
    do
        fd = ::open(nativePath.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = systemText(errno);
        return;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_fd = fd;
    m_ownsDescriptor = true;
}

OutputFile::OutputFile(StandardOutputTag)
    : m_standard(true)
    , m_path(translated("standard output"))
{
    if (descriptorIsValid(STDOUT_FILENO))
        m_fd = STDOUT_FILENO;
    else
        m_error = systemText(errno);
}

OutputFile OutputFile::standardOutput()
{
    return OutputFile(StandardOutputTag {});
}

OutputFile::OutputFile(OutputFile &&other) noexcept
    : m_file(std::move(other.m_file))
    , m_fd(std::exchange(other.m_fd, -1))
    , m_ownsDescriptor(std::exchange(other.m_ownsDescriptor, false))
    , m_standard(other.m_standard)
    , m_syncedUpTo(other.m_syncedUpTo)
    , m_unsynced(other.m_unsynced)
    , m_path(std::move(other.m_path))
    , m_error(std::move(other.m_error))
{ }

OutputFile &OutputFile::operator=(OutputFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_file = std::move(other.m_file);
        m_fd = std::exchange(other.m_fd, -1);
        m_ownsDescriptor = std::exchange(other.m_ownsDescriptor, false);
        m_standard = other.m_standard;
        m_syncedUpTo = other.m_syncedUpTo;
        m_unsynced = other.m_unsynced;
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

// QSaveFile's destructor removes the temporary file of an uncommitted output.
OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::isOpen() const
{
    return m_file != nullptr || m_fd >= 0;
}

bool OutputFile::write(std::string_view bytes)
{
    if (!isOpen()) {
        if (m_error.isEmpty())
            m_error = systemText(EBADF);
        return false;
    }
    while (!bytes.empty()) {
        qint64 written = -1;
        if (m_fd >= 0) {
            do
                written = ::write(m_fd, bytes.data(), bytes.size());
            while (written < 0 && errno == EINTR);
            if (written < 0)
                m_error = systemText(errno);
        } else {
            written = m_file->write(bytes.data(), static_cast<qint64>(bytes.size()));
            if (written < 0)
                m_error = m_file->errorString();
            else
                startWriteBack(written);
        }
        if (written <= 0) {
            if (written == 0)
                m_error = systemText(EIO);
            discard();
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// commit() waits until the whole file is on the disk. Asking the system to start writing each
// few megabytes as they come lets that happen while the rest is still being converted, so the
// final wait is short. It only starts the writing: failures still surface at commit().
void OutputFile::startWriteBack(qint64 written)
{
    constexpr qint64 step = 8 * 1024 * 1024;
    m_unsynced += written;
    if (m_unsynced < step)
        return;
#if defined(__linux__)
    ::sync_file_range(m_file->handle(), m_syncedUpTo, m_unsynced, SYNC_FILE_RANGE_WRITE);
#endif
    m_syncedUpTo += m_unsynced;
    m_unsynced = 0;
}

bool OutputFile::commit()
{
    if (!isOpen()) {
        if (m_error.isEmpty())
            m_error = systemText(EBADF);
        return false;
    }
    if (m_fd >= 0) {
        // Nothing is buffered on our side; what the system accepted is out of its hands.
        const bool closed = !m_ownsDescriptor || ::close(m_fd) == 0;
        if (!closed)
            m_error = systemText(errno);
        m_fd = -1;
        m_ownsDescriptor = false;
        return closed;
    }
    // QSaveFile ignores a failed flush, and would then put a file the disk may not hold in the
    // old one's place. A file system that cannot flush at all says EINVAL.
    if (!m_file->flush()) {
        m_error = m_file->errorString();
        discard();
        return false;
    }
    if (::fdatasync(m_file->handle()) != 0 && errno != EINVAL) {
        m_error = systemText(errno);
        discard();
        return false;
    }
    const int fd = m_file->handle();
    const QByteArray temporaryPath = currentPathOf(fd);
    const auto temporary = statusOfDescriptor(fd);
    const bool committed = m_file->commit();
    if (!committed) {
        m_error = m_file->errorString();
        // QSaveFile removes its temporary file by the name it gave it, which is wrong once the
        // directory was moved during the run; the system knows where it went.
        struct stat left = {};
        if (!temporaryPath.isEmpty() && temporary && ::lstat(temporaryPath.constData(), &left) == 0
            && sameIdentity(left, *temporary))
            ::unlink(temporaryPath.constData());
    } else {
        syncDirectoryOf(resolvedPath(QFile::encodeName(m_file->fileName())));
    }
    m_file.reset();
    return committed;
}

void OutputFile::discard() noexcept
{
    m_file.reset();
    if (m_ownsDescriptor)
        ::close(m_fd);
    m_fd = -1;
    m_ownsDescriptor = false;
}

// ---- Identity

bool isSameFile(const InputFile &input, const QString &outputPath)
{
    const auto in = statusOfDescriptor(input.m_fd);
    const auto out = statusOfPath(outputPath);
    return in && out && sameIdentity(*in, *out);
}

std::optional<FileIdentity> fileIdentity(const QString &path)
{
    const auto status = statusOfPath(path);
    if (!status)
        return std::nullopt;
    return FileIdentity { static_cast<std::uint64_t>(status->st_dev),
        static_cast<std::uint64_t>(status->st_ino) };
}

bool isStandardOutputSameFile(const InputFile &input)
{
    // Only a regular file can be destroyed this way; a terminal is both stdin and stdout.
    const auto in = statusOfDescriptor(input.m_fd);
    const auto out = statusOfDescriptor(STDOUT_FILENO);
    return in && out && S_ISREG(in->st_mode) && sameIdentity(*in, *out);
}

void reportFailedWritesAsErrors()
{
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

void holdClosedStandardStreams()
{
    for (const int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO }) {
        if (descriptorIsValid(fd))
            continue;
        // open() takes the lowest free number, which is this one.
        const int placeholder
            = ::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
        if (placeholder >= 0 && placeholder != fd) {
            ::dup2(placeholder, fd);
            ::close(placeholder);
        }
    }
}

} // namespace plaintrove::runtime
