// What plaintrove-strip does when the file system fails it halfway: each run gets one system call
// failed, or the disk changed under it, by a preloaded library. A failed run must say which file
// and why, exit with 1, and leave every file as it was, with no temporary file behind.

#include "ReferenceStripper.h"
#include "StripRunner.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace plaintrove::testing;

// Several times the engine's read and write blocks, so that calls repeat and a fault can strike
// in the middle of a run.
QByteArray largePage()
{
    QByteArray bytes;
    for (int line = 0; line < 40000; ++line)
        bytes += "<p>line " + QByteArray::number(line) + " of a long page</p>\n";
    return bytes;
}

QByteArray stripped(const QByteArray &html)
{
    const auto result = plaintrove::conversion::reference::referenceStrip(html.toStdString());
    return QByteArray::fromStdString(result.output);
}

const QByteArray appended = "<p>appended while it was read</p>\n";

struct FaultCase
{
    const char *name;
    const char *fault; // PLAINTROVE_FAULT
    std::vector<const char *> arguments;
    int exitCode;
    const char *standardError; // must occur in it; empty: standard error must be empty
    // Entries that differ from the sandbox afterwards (all others must be as they were); a null
    // value means the entry must be gone.
    Sandbox::Changes changedFiles = {};
    bool oldOutputInSub = false; // the earlier output is sub/old.txt instead of old.txt
    bool unnamedTemporaryOnly = false; // the call exists only with an unnamed temporary file
};

// Each case runs twice: with the unnamed temporary files (O_TMPFILE) of a local file system, and
// with the named ones Qt falls back to where those are missing (NFS, CIFS, many FUSE systems).
enum class Temporary { Unnamed, Named };
using FaultRun = std::tuple<FaultCase, Temporary>;

void PrintTo(Temporary temporary, std::ostream *os)
{
    *os << (temporary == Temporary::Named ? "named" : "unnamed") << " temporary file";
}

void PrintTo(const FaultCase &row, std::ostream *os)
{
    *os << row.name << " (" << row.fault << ')';
}

class InjectedFault : public ::testing::TestWithParam<FaultRun>
{
};

TEST_P(InjectedFault, SaysWhichFileAndWhyAndLosesNothing)
{
    const auto &[c, temporary] = GetParam();
    if (c.unnamedTemporaryOnly && temporary == Temporary::Named)
        GTEST_SKIP() << "a named temporary file is renamed into place, never linked";
    const Sandbox sandbox;
    sandbox.write("large.html", largePage());
    if (c.oldOutputInSub)
        sandbox.write("sub/old.txt", oldOutput);
    const auto expected = sandbox.snapshotWith(c.changedFiles);

    RunOptions options;
    options.environment.insert(QStringLiteral("PLAINTROVE_FAULT"), QString::fromUtf8(c.fault));
    options.environment.insert(
        QStringLiteral("LD_PRELOAD"), QStringLiteral(PLAINTROVE_INJECT_FAULTS));
    if (temporary == Temporary::Named)
        options.environment.insert(
            QStringLiteral("PLAINTROVE_FAULT_NO_TMPFILE"), QStringLiteral("1"));
    // A sanitized program insists on its runtime being loaded first; this library is plain.
    options.environment.insert(QStringLiteral("ASAN_OPTIONS"),
        options.environment.value(QStringLiteral("ASAN_OPTIONS"))
            + QStringLiteral(":verify_asan_link_order=0"));
    const Outcome outcome = runStrip(sandbox, toArguments(c.arguments), options);

    expectOutcome(outcome, c.exitCode, c.standardError);
    EXPECT_EQ(sandbox.snapshot(), expected);
}

const QByteArray gone; // a null QByteArray: the entry must not exist

