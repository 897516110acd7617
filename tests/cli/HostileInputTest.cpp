// Awkward names, links, special files and odd or huge inputs: each has one answer, and none of
// them may cost the user a file.

#include "StripRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace plaintrove::testing;

QByteArray nativeName(const Sandbox &sandbox, const QString &relative)
{
    return QFile::encodeName(sandbox.path(relative));
}

// Symbolic links, each a target and the link's name, made before the run.
std::function<bool(const Sandbox &)> links(
    std::vector<std::pair<const char *, const char *>> targetsAndNames)
{
    return [targetsAndNames](const Sandbox &sandbox) {
        for (const auto &[target, name] : targetsAndNames)
            EXPECT_TRUE(QFile::link(QString::fromUtf8(target), sandbox.path(name))) << name;
        return true;
    };
}

// A device node of our own, so that a program that wrongly replaced it would only hurt the
// scratch directory. Creating one needs privileges that a developer's machine may not give.
// Creating one needs privileges, and using one a file system mounted without "nodev".
bool makeDevice(const Sandbox &sandbox, const char *name, unsigned minor)
{
    const QByteArray path = nativeName(sandbox, QString::fromUtf8(name));
    if (::mknod(path.constData(), S_IFCHR | 0666, makedev(1, minor)) != 0)
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ::unlink(path.constData());
        return false;
    }
    ::close(fd);
    return true;
}

QString repeated(const char *text, int count)
{
    return QString::fromUtf8(text).repeated(count);
}

struct HostileCase
{
    const char *name;
    // Adds what the row needs to the sandbox; false when this machine cannot set it up.
    std::function<bool(const Sandbox &)> prepare;
    QStringList arguments;
    int exitCode;
    const char *standardError; // must occur in it; empty: standard error must be empty
    Sandbox::Changes changedFiles = {};
};

void PrintTo(const HostileCase &row, std::ostream *os)
{
    *os << row.name;
}

class Hostile : public ::testing::TestWithParam<HostileCase>
{
};

TEST_P(Hostile, HasItsOwnAnswerAndLosesNothing)
{
    const HostileCase &c = GetParam();
    const Sandbox sandbox;
    if (c.prepare && !c.prepare(sandbox))
        GTEST_SKIP() << "this machine cannot set the case up";
    const auto expected = sandbox.snapshotWith(c.changedFiles);

    const Outcome outcome = runStrip(sandbox, c.arguments);

    expectOutcome(outcome, c.exitCode, c.standardError);
    EXPECT_EQ(sandbox.snapshot(), expected);
}

// An input called `name` holding the sample page.
std::function<bool(const Sandbox &)> pageCalled(const QString &name)
{
    return [name](const Sandbox &sandbox) {
        sandbox.write(name, page);
        return true;
    };
}

std::function<bool(const Sandbox &)> fileHolding(QByteArray bytes)
{
    return [bytes](const Sandbox &sandbox) {
        sandbox.write("odd.html", bytes);
        return true;
    };
}

const QString longest = repeated("a", 250) + QStringLiteral(".html"); // 255 bytes, the limit
const QString longestText = repeated("b", 251) + QStringLiteral(".txt");
const QString tooLong = repeated("b", 252) + QStringLiteral(".txt");
const QString pathTooLong = QStringLiteral("sub/") + repeated("../sub/", 600) + "x.txt";
const QString batchTooLong = repeated("c", 255);

