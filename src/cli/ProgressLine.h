#pragma once

// The line a batch keeps up to date on a terminal: files done of the total, the speed, the time
// taken. Nothing at all when standard error is not a terminal, so scripts and logs stay clean.

#include <QtGlobal>
#include <chrono>

namespace plaintrove::cli {

class ProgressLine
{
public:
    explicit ProgressLine(qsizetype total);
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;
    // Leaves the last figures on their own line.
    ~ProgressLine();

    void fileDone(qint64 bytes);
    // Takes the line away, so that a message can be printed in its place.
    void clear();

private:
    void draw();

    using Clock = std::chrono::steady_clock;
    const bool m_enabled;
    const qsizetype m_total;
    qsizetype m_done = 0;
    qint64 m_bytes = 0;
    bool m_shown = false;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_drawn = {};
};

} // namespace plaintrove::cli
