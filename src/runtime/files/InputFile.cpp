#include "InputFile.h"

#include "Interruption.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace plaintrove::runtime {

InputFile::InputFile(std::filesystem::path path)
    : m_path(std::move(path))
{
    do
        m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    while (m_fd < 0 && errno == EINTR && !interruption()); // a pipe waits for a writer
    if (m_fd < 0)
        m_error = std::generic_category().message(errno);
}

InputFile::InputFile(int fd, std::filesystem::path path)
    : m_fd(fd)
    , m_owned(false)
    , m_path(std::move(path))
{ }

InputFile InputFile::standardInput()
{
    return { STDIN_FILENO, "standard input" };
}

InputFile::~InputFile()
{
    if (m_fd >= 0 && m_owned)
        ::close(m_fd);
}

std::int64_t InputFile::read(std::span<char> buffer)
{
    ssize_t count = -1;
    do
        count = ::read(m_fd, buffer.data(), buffer.size());
    while (count < 0 && errno == EINTR && !interruption());
    if (count < 0)
        m_error = std::generic_category().message(errno);
    return count;
}

} // namespace plaintrove::runtime