INSTANTIATE_TEST_SUITE_P(Names, Hostile,
    ::testing::Values(
        HostileCase { "Spaces", pageCalled("my page.html"), { "my page.html", "my text.txt" }, 0,
            "", { { "my text.txt", pageText } } },
        HostileCase { "Utf8", pageCalled("páge ✓.html"), { "páge ✓.html", "résumé ✓.txt" }, 0, "",
            { { "résumé ✓.txt", pageText } } },
        HostileCase { "Newlines", pageCalled("two\nlines.html"), { "two\nlines.html", "a\nb.txt" },
            0, "", { { "a\nb.txt", pageText } } },
        // A leading dash starts an option, as in every command; "--" or "./" says otherwise.
        HostileCase { "LeadingDashIsAnOption", pageCalled("-page.html"), { "-page.html", "t.txt" },
            2, "Unknown options" },
        HostileCase { "LeadingDashAfterDoubleDash", pageCalled("-page.html"),
            { "--", "-page.html", "-t.txt" }, 0, "", { { "-t.txt", pageText } } },
        HostileCase { "LeadingDashBehindDotSlash", pageCalled("-page.html"),
            { "./-page.html", "./-t.txt" }, 0, "", { { "-t.txt", pageText } } },
        HostileCase { "LeadingDashInBatch", pageCalled("-page.html"),
            { "-d", "sub", "--", "-page.html" }, 0, "", { { "sub/-page.txt", pageText } } },
        HostileCase { "LongestNames", pageCalled(longest), { longest, longestText }, 0, "",
            { { longestText, pageText } } },
        // Qt reads such a name as one of its resources; it is an ordinary file here.
        HostileCase { "OutputStartingWithColonFollowsItsLink",
            links({ { "old.txt", ":link.txt" } }), { "page.html", ":link.txt" }, 0, "",
            { { "old.txt", pageText } } },
        HostileCase { "BatchIntoDirectoryStartingWithColon",
            [](const Sandbox &s) {
                return ::mkdir(nativeName(s, QStringLiteral(":out")).constData(), 0755) == 0;
            },
            { "-d", ":out", "page.html" }, 0, "", { { ":out/page.txt", pageText } } },
        // Replacing goes through a temporary name seven characters longer.
        HostileCase { "LongestNameCannotBeReplaced",
            [](const Sandbox &s) {
                s.write(longestText, oldOutput);
                return true;
            },
            { "page.html", longestText }, 1,
            ": the file name is too long for the file to be replaced safely\n" },
        HostileCase {
            "OutputBelowAFile", {}, { "page.html", "old.txt/new.txt" }, 1, ": Not a directory\n" },
        HostileCase { "NameTooLong", {}, { "page.html", tooLong }, 1, ": File name too long\n" },
        HostileCase {
            "PathTooLong", {}, { "page.html", pathTooLong }, 1, ": File name too long\n" },
        HostileCase { "BatchOutputNameTooLong", pageCalled(batchTooLong),
            { "-d", "sub", batchTooLong }, 1, ".txt: File name too long\n" }),
    caseName);

INSTANTIATE_TEST_SUITE_P(Links, Hostile,
    ::testing::Values(HostileCase { "InputIsLinkToAPage", links({ { "page.html", "link.html" } }),
                          { "link.html", "new.txt" }, 0, "", { { "new.txt", pageText } } },
        HostileCase { "OutputIsLinkToTheInput", links({ { "page.html", "link.txt" } }),
            { "page.html", "link.txt" }, 1, "link.txt: the output file is the input file\n" },
        // The link stays; the file it points to is replaced.
        HostileCase { "OutputIsLinkToAnEarlierOutput", links({ { "old.txt", "link.txt" } }),
            { "page.html", "link.txt" }, 0, "", { { "old.txt", pageText } } },
        // As the shell's `>` does: the file the link names is created.
        HostileCase { "OutputIsDanglingLink", links({ { "target.txt", "dangling.txt" } }),
            { "page.html", "dangling.txt" }, 0, "", { { "target.txt", pageText } } },
        HostileCase { "InputIsDanglingLink", links({ { "nowhere.html", "dangling.html" } }),
            { "dangling.html", "old.txt" }, 1, "dangling.html: No such file or directory\n" },
        HostileCase { "InputIsLoopOfLinks", links({ { "loop2", "loop1" }, { "loop1", "loop2" } }),
            { "loop1", "old.txt" }, 1, "loop1: Too many levels of symbolic links\n" },
        HostileCase { "OutputIsLoopOfLinks", links({ { "loop2", "loop1" }, { "loop1", "loop2" } }),
            { "page.html", "loop1" }, 1, "loop1: Too many levels of symbolic links\n" }),
    caseName);

