#pragma once

// A file opened for reading, or standard input, read straight from its descriptor: a read
// returns what is there, so that a pipe streams instead of waiting for a whole block. Closed by
// the destructor (standard input is left open). A failed open leaves an object whose
// errorString() says why. The path is bytes, as the system spells it: any name can be opened.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace plaintrove::runtime {

class InputFile
{
public:
    explicit InputFile(std::filesystem::path path);
    // Taken as open: a closed one is held open on /dev/null at start-up, so reading it fails.
    static InputFile standardInput();

    InputFile(InputFile &&) = delete;
    InputFile &operator=(InputFile &&) = delete;
    ~InputFile();

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // The path as given, or a description of standard input; what messages name.
    const std::filesystem::path &path() const { return m_path; }
    // The system's text for the last failure.
    const std::string &errorString() const { return m_error; }

    // Reads up to buffer.size() bytes into the front of `buffer`. Returns the number read, 0 at
    // the end of the input, or -1 on a failure (see errorString()).
    std::int64_t read(std::span<char> buffer);

private:
    InputFile(int fd, std::filesystem::path path);

    int m_fd = -1;
    bool m_owned = true;
    std::filesystem::path m_path;
    std::string m_error;
};

} // namespace plaintrove::runtime
