#pragma once

// What makes a file the same file whatever its path: device and inode. The conversion refuses to
// write over the file it reads, however the two are spelt, through symbolic and hard links.

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace plaintrove::runtime {

struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity &) const = default;
};

// The identity of the file `path` names (through links), or nothing when it names none.
std::optional<FileIdentity> fileIdentity(const std::filesystem::path &path);

// The identity of an open descriptor, or nothing when it is not open.
std::optional<FileIdentity> fileIdentity(int fd);

// Whether `fd` is a regular file: only those can be overwritten by writing to another name.
bool isRegularFile(int fd);

} // namespace plaintrove::runtime
