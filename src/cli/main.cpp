#include "CommandLine.h"
#include "Interruption.h"

#include <QByteArray>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
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

// Qt reads arguments as UTF-8 and turns what is not into U+FFFD. A name like that would then
// spell another file, which could be read or even replaced in its place.
bool refuseNamesQtCannotSpell(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView given(argv[i]);
        if (QString::fromLocal8Bit(given).toLocal8Bit() == given)
            continue;
        const QByteArray message = "plaintrove-strip: " + given.toByteArray() + ": "
            + QCoreApplication::translate("plaintrove::cli::CommandLine",
                "the name is not valid UTF-8, and the program can only open UTF-8 names")
                  .toLocal8Bit()
            + '\n';
        std::fwrite(message.constData(), 1, static_cast<std::size_t>(message.size()), stderr);
        return true;
    }
    return false;
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
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PLAINTROVE_VERSION));
    if (refuseNamesQtCannotSpell(argc, argv))
        return static_cast<int>(plaintrove::cli::ExitStatus::FileError);
    using plaintrove::cli::execute, plaintrove::cli::parseCommandLine;
    const plaintrove::cli::Invocation invocation = parseCommandLine(QCoreApplication::arguments());
    const plaintrove::runtime::InterruptionGuard interruptions;
    return static_cast<int>(execute(invocation));
}
