#pragma once

// The folders a batch writes into, made as `mkdir -p` would, but only when the first output in
// each is about to be written: an interrupted or failing run leaves no empty folder it made,
// the output directory itself included. What it remembers does not grow with the run: the
// folders it made that hold no output yet, and a few it found ready.

#include <mutex>
#include <set>
#include <string>
#include <system_error>

namespace plaintrove::cli {

class OutputFolders
{
public:
    OutputFolders() = default;
    OutputFolders(const OutputFolders &) = delete;
    OutputFolders &operator=(const OutputFolders &) = delete;
    // Removes again the folders it made that are still empty.
    ~OutputFolders();

    // Makes `folder` and the folders above it that are missing; why it cannot, if it cannot.
    // Safe from any thread.
    std::error_code make(const std::string &folder);
    // An output was put in `folder`: neither it nor a folder above it will be left empty.
    void filled(const std::string &folder);

private:
    std::error_code makeWithLock(const std::string &folder);

    std::mutex m_mutex;
    std::set<std::string> m_ready; // made, or found there: a cache of the last few
    std::set<std::string> m_made; // made, and no output put in yet; a folder sorts after its parent
};

} // namespace plaintrove::cli
