#pragma once

// The line a batch keeps up to date on a terminal: files done, of the total once the walk has
// found them all, the speed, the time taken. Nothing at all when standard error is not a
// terminal, so scripts and logs stay clean.

#include <chrono>
#include <cstdint>
#include <optional>

namespace plaintrove::cli {

class ProgressLine
{
public:
    ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;
    // Leaves the last figures on their own line.
    ~ProgressLine();

    // The number of files, known once the walk has ended.
    void setTotal(std::uint64_t total) { m_total = total; }
    void fileDone(std::int64_t bytes);
    // Takes the line away, so that a message can be printed in its place.
    void clear();

private:
    void draw();

    using Clock = std::chrono::steady_clock;
    const bool m_enabled;
    std::optional<std::uint64_t> m_total;
    std::uint64_t m_done = 0;
    std::int64_t m_bytes = 0;
    bool m_shown = false;
    const Clock::time_point m_start = Clock::now();
    Clock::time_point m_drawn = {};
};

} // namespace plaintrove::cli
