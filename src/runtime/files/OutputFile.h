#pragma once

// A file written by atomic replacement, or standard output. Writes to a file go to a temporary
// file beside it; commit() puts it in the file's place once its data is on the disk. Destroying
// an uncommitted output removes the temporary file, whatever went wrong before, so a failed run
// never touches what was there. A device or a named pipe is written to directly, like standard
// output: it cannot be replaced. So is a path that names one of the process's descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N): through that descriptor, where it stands.
//
// Not QSaveFile: its commit always flushes its one file, so many outputs could not share one
// flush (commitTogether), and its temporary file has a name we could not clean up; nor can Qt
// spell a name that is not UTF-8. The path is bytes, as the system spells it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

struct stat;

namespace plaintrove::runtime {

class OutputFile
{
public:
    // Prepares the replacement of `path`; a symbolic link is followed, so its target is replaced,
    // or made when it does not exist yet.
    explicit OutputFile(std::filesystem::path path);
    // Taken as open: a closed one is held open on /dev/null at start-up, so writing it fails.
    static OutputFile standardOutput();

    OutputFile(OutputFile &&) = delete;
    OutputFile &operator=(OutputFile &&) = delete;
    ~OutputFile();

    bool isOpen() const { return m_fd >= 0; }
    // The descriptor written to: the temporary file, or the file written in place.
    int descriptor() const { return m_fd; }
    const std::filesystem::path &path() const { return m_path; }
    const std::string &errorString() const { return m_error; }
    // Whether a temporary file is written to replace the file; false when written directly.
    bool replaces() const { return !m_target.empty(); }

    // Writes all of `bytes`; false on a failure (see errorString()), which gives the output up.
    bool write(std::string_view bytes);
    // Replaces the file with what was written. False on a failure, after which the temporary
    // file is gone and the old file is unchanged.
    bool commit();

    // The temporary files of replacements: "<name>.plaintrove-" and six letters or digits.
    static constexpr std::string_view temporaryMark = ".plaintrove-";

private:
    friend void commitTogether(std::span<OutputFile *const> outputs);

    OutputFile(int fd, std::filesystem::path path);
    void openTemporary(const std::string &target, const struct stat *existing);
    void openDirectly();
    bool dataOnDisk();
    bool written();
    bool place();
    void startWriteBack(std::int64_t written);
    void close();
    void fail(int error);

    int m_fd = -1;
    bool m_ownsDescriptor = false;
    std::string m_target; // the file replaced; empty when written directly
    std::string m_temporary; // the temporary file's name; empty while it has none
    std::int64_t m_syncedUpTo = 0; // bytes of the temporary file already sent to the disk
    std::int64_t m_unsynced = 0;
    std::filesystem::path m_path;
    std::string m_error;
};

// Commits many outputs for the price of a few flushes, as databases commit groups of
// transactions. See OutputFile.cpp for the order it keeps. Afterwards each output either is in
// its place or has failed with its errorString() set and its old file untouched.
void commitTogether(std::span<OutputFile *const> outputs);

} // namespace plaintrove::runtime