const FaultCase faultCases[] = {
    FaultCase { "InputCannotBeOpened", "open:1:EACCES:large.html", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: large.html: Permission denied\n" },
    FaultCase { "ReadFailsMidway", "read:2:EIO:large.html", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: large.html: Input/output error\n" },
    FaultCase { "TemporaryOutputCannotBeCreated", "create:1:EROFS", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: old.txt: Read-only file system\n" },
    FaultCase { "NewOutputCannotBeCreated", "create:1:EDQUOT", { "large.html", "new.txt" }, 1,
        "plaintrove-strip: new.txt: Disk quota exceeded\n" },
    FaultCase { "DiskFullMidway", "write:2:ENOSPC", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: old.txt: No space left on device\n" },
    FaultCase { "WriteErrorMidway", "write:3:EIO", { "large.html", "new.txt" }, 1,
        "plaintrove-strip: new.txt: Input/output error\n" },
    FaultCase { "FirstWriteFails", "write:1:ENOSPC", { "page.html", "old.txt" }, 1,
        "plaintrove-strip: old.txt: No space left on device\n" },
    FaultCase { "FlushToDiskFails", "sync:1:EIO", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: old.txt: Input/output error\n" },
    FaultCase { "FinalRenameFails", "rename:1:EXDEV", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: old.txt: Invalid cross-device link\n" },
    FaultCase { "FinalRenameRefused", "rename:1:EACCES", { "large.html", "old.txt" }, 1,
        "plaintrove-strip: old.txt: Permission denied\n" },
    FaultCase { "NewFileCannotBeLinkedIn", "link:1:EIO", { "large.html", "new.txt" }, 1,
        "plaintrove-strip: new.txt: Input/output error\n", {}, false, true },
    FaultCase { "OutputDirectoryDisappears", "write:2:vanish", { "large.html", "sub/new.txt" }, 1,
        "plaintrove-strip: sub/new.txt: No such file or directory\n",
        { { "sub", gone }, { "sub.gone", "<dir>" } } },
    FaultCase { "OutputDirectoryDisappearsWithOldOutput", "write:2:vanish",
        { "large.html", "sub/old.txt" }, 1,
        "plaintrove-strip: sub/old.txt: No such file or directory\n",
        { { "sub", gone }, { "sub/old.txt", gone }, { "sub.gone", "<dir>" },
            { "sub.gone/old.txt", oldOutput } },
        true },
    FaultCase { "BatchGoesOnAfterAFullDisk", "write:1:ENOSPC",
        { "-d", "sub", "page.html", "other.htm" }, 1,
        "plaintrove-strip: sub/page.txt: No space left on device\n",
        { { "sub/other.txt", otherPageText } } },
    // Not failures: a file that changes while it is read. What was there when the reading got
    // to it is converted, as `cat` would copy it; nothing breaks on the way.
    FaultCase { "InputGrowsWhileRead", "read:2:grow:large.html", { "large.html", "new.txt" }, 0, "",
        { { "large.html", largePage() + appended },
            { "new.txt", stripped(largePage() + appended) } } },
    FaultCase { "InputShrinksWhileRead", "read:2:shrink:large.html", { "large.html", "new.txt" }, 0,
        "",
        { { "large.html", largePage().left(256 * 1024) },
            { "new.txt", stripped(largePage().left(256 * 1024)) } } },
    // Interrupted calls are repeated, and a file system that cannot flush is no failure.
    FaultCase { "InterruptedReadIsRepeated", "read:2:EINTR:large.html", { "large.html", "new.txt" },
        0, "", { { "new.txt", stripped(largePage()) } } },
    FaultCase { "InterruptedWriteIsRepeated", "write:2:EINTR", { "large.html", "new.txt" }, 0, "",
        { { "new.txt", stripped(largePage()) } } },
    FaultCase { "FileSystemThatCannotFlush", "sync:1:EINVAL", { "large.html", "old.txt" }, 0, "",
        { { "old.txt", stripped(largePage()) } } },
};

INSTANTIATE_TEST_SUITE_P(Cli, InjectedFault,
    ::testing::Combine(
        ::testing::ValuesIn(faultCases), ::testing::Values(Temporary::Unnamed, Temporary::Named)),
    [](const ::testing::TestParamInfo<FaultRun> &run) {
        return std::string(std::get<0>(run.param).name)
            + (std::get<1>(run.param) == Temporary::Named ? "_NamedTemporary" : "");
    });

} // namespace
