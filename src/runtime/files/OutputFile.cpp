#include "OutputFile.h"

#include "FileIdentity.h"
#include "Interruption.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

// The order of a replacement, alone or in a group:
//  1. the text goes to a temporary file in the output's directory: an unnamed one (O_TMPFILE)
//     where the file system has them, so that nothing is left if the run dies; else a named one;
//  2. its data is flushed to the disk: with fdatasync for one file; for a group, by one syncfs
//     for each file system, which writes every file of the group in one pass and flushes the
//     disk's cache once; then each file's own write errors are read without another flush;
//  3. only then is it linked (an unnamed file first gets a temporary name) and renamed over the
//     output, so a crash leaves either the old file or the whole new one;
//  4. the directory is flushed so that the new entry stays: with fsync for one file, for a group
//     by a second syncfs, for every directory at once.

namespace plaintrove::runtime {

namespace {

std::string directoryOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == 0 || slash == std::string::npos)
        return slash == 0 ? "/" : ".";
    return path.substr(0, slash);
}

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

// The descriptor of this process that `path` names as an entry of its descriptor folder
// (/proc/self/fd/N, /dev/fd/N); -1 for any other path.
int descriptorNamedBy(const std::string &path)
{
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    if (name.empty() || name.size() > 9
        || !std::ranges::all_of(name, [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    const auto folder = fileIdentity(directoryOf(path));
    const bool ours = folder
        && (folder == fileIdentity("/proc/self/fd")
            || folder == fileIdentity("/proc/thread-self/fd"));
    return ours ? std::stoi(std::string(name)) : -1;
}

// Where a chain of symbolic links leads: the file it finally names, whether or not it exists
// yet (a link to a file yet to be made is written through, as the shell's > does, rather than
// replaced by a file); or a descriptor of ours that a step names, as /dev/stdout does. That
// step is a link to the descriptor's file too, but opening the file anew would write it from
// its start, not where the descriptor stands.
struct Destination
{
    std::string path;
    int descriptor = -1;
    int error = 0;
};

Destination destinationOf(std::string path)
{
    std::array<char, PATH_MAX> target = {};
    for (int hops = 0; hops < 40; ++hops) { // the system's own limit; a loop fails before
        if (const int fd = descriptorNamedBy(path); fd >= 0)
            return { {}, fd };
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length == ssize_t(target.size()))
            return { {}, -1, ENAMETOOLONG }; // cut short: the rest would name another file
        if (length <= 0)
            break;
        std::string next(target.data(), std::size_t(length));
        path = next.starts_with('/') ? std::move(next) : directoryOf(path) + '/' + next;
    }
    return { path };
}

// "<name>.plaintrove-XXXXXX" beside `target`; a name too long for that is cut short.
std::string temporaryNameFor(const std::string &target)
{
    static constexpr char letters[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr std::size_t random = 6;
    constexpr auto mark = OutputFile::temporaryMark;
    const std::size_t name = target.rfind('/') + 1; // 0 without a slash
    std::string path = target.substr(0, name + NAME_MAX - mark.size() - random);
    path += mark;
    for (std::size_t i = 0; i < random; ++i)
        path += letters[::arc4random_uniform(sizeof letters - 1)];
    return path;
}

// Replacing must not hand a user's file to whoever runs the program (root, say); anyone else
// can at most keep the group.
void keepOwnerAndPermissions(int fd, const struct stat &old)
{
    struct stat current = {};
    if (::fstat(fd, &current) == 0 && (current.st_uid != old.st_uid || current.st_gid != old.st_gid)
        && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), old.st_gid));
    ::fchmod(fd, old.st_mode & 07777);
}

// Failing here changes nothing that was promised: the data is on the disk.
void syncDirectory(const std::string &directory)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

OutputFile::OutputFile(std::filesystem::path path)
    : m_path(std::move(path))
{
    const Destination destination = destinationOf(m_path.native());
    struct stat status = {};
    if (destination.error != 0) {
        m_error = errorText(destination.error);
    } else if (destination.descriptor >= 0) {
        // Written where the descriptor stands, appending if it appends, as `-` is.
        if (::fcntl(destination.descriptor, F_GETFD) == -1)
            m_error = errorText(errno);
        else
            m_fd = destination.descriptor;
    } else if (::stat(m_path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            openTemporary(destination.path, nullptr);
        else
            m_error = errorText(errno); // a loop of links, say
    } else if (S_ISDIR(status.st_mode)) {
        m_error = errorText(EISDIR);
    } else if (!S_ISREG(status.st_mode)) {
        openDirectly(); // a device or a pipe cannot be replaced by a file
    } else {
        openTemporary(destination.path, &status);
    }
}

void OutputFile::openTemporary(const std::string &target, const struct stat *existing)
{
    do
        m_fd = ::open(directoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    while (m_fd < 0 && errno == EINTR && !interruption());
    // Without unnamed files (NFS, CIFS, many FUSE mounts) a named one takes its place.
    for (int tries = 0; m_fd < 0
         && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == EEXIST
             || (errno == EINTR && !interruption()))
         && tries < 100;
         ++tries) {
        m_temporary = temporaryNameFor(target);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (m_fd < 0) {
        const int error = errno;
        m_error = errorText(error);
        m_temporary.clear();
        // Written in place, the file could be left half written by a failed run: say why not.
        if (existing && (error == EACCES || error == EPERM)
            && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0)
            m_error
                = "cannot be replaced safely: its folder cannot be written to (" + m_error + ")";
        return;
    }
    m_ownsDescriptor = true;
    m_target = target;
    if (existing)
        keepOwnerAndPermissions(m_fd, *existing);
}

void OutputFile::openDirectly()
{
    do // a named pipe waits for its reader, as an input pipe waits for its writer
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC);
    while (m_fd < 0 && errno == EINTR && !interruption());
    if (m_fd < 0) {
        m_error = errorText(errno);
        return;
    }
    m_ownsDescriptor = true;
}

OutputFile::OutputFile(int fd, std::filesystem::path path)
    : m_fd(fd)
    , m_path(std::move(path))
{ }

OutputFile OutputFile::standardOutput()
{
    return { STDOUT_FILENO, "standard output" };
}

OutputFile::~OutputFile()
{
    close();
}

void OutputFile::close()
{
    if (m_ownsDescriptor)
        ::close(m_fd);
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_fd = -1;
    m_ownsDescriptor = false;
    m_target.clear();
    m_temporary.clear();
}

void OutputFile::fail(int error)
{
    m_error = errorText(error);
    close();
}

bool OutputFile::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = -1;
        do
            written = ::write(m_fd, bytes.data(), bytes.size());
        while (written < 0 && errno == EINTR && !interruption());
        // A reader that left standard output (`| head`) ends the program quietly, by the signal,
        // as it ends cat and grep; a file or a named pipe that fails is reported.
        if (written < 0 && errno == EPIPE && m_fd == STDOUT_FILENO && !m_ownsDescriptor) {
            std::signal(SIGPIPE, SIG_DFL);
            std::raise(SIGPIPE);
        }
        if (written <= 0) {
            // A short write is followed by one more, which says why it stopped.
            fail(written == 0 ? EIO : errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
        if (replaces())
            startWriteBack(written);
    }
    return true;
}

// Flushing waits until the whole file is on the disk; starting the writing of each few
// megabytes as they come keeps that wait short. Failures still surface when it is flushed.
void OutputFile::startWriteBack(std::int64_t written)
{
    constexpr std::int64_t step = 8 * 1024 * 1024;
    m_unsynced += written;
    if (m_unsynced >= step) {
        ::sync_file_range(m_fd, m_syncedUpTo, m_unsynced, SYNC_FILE_RANGE_WRITE);
        m_syncedUpTo += std::exchange(m_unsynced, 0);
    }
}

// A file system that cannot flush at all says EINVAL.
bool OutputFile::dataOnDisk()
{
    if (::fdatasync(m_fd) == 0 || errno == EINVAL)
        return true;
    fail(errno);
    return false;
}

// After a syncfs: whether this file's data was written without an error. Waiting on its pages
// reports an error of this file alone, and, unlike fdatasync, does not flush the disk's cache
// once more for each file. EINVAL, as for dataOnDisk(): a file system that cannot flush.
bool OutputFile::written()
{
    constexpr unsigned int wait
        = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (::sync_file_range(m_fd, 0, 0, wait) == 0 || errno == EINVAL)
        return true;
    fail(errno);
    return false;
}

bool OutputFile::place()
{
    if (m_temporary.empty()) {
        // A new output is linked in place at once; a link cannot replace a file, so otherwise
        // the unnamed file gets a name first, then is renamed.
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            close();
            return true;
        }
        if (errno != EEXIST) {
            fail(errno);
            return false;
        }
        int linked = -1;
        for (int tries = 0; linked != 0 && tries < 100; ++tries) {
            m_temporary = temporaryNameFor(m_target);
            linked = ::linkat(
                AT_FDCWD, self.c_str(), AT_FDCWD, m_temporary.c_str(), AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno != EEXIST)
                break;
        }
        if (linked != 0) {
            m_temporary.clear();
            fail(errno);
            return false;
        }
    }
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        fail(errno);
        return false;
    }
    m_temporary.clear();
    close();
    return true;
}