INSTANTIATE_TEST_SUITE_P(SpecialFiles, Hostile,
    ::testing::Values(HostileCase { "InputIsDevNull", {}, { "/dev/null", "new.txt" }, 0, "",
                          { { "new.txt", "" } } },
        HostileCase { "InputIsADevice", [](const Sandbox &s) { return makeDevice(s, "null", 3); },
            { "null", "new.txt" }, 0, "", { { "new.txt", "" } } },
        // Written to, never replaced by a file: the node must still be a device afterwards.
        HostileCase { "OutputIsADevice", [](const Sandbox &s) { return makeDevice(s, "full", 7); },
            { "page.html", "full" }, 1, "full: No space left on device\n" },
        HostileCase { "OutputIsPipeWithoutReader",
            [](const Sandbox &s) {
                return ::mkfifo(nativeName(s, QStringLiteral("pipe")).constData(), 0600) == 0;
            },
            { "page.html", "pipe" }, 1, "pipe: No such device or address\n" }),
    caseName);

INSTANTIATE_TEST_SUITE_P(Shapes, Hostile,
    ::testing::Values(HostileCase { "Empty", fileHolding(""), { "odd.html", "new.txt" }, 0, "",
                          { { "new.txt", "" } } },
        HostileCase { "OnlyLessThan", fileHolding("<<<<<<"), { "odd.html", "new.txt" }, 3,
            "odd.html: warning: the input ends inside a tag", { { "new.txt", "" } } },
        HostileCase { "OnlyGreaterThan", fileHolding(">>>>>>"), { "odd.html", "new.txt" }, 0, "",
            { { "new.txt", ">>>>>>\r\n" } } },
        // NUL is a character like any other: kept outside tags, dropped inside them.
        HostileCase { "NulBytes", fileHolding(QByteArray("\0\0<b\0>\0\n\0", 9)),
            { "odd.html", "new.txt" }, 0, "",
            { { "new.txt", QByteArray("\0\0\0\r\n\0\r\n", 8) } } },
        HostileCase { "EightBitBytes", fileHolding("\xff\xfe<\x80>\xc3\xa9\r\n"),
            { "odd.html", "new.txt" }, 0, "", { { "new.txt", "\xff\xfe\xc3\xa9\r\n" } } }),
    caseName);

// A named pipe as input is read as a stream, like standard input.
TEST(HostileInput, PipeAsInput)
{
    const Sandbox sandbox;
    const QByteArray pipePath = nativeName(sandbox, QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(pipePath.constData(), 0600), 0);
    std::thread writer([&pipePath] {
        // Not a blocking open: if the program never opened the pipe, that would wait for ever.
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 1000; ++attempt) {
            fd = ::open(pipePath.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_GE(fd, 0) << "the program never opened the pipe";
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            const ssize_t written = ::write(fd, page.constData(), static_cast<size_t>(page.size()));
            EXPECT_EQ(written, page.size());
            ::close(fd);
        }
    });
    const Outcome outcome = runStrip(sandbox, { QStringLiteral("pipe") });
    writer.join();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError.toStdString();
    EXPECT_EQ(outcome.standardOutput, pageText);
}

// Qt cannot spell such a name: it would become another file's name, which must stay untouched.
TEST(HostileInput, NameThatIsNotUtf8IsRefused)
{
    const Sandbox sandbox;
    sandbox.write(QString::fromUtf8("a\xEF\xBF\xBD.txt"), oldOutput); // "a", U+FFFD
    const auto before = sandbox.snapshot();
    QProcess process;
    process.setWorkingDirectory(sandbox.root());
    process.start(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"), QStringLiteral("exec \"$0\" page.html \"$(printf 'a\\377.txt')\""),
            QStringLiteral(PLAINTROVE_STRIP_EXE) });
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(process.readAllStandardError().contains(
        ": the name is not valid UTF-8, and the program can only open UTF-8 names\n"));
    EXPECT_EQ(sandbox.snapshot(), before);
}

