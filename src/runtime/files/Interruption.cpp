#include "Interruption.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace plaintrove::runtime {

namespace {

constexpr int handledSignals[] = { SIGINT, SIGTERM, SIGHUP };

// Global, as a signal handler reaches nothing else.
std::atomic<int> caught { 0 };
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void remember(int signal)
{
    caught.store(signal, std::memory_order_relaxed);
}

} // namespace

int interruption()
{
    return caught.load(std::memory_order_relaxed);
}

InterruptionGuard::InterruptionGuard()
{
    struct sigaction action = {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a read waiting on a pipe returns, to look at the flag
    for (int i = 0; i < 3; ++i) {
        sigaction(handledSignals[i], nullptr, &m_previous[i]);
        // A signal ignored from the start (SIGHUP under nohup, say) stays ignored.
        if (m_previous[i].sa_handler != SIG_IGN)
            sigaction(handledSignals[i], &action, nullptr);
    }
}

InterruptionGuard::~InterruptionGuard()
{
    for (int i = 0; i < 3; ++i)
        sigaction(handledSignals[i], &m_previous[i], nullptr);
    const int signal = interruption();
    if (signal == 0)
        return;
    const std::string message = std::string(program_invocation_short_name) + ": interrupted by SIG"
        + sigabbrev_np(signal) + "; no file was left half written\n";
    std::fwrite(message.data(), 1, message.size(), stderr);
    // Ended by the signal itself, as the caller's shell expects.
    std::raise(signal);
}

} // namespace plaintrove::runtime
