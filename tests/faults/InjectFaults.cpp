// Makes one chosen system call of a program fail, or makes the disk change under it, so that the
// tests can check what the program does when the file system lets it down. CI runs as root, where
// permission bits stop nothing; this library does not care who runs it.
//
// Loaded with LD_PRELOAD and told what to do by one environment variable:
//
//   PLAINTROVE_FAULT=CALL:N:EFFECT[:TEXT]
//
// The N-th call of kind CALL (counting from 1) whose file's path contains TEXT gets EFFECT.
//   CALL    open    an open for reading
//           create  an open that creates a file (O_CREAT or O_TMPFILE; its path is the directory)
//           read    a read from a file opened for reading
//           write   a write to a created file
//           sync    fdatasync or fsync of a created file
//           link    linkat, naming the link's path
//           rename  rename, renameat or renameat2, naming the new path
//   EFFECT  an errno name (EIO, ENOSPC, ...): the call fails with it and does nothing
//           grow    read: text is appended to the file first
//           shrink  read: the file is cut at the current offset first
//           vanish  write: the created file's directory is renamed to "<directory>.gone" first
// Every other call goes through untouched.
//
// PLAINTROVE_FAULT_NO_TMPFILE=1 also refuses every O_TMPFILE open with EOPNOTSUPP, as file
// systems without unnamed temporary files do, so that writers fall back to named ones.

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace {

enum class Call { None, Open, Create, Read, Write, Sync, Link, Rename };
enum class Effect { Fail, Grow, Shrink, Vanish };

struct Fault
{
    Call call = Call::None;
    long nth = 0;
    Effect effect = Effect::Fail;
    int error = 0;
    std::array<char, 256> text = {};
};

// What the library knows of each descriptor it saw opened with a matching path.
enum class Tracked : char { No, Reading, Created };
constexpr int trackedDescriptors = 256;
std::array<Tracked, trackedDescriptors> tracked = {};
std::array<std::array<char, PATH_MAX>, trackedDescriptors> trackedPaths = {};

std::atomic<long> matchingCalls { 0 };

int errorNamed(std::string_view name)
{
    constexpr std::pair<std::string_view, int> errors[] = { { "EIO", EIO }, { "ENOSPC", ENOSPC },
        { "EACCES", EACCES }, { "EROFS", EROFS }, { "EDQUOT", EDQUOT }, { "ENOENT", ENOENT },
        { "EXDEV", EXDEV }, { "EFBIG", EFBIG }, { "EPERM", EPERM }, { "EINVAL", EINVAL },
        { "EOPNOTSUPP", EOPNOTSUPP }, { "EINTR", EINTR } };
    for (const auto &[known, value] : errors) {
        if (known == name)
            return value;
    }
    return 0;
}

Call callNamed(std::string_view name)
{
    constexpr std::pair<std::string_view, Call> calls[] = { { "open", Call::Open },
        { "create", Call::Create }, { "read", Call::Read }, { "write", Call::Write },
        { "sync", Call::Sync }, { "link", Call::Link }, { "rename", Call::Rename } };
    for (const auto &[known, value] : calls) {
        if (known == name)
            return value;
    }
    return Call::None;
}

// A fault that cannot be understood stops the program at once: a test that injects nothing would
// pass for the wrong reason.
[[noreturn]] void refuse(const char *setting)
{
    std::fprintf(stderr, "InjectFaults: cannot understand PLAINTROVE_FAULT=%s\n", setting);
    std::_Exit(125);
}

Fault readFault()
{
    Fault fault;
    const char *setting = std::getenv("PLAINTROVE_FAULT");
    if (!setting || !*setting)
        return fault;
    std::array<std::string_view, 4> fields = {};
    std::string_view rest(setting);
    for (std::size_t i = 0; i < fields.size() && !rest.empty(); ++i) {
        const std::size_t colon = i + 1 < fields.size() ? rest.find(':') : std::string_view::npos;
        fields[i] = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    fault.call = callNamed(fields[0]);
    const std::string nth(fields[1]);
    char *end = nullptr;
    fault.nth = std::strtol(nth.c_str(), &end, 10);
    if (nth.empty() || *end != '\0')
        refuse(setting);
    if (fields[2] == "grow")
        fault.effect = Effect::Grow;
    else if (fields[2] == "shrink")
        fault.effect = Effect::Shrink;
    else if (fields[2] == "vanish")
        fault.effect = Effect::Vanish;
    else
        fault.error = errorNamed(fields[2]);
    // Each change of the disk belongs to one kind of call; anywhere else it would do nothing.
    const bool effectFitsCall = fault.effect == Effect::Fail
        ? fault.error != 0
        : fault.call == (fault.effect == Effect::Vanish ? Call::Write : Call::Read);
    if (fault.call == Call::None || fault.nth < 1 || !effectFitsCall
        || fields[3].size() >= fault.text.size())
        refuse(setting);
    fields[3].copy(fault.text.data(), fields[3].size());
    return fault;
}

const Fault &fault()
{
    static const Fault configured = readFault();
    return configured;
}

bool pathMatches(const char *path)
{
    return path && std::strstr(path, fault().text.data()) != nullptr;
}

// Counts a call of kind `call`; true when it is the one to hit.
bool strikes(Call call)
{
    return fault().call == call && matchingCalls.fetch_add(1) + 1 == fault().nth;
}

Tracked trackedAs(int fd)
{
    return fd >= 0 && fd < trackedDescriptors ? tracked[static_cast<std::size_t>(fd)] : Tracked::No;
}

const char *trackedPath(int fd)
{
    return trackedPaths[static_cast<std::size_t>(fd)].data();
}

template <typename Function> Function *next(const char *name)
{
    return reinterpret_cast<Function *>(::dlsym(RTLD_NEXT, name));
}

// A directory or a bare path reference is not an input anyone reads bytes from.
bool readsFile(int flags)
{
    return (flags & O_ACCMODE) == O_RDONLY && (flags & (O_PATH | O_DIRECTORY)) == 0;
}

bool creates(int flags)
{
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

bool refusesUnnamedFiles()
{
    static const bool refuses = [] {
        const char *setting = std::getenv("PLAINTROVE_FAULT_NO_TMPFILE");
        return setting && std::string_view(setting) == "1";
    }();
    return refuses;
}

// Decides an open before it happens: -1 with errno set when it is to fail.
int beforeOpen(const char *path, int flags)
{
    if ((flags & O_TMPFILE) == O_TMPFILE && refusesUnnamedFiles()) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (!pathMatches(path))
        return 0;
    const Call call = creates(flags) ? Call::Create : readsFile(flags) ? Call::Open : Call::None;
    if (call != Call::None && fault().effect == Effect::Fail && strikes(call)) {
        errno = fault().error;
        return -1;
    }
    return 0;
}

int afterOpen(int fd, const char *path, int flags)
{
    if (fd >= 0 && fd < trackedDescriptors && pathMatches(path)) {
        const auto index = static_cast<std::size_t>(fd);
        tracked[index] = creates(flags) ? Tracked::Created
            : readsFile(flags)          ? Tracked::Reading
                                        : Tracked::No;
        std::snprintf(trackedPaths[index].data(), PATH_MAX, "%s", path);
    }
    return fd;
}

// An open as the program asked for it, failed or tracked as the fault says. `invoke` makes the
// real call, given the next function called `name`.
template <typename Function, typename Invoke>
int interposedOpen(const char *path, int flags, const char *name, Invoke &&invoke)
{
    if (beforeOpen(path, flags) < 0)
        return -1;
    return afterOpen(invoke(next<Function>(name)), path, flags);
}

int interposedSync(int fd, const char *name)
{
    if (trackedAs(fd) == Tracked::Created && strikes(Call::Sync)) {
        errno = fault().error;
        return -1;
    }
    return next<int(int)>(name)(fd);
}

mode_t modeArgument(int flags, va_list arguments)
{
    return creates(flags) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

void grow(const char *path)
{
    const int fd = next<int(const char *, int, ...)>("open")(path, O_WRONLY | O_APPEND);
    static constexpr char appended[] = "<p>appended while it was read</p>\n";
    if (fd >= 0) {
        const ssize_t written
            = next<ssize_t(int, const void *, size_t)>("write")(fd, appended, sizeof appended - 1);
        (void)written;
        ::close(fd);
    }
}

void vanish(const char *createdPath, bool isDirectory)
{
    std::array<char, PATH_MAX> directory = {};
    std::snprintf(directory.data(), directory.size(), "%s", createdPath);
    if (!isDirectory) {
        if (char *slash = std::strrchr(directory.data(), '/'))
            *slash = '\0';
    }
    std::array<char, PATH_MAX + 8> gone = {};
    std::snprintf(gone.data(), gone.size(), "%s.gone", directory.data());
    next<int(const char *, const char *)>("rename")(directory.data(), gone.data());
}

template <typename Real, typename... Arguments>
int failOrCall(Call call, const char *path, Real *real, Arguments... arguments)
{
    if (pathMatches(path) && strikes(call)) {
        errno = fault().error;
        return -1;
    }
    return real(arguments...);
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return interposedOpen<int(const char *, int, ...)>(
        path, flags, "open", [&](auto *real) { return real(path, flags, mode); });
}

int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return interposedOpen<int(const char *, int, ...)>(
        path, flags, "open64", [&](auto *real) { return real(path, flags, mode); });
}

int openat(int directory, const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    return interposedOpen<int(int, const char *, int, ...)>(
        path, flags, "openat", [&](auto *real) { return real(directory, path, flags, mode); });
}

int close(int fd)
{
    if (fd >= 0 && fd < trackedDescriptors)
        tracked[static_cast<std::size_t>(fd)] = Tracked::No;
    return next<int(int)>("close")(fd);
}

ssize_t read(int fd, void *buffer, size_t size)
{
    if (trackedAs(fd) == Tracked::Reading && strikes(Call::Read)) {
        switch (fault().effect) {
        case Effect::Fail:
            errno = fault().error;
            return -1;
        case Effect::Grow:
            grow(trackedPath(fd));
            break;
        case Effect::Shrink:
            if (::truncate(trackedPath(fd), ::lseek(fd, 0, SEEK_CUR)) != 0)
                std::_Exit(126);
            break;
        case Effect::Vanish:
            break;
        }
    }
    return next<ssize_t(int, void *, size_t)>("read")(fd, buffer, size);
}

ssize_t write(int fd, const void *buffer, size_t size)
{
    if (trackedAs(fd) == Tracked::Created && strikes(Call::Write)) {
        if (fault().effect == Effect::Fail) {
            errno = fault().error;
            return -1;
        }
        if (fault().effect == Effect::Vanish) {
            const int flags = ::fcntl(fd, F_GETFL);
            vanish(trackedPath(fd), flags != -1 && (flags & O_TMPFILE) == O_TMPFILE);
        }
    }
    return next<ssize_t(int, const void *, size_t)>("write")(fd, buffer, size);
}

int fdatasync(int fd)
{
    return interposedSync(fd, "fdatasync");
}

int fsync(int fd)
{
    return interposedSync(fd, "fsync");
}

int linkat(int fromDirectory, const char *from, int toDirectory, const char *to, int flags)
{
    return failOrCall(Call::Link, to,
        next<int(int, const char *, int, const char *, int)>("linkat"), fromDirectory, from,
        toDirectory, to, flags);
}

int rename(const char *from, const char *to)
{
    return failOrCall(Call::Rename, to, next<int(const char *, const char *)>("rename"), from, to);
}

int renameat(int fromDirectory, const char *from, int toDirectory, const char *to)
{
    return failOrCall(Call::Rename, to, next<int(int, const char *, int, const char *)>("renameat"),
        fromDirectory, from, toDirectory, to);
}

int renameat2(int fromDirectory, const char *from, int toDirectory, const char *to, unsigned flags)
{
    return failOrCall(Call::Rename, to,
        next<int(int, const char *, int, const char *, unsigned)>("renameat2"), fromDirectory, from,
        toDirectory, to, flags);
}

} // extern "C"