// QSaveFile keeps permissions, the program keeps the owner; a name starting with ':' is no
// exception. Giving the file to another user needs root.
TEST(HostileInput, ReplacedOutputKeepsPermissionsAndOwner)
{
    const Sandbox sandbox;
    const bool root = ::geteuid() == 0;
    for (const char *name : { "kept.txt", ":kept.txt" }) {
        const QByteArray path = nativeName(sandbox, QString::fromUtf8(name));
        sandbox.write(name, oldOutput);
        ASSERT_EQ(::chmod(path.constData(), 0600), 0);
        if (root) {
            ASSERT_EQ(::chown(path.constData(), 4321, 4321), 0);
        }
        struct stat before = {};
        ASSERT_EQ(::stat(path.constData(), &before), 0);

        const Outcome outcome
            = runStrip(sandbox, { QStringLiteral("page.html"), QString::fromUtf8(name) });

        EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError.toStdString();
        struct stat after = {};
        ASSERT_EQ(::stat(path.constData(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode) << name;
        EXPECT_EQ(after.st_uid, before.st_uid) << name;
        EXPECT_EQ(after.st_gid, before.st_gid) << name;
        EXPECT_NE(after.st_ino, before.st_ino) << name << " was written in place, not replaced";
        EXPECT_EQ(sandbox.read(QString::fromUtf8(name)), pageText) << name;
    }
}

// Compares a file with `count` copies of `unit` and then `tail`, a block at a time.
void expectRepeatedContent(
    const QString &path, const QByteArray &unit, qint64 count, const QByteArray &tail)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_EQ(file.size(), unit.size() * count + tail.size());
    const QByteArray block = unit.repeated(64 * 1024);
    for (qint64 done = 0; done < count;) {
        const qint64 units = std::min<qint64>(64 * 1024, count - done);
        ASSERT_EQ(file.read(unit.size() * units), block.left(unit.size() * units))
            << "at unit " << done;
        done += units;
    }
    EXPECT_EQ(file.readAll(), tail);
}

// 100 MB without a line end: the stripper never holds a line, so nothing grows with it.
TEST(HostileInput, OneHundredMegabyteLine)
{
    const Sandbox sandbox;
    const QByteArray unit = "ab<i>cd</i>";
    const qint64 count = 100'000'000 / unit.size();
    {
        QFile file(sandbox.path("line.html"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QByteArray block = unit.repeated(64 * 1024);
        for (qint64 done = 0; done < count; done += 64 * 1024) {
            const qint64 units = std::min<qint64>(64 * 1024, count - done);
            ASSERT_EQ(file.write(block.left(unit.size() * units)), unit.size() * units);
        }
    }
    const Outcome outcome
        = runStrip(sandbox, { QStringLiteral("line.html"), QStringLiteral("line.txt") });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError.toStdString();
    expectRepeatedContent(sandbox.path("line.txt"), "abcd", count, "\r\n");
}

// Past 2 GiB, where 32-bit sizes and offsets would wrap. The file is sparse: one tag spans the
// hole, so the run reads every byte and writes a line.
TEST(HostileInput, InputLargerThanTwoGigabytes)
{
    const Sandbox sandbox;
    const QByteArray path = nativeName(sandbox, QStringLiteral("huge.html"));
    const off_t hole = (off_t { 1 } << 31) + 4096;
    {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        constexpr std::string_view head = "before<", tail = ">after\n";
        EXPECT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), hole), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    const Outcome outcome = runStrip(sandbox, { QStringLiteral("huge.html") });
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError.toStdString();
    EXPECT_EQ(outcome.standardOutput, "beforeafter\r\n");
}

} // namespace
