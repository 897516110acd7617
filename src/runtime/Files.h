#pragma once

// Reading inputs and writing outputs for the conversion. An input is read straight from its file
// descriptor in large blocks; an output file is written to a temporary file beside it and only
// replaces the real one on commit(), so a failed run never touches what was there before. Every
// operating-system call of the program lives in Files.cpp.

#include <QString>
#include <QtGlobal>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

class QSaveFile;

namespace plaintrove::runtime {

// A file opened for reading, or standard input. Closed by the destructor (standard input is
// left open). A failed open leaves an object whose errorString() says why.
class InputFile
{
public:
    // Opens `path` for reading. A directory is refused here rather than at the first read.
    explicit InputFile(const QString &path);
    static InputFile standardInput();

    InputFile(InputFile &&other) noexcept;
    InputFile &operator=(InputFile &&other) noexcept;
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
    ~InputFile();

    bool isOpen() const { return m_fd >= 0; }
    bool isStandardInput() const { return m_standard; }
    // The path as given, or a description of standard input; what messages name.
    const QString &path() const { return m_path; }
    // The system's text for the last failure.
    const QString &errorString() const { return m_error; }

    // Reads up to buffer.size() bytes into the front of `buffer`. Returns the number read, 0 at
    // the end of the input, or -1 on a failure (see errorString()).
    qint64 read(std::span<char> buffer);

private:
    struct StandardInputTag
    {
    };
    explicit InputFile(StandardInputTag);
    void close() noexcept;

    int m_fd = -1;
    bool m_standard = false;
    QString m_path;
    QString m_error;

    friend bool isSameFile(const InputFile &input, const QString &outputPath);
    friend bool isStandardOutputSameFile(const InputFile &input);
};

// A file written by atomic replacement, or standard output. Writes to a file go to a temporary
// file beside it; commit() puts it in the file's place, keeping an existing file's permissions.
// Destroying an uncommitted file removes the temporary file, whatever went wrong before. A device
// or a named pipe is written to directly, like standard output: it cannot be replaced.
class OutputFile
{
public:
    // Prepares the replacement of `path` (a symbolic link is followed, so its target is replaced;
    // a loop of links is refused).
    explicit OutputFile(const QString &path);
    static OutputFile standardOutput();

    OutputFile(OutputFile &&other) noexcept;
    OutputFile &operator=(OutputFile &&other) noexcept;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile();

    bool isOpen() const;
    bool isStandardOutput() const { return m_standard; }
    const QString &path() const { return m_path; }
    const QString &errorString() const { return m_error; }

    // Writes all of `bytes`; false on a failure (see errorString()).
    bool write(std::string_view bytes);
    // Replaces the file with what was written. False on a failure, after which the temporary
    // file is gone and the old file is unchanged.
    bool commit();
    // Gives up an uncommitted output now rather than at destruction: the temporary file is removed
    // and the old file stays as it was.
    void discard() noexcept;

private:
    struct StandardOutputTag
    {
    };
    explicit OutputFile(StandardOutputTag);
    void openDirectly(const QByteArray &nativePath);
    void startWriteBack(qint64 written);

    std::unique_ptr<QSaveFile> m_file; // null when written directly, and once finished
    int m_fd = -1; // the descriptor written directly (standard output, a device, a pipe)
    bool m_ownsDescriptor = false;
    bool m_standard = false;
    qint64 m_syncedUpTo = 0; // bytes of the temporary file already sent on their way to the disk
    qint64 m_unsynced = 0;
    QString m_path;
    QString m_error;
};

// Whether `outputPath` names the file `input` reads from: the same device and inode, whatever
// the spelling of the path, through symbolic and hard links. A path that does not exist names
// no file, so it is never the same.
bool isSameFile(const InputFile &input, const QString &outputPath);

// What makes a file the same file, whatever its path: device and inode.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity &) const = default;
};

// The identity of the file `path` names (through links), or nothing when it names none.
std::optional<FileIdentity> fileIdentity(const QString &path);

// Whether standard output is the regular file that `input` reads from (as in `x < f >> f`).
bool isStandardOutputSameFile(const InputFile &input);

// Makes a write to a pipe whose reader is gone fail with "Broken pipe", and a write past the
// file-size limit fail with "File too large", instead of ending the process by a signal before
// it can say what happened. Call once at start-up, before anything is written.
void reportFailedWritesAsErrors();

// Occupies standard input, output and error where they are closed, so that no file the program
// opens later takes their numbers and gets written to as standard output. Standard input is held
// open for writing and the other two for reading: using them still fails, with "Bad file
// descriptor", as it would have. Call once at start-up.
void holdClosedStandardStreams();

} // namespace plaintrove::runtime
