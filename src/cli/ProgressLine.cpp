#include "ProgressLine.h"

#include <array>
#include <cstdio>
#include <unistd.h>

namespace plaintrove::cli {

ProgressLine::ProgressLine()
    : m_enabled(::isatty(STDERR_FILENO) == 1)
{ }

ProgressLine::~ProgressLine()
{
    if (!m_enabled || m_done == 0)
        return;
    draw();
    std::fputc('\n', stderr);
}

void ProgressLine::fileDone(std::int64_t bytes)
{
    ++m_done;
    m_bytes += bytes;
    // A terminal redrawn more than ten times a second would only cost time.
    if (m_enabled && Clock::now() - m_drawn >= std::chrono::milliseconds(100))
        draw();
}

void ProgressLine::clear()
{
    if (m_shown)
        std::fputs("\r\033[K", stderr);
    m_shown = false;
}

void ProgressLine::draw()
{
    m_drawn = Clock::now();
    const double seconds = std::chrono::duration<double>(m_drawn - m_start).count();
    const double rate = seconds > 0 ? double(m_bytes) / 1e6 / seconds : 0.0;
    std::array<char, 128> line;
    const int length = m_total
        ? std::snprintf(line.data(), line.size(), "\r\033[K%llu of %llu files, %.1f MB/s, %.1f s",
            static_cast<unsigned long long>(m_done), static_cast<unsigned long long>(*m_total),
            rate, seconds)
        : std::snprintf(line.data(), line.size(), "\r\033[K%llu files, %.1f MB/s, %.1f s",
            static_cast<unsigned long long>(m_done), rate, seconds);
    std::fwrite(line.data(), 1, std::min(std::size_t(length), line.size() - 1), stderr);
    m_shown = true;
}

} // namespace plaintrove::cli
