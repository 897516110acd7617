#include "ProgressLine.h"

#include "Reporting.h"

#include <cstdio>
#include <unistd.h>

namespace plaintrove::cli {

ProgressLine::ProgressLine(qsizetype total)
    : m_enabled(::isatty(STDERR_FILENO) == 1)
    , m_total(total)
{ }

ProgressLine::~ProgressLine()
{
    if (!m_enabled || m_done == 0)
        return;
    draw();
    std::fputc('\n', stderr);
}

void ProgressLine::fileDone(qint64 bytes)
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
    const QString line = tr("%1 of %2 files, %3 MB/s, %4 s")
                             .arg(m_done)
                             .arg(m_total)
                             .arg(seconds > 0 ? double(m_bytes) / 1e6 / seconds : 0.0, 0, 'f', 1)
                             .arg(seconds, 0, 'f', 1);
    const QByteArray text = "\r\033[K" + line.toLocal8Bit();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stderr);
    m_shown = true;
}

} // namespace plaintrove::cli
