#include "InputFile.h"

#include "Interruption.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace plaintrove::runtime {

InputFile::InputFile(const QString &path)
    : m_path(path)
{
    do
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    while (m_fd < 0 && errno == EINTR && !interruption()); // a pipe waits for a writer
    if (m_fd < 0)
        m_error = qt_error_string(errno);
}

InputFile::InputFile(int fd, QString path)
    : m_fd(fd)
    , m_owned(false)
    , m_path(std::move(path))
{ }

InputFile InputFile::standardInput()
{
    return { STDIN_FILENO,
        QCoreApplication::translate("plaintrove::runtime::InputFile", "standard input") };
}

InputFile::~InputFile()
{
    if (m_fd >= 0 && m_owned)
        ::close(m_fd);
}

qint64 InputFile::read(std::span<char> buffer)
{
    ssize_t count = -1;
    do
        count = ::read(m_fd, buffer.data(), buffer.size());
    while (count < 0 && errno == EINTR && !interruption());
    if (count < 0)
        m_error = qt_error_string(errno);
    return count;
}

} // namespace plaintrove::runtime
