#pragma once

// Ending a run cleanly on SIGINT, SIGTERM or SIGHUP: Ctrl-C, a kill from a script or a service
// manager, a terminal closing.
//
// While an InterruptionGuard exists those signals only set a flag: the handler stores the
// signal's number in a lock-free atomic, which is async-signal-safe, and does nothing else.
// Reads, writes and conversions look at the flag between blocks and give up, and each output
// given up removes its temporary file. The guard's destructor then puts the old handlers back
// and, if a signal came, says so on standard error and raises it again, so that the process
// ends as that signal would have ended it (exit status 128 + its number), leaving every file
// either as it was or completely written.

#include <csignal>

namespace plaintrove::runtime {

class InterruptionGuard
{
public:
    InterruptionGuard();
    InterruptionGuard(const InterruptionGuard &) = delete;
    InterruptionGuard &operator=(const InterruptionGuard &) = delete;
    ~InterruptionGuard();

private:
    struct sigaction m_previous[3] = {};
};

// The signal that interrupted the run, or 0.
int interruption();

} // namespace plaintrove::runtime