bool OutputFile::commit()
{
    if (!replaces()) {
        // Nothing is buffered on our side; what the system accepted is out of our hands.
        const bool closed = m_fd >= 0 && (!m_ownsDescriptor || ::close(m_fd) == 0);
        if (!closed && m_error.empty())
            m_error = errorText(errno);
        m_fd = -1;
        m_ownsDescriptor = false;
        return closed;
    }
    const std::string directory = directoryOf(m_target);
    if (!dataOnDisk() || !place())
        return false;
    syncDirectory(directory);
    return true;
}

void commitTogether(std::span<OutputFile *const> outputs)
{
    std::map<dev_t, std::string> fileSystems; // each with a directory on it
    for (const OutputFile *output : outputs) {
        struct stat status = {};
        if (output->replaces() && ::fstat(output->m_fd, &status) == 0
            && fileSystems.try_emplace(status.st_dev, directoryOf(output->m_target)).second)
            ::syncfs(output->m_fd);
    }
    for (OutputFile *output : outputs) {
        if (!output->replaces())
            output->commit();
        else if (output->written())
            output->place();
    }
    // The new entries, in every directory at once.
    for (const auto &[device, directory] : fileSystems) {
        const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::syncfs(fd);
            ::close(fd);
        }
    }
}

} // namespace plaintrove::runtime
