#include "CommandLine.h"
#include "Interruption.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A closed standard stream would lend its number to the next file opened, which would then be
// written to as standard output. Holding it open the wrong way round keeps it failing, with
// "Bad file descriptor", as it would have.
void holdClosedStandardStreams()
{
    for (const int fd : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO }) {
        if (::fcntl(fd, F_GETFD) == -1)
            ::open("/dev/null", (fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    holdClosedStandardStreams();
    // A write to a named pipe whose reader is gone, or past the file-size limit, then fails with
    // a reason to report instead of ending the program by a signal. Standard output's reader
    // leaving still ends it by SIGPIPE, as the usual tools end (OutputFile::write).
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const plaintrove::cli::Invocation invocation = plaintrove::cli::parseCommandLine(argc, argv);
    const plaintrove::runtime::InterruptionGuard interruptions;
    return static_cast<int>(plaintrove::cli::execute(invocation));
}
