// plaintrove-strip as a user runs it, for what it adds to a conversion: arguments, standard
// streams, batches, exit statuses and messages. What a conversion writes is tested beside it.

#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <array>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace plaintrove::testing;

const QByteArray unclosedPage = "first\r\nkeep <b class=\"x\"\r\n";
const QByteArray unclosedText = "first\r\nkeep";
const QByteArray readableText = "Title\r\n\r\nFirst bold word, second line.\r\n";

struct Row
{
    const char *name;
    QStringList arguments;
    int exitCode;
    const char *standardError; // part of it; empty when it must be empty
    std::vector<std::pair<QString, QByteArray>> changes = {}; // files written, with their bytes
    QByteArray standardOutput = {};
    QByteArray standardInput = {};
    std::function<void()> inChild = {}; // runs in the child just before it starts the program
    std::function<void(const Sandbox &)> prepare = {}; // adds files before the run
    friend void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }
};

class CommandLine : public ::testing::TestWithParam<Row>
{
};

TEST_P(CommandLine, ExitStatusStreamsMessagesAndFiles)
{
    const Row &row = GetParam();
    const Sandbox sandbox;
    sandbox.write(QStringLiteral("other.htm"), page);
    sandbox.write(QStringLiteral("open.html"), unclosedPage);
    if (row.prepare)
        row.prepare(sandbox);
    auto expected = sandbox.snapshot();

    QProcess process;
    process.setWorkingDirectory(sandbox.root());
    if (row.inChild)
        process.setChildProcessModifier(row.inChild);
    process.start(QStringLiteral(PLAINTROVE_STRIP), row.arguments);
    process.write(row.standardInput);
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));

    const QByteArray errors = process.readAllStandardError();
    // As the shell tells it: 128 + the signal's number when a signal ended the program.
    const int crashed = process.exitStatus() == QProcess::CrashExit ? 128 : 0;
    EXPECT_EQ(crashed + process.exitCode(), row.exitCode) << errors.toStdString();
    EXPECT_TRUE(*row.standardError ? errors.contains(row.standardError) : errors.isEmpty())
        << errors.toStdString();
    EXPECT_EQ(process.readAllStandardOutput(), row.standardOutput);
    auto actual = sandbox.snapshot();
    for (const auto &[name, bytes] : row.changes) {
        EXPECT_EQ(bytes == "directory" ? actual[name] : sandbox.read(name), bytes)
            << name.toStdString();
        expected.erase(name);
        actual.erase(name);
    }
    EXPECT_EQ(actual, expected);
}

// Standard output, replaced in the child by `path` opened for appending.
std::function<void()> standardOutputTo(const char *path)
{
    return [path] { ::dup2(::open(path, O_WRONLY | O_APPEND), STDOUT_FILENO); };
}

// In the child: the permissions of files hold for root too, as they hold for anyone else.
void withoutRootsPowers()
{
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH);
}

// locked/ holds old.txt, which can be written, but nothing can be added to locked/.
void lockedFolder(const Sandbox &sandbox)
{
    QDir(sandbox.root()).mkdir(QStringLiteral("locked"));
    sandbox.write(QStringLiteral("locked/old.txt"), oldOutput);
    QFile::setPermissions(sandbox.path(QStringLiteral("locked")),
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser);
}

// site/: pages in folders, a file that is no page, a link to a page, a link back up to site/
// (not followed: it would loop), and bad.html, which cannot be read.
void makeSite(const Sandbox &sandbox)
{
    QDir(sandbox.root()).mkpath(QStringLiteral("site/sub/deeper"));
    for (const char *name : { "site/a.html", "site/sub/b.HTM", "site/sub/deeper/c.xhtml" })
        sandbox.write(QString::fromUtf8(name), page);
    sandbox.write(QStringLiteral("site/notes.txt"), page);
    QFile::link(QStringLiteral("sub/b.HTM"), sandbox.path(QStringLiteral("site/link.html")));
    QFile::link(QStringLiteral(".."), sandbox.path(QStringLiteral("site/sub/up")));
    QFile::link(QStringLiteral("/proc/self/mem"), sandbox.path(QStringLiteral("site/bad.html")));
}

// The same site converted with any number of jobs: the same files, the same one message.
Row siteRow(const char *name, const char *jobs)
{
    return { name, { "-r", "-j", jobs, "-d", "out/text", "site", "page.html" }, 1,
        "plaintrove-strip: site/bad.html: Input/output error\n",
        { { "out", "directory" }, { "out/text", "directory" }, { "out/text/sub", "directory" },
            { "out/text/sub/deeper", "directory" }, { "out/text/a.txt", pageText },
            { "out/text/sub/b.txt", pageText }, { "out/text/sub/deeper/c.txt", pageText },
            { "out/text/link.txt", pageText }, { "out/text/page.txt", pageText } },
        {}, {}, {}, makeSite };
}

INSTANTIATE_TEST_SUITE_P(Streams, CommandLine,
    ::testing::Values(
        // A name of digits outside the descriptor folder is a file like any other.
        Row { "FileToFile", { "page.html", "2" }, 0, "", { { "2", pageText } } },
        Row { "FileToStandardOutput", { "page.html" }, 0, "", {}, pageText },
        Row { "NoArgumentsReadStandardInput", {}, 0, "", {}, pageText, page },
        Row { "DashIsStandardInput", { "-", "new.txt" }, 0, "", { { "new.txt", pageText } }, {},
            page },
        Row { "UnclosedTagWarns", { "open.html", "new.txt" }, 3,
            "plaintrove-strip: open.html: warning: the input ends inside a tag that is never "
            "closed",
            { { "new.txt", unclosedText } } },
        Row { "ClosedStandardOutput", { "page.html" }, 1,
            "plaintrove-strip: standard output: Bad file descriptor\n", {}, {}, {},
            [] { ::close(STDOUT_FILENO); } },
        Row { "FullStandardOutput", { "page.html" }, 1,
            "plaintrove-strip: standard output: No space left on device\n", {}, {}, {},
            standardOutputTo("/dev/full") },
        Row { "VersionOnAFullStandardOutput", { "--version" }, 1,
            "plaintrove-strip: standard output: No space left on device\n", {}, {}, {},
            standardOutputTo("/dev/full") },
        // A reader that left ends the program quietly, by SIGPIPE, as it ends cat; a file past
        // the size limit is an error like any other.
        Row { "StandardOutputWithoutAReader", { "page.html" }, 141, "", {}, {}, {},
            [] {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], STDOUT_FILENO);
            } },
        Row { "FileSizeLimit", { "page.html", "old.txt" }, 1,
            "plaintrove-strip: old.txt: File too large\n", {}, {}, {},
            [] {
                const rlimit none { 0, 0 };
                ::setrlimit(RLIMIT_FSIZE, &none);
            } },
        // A path naming a descriptor is written through it, where it stands: `>> log` appends,
        // and what was written before the run stays.
        Row { "DevStdoutAppends", { "page.html", "/dev/stdout" }, 0, "",
            { { "old.txt", oldOutput + pageText } }, {}, {}, standardOutputTo("old.txt") },
        // Any descriptor, the first included: here standard input, open for writing too.
        Row { "DescriptorWrittenWhereItStands", { "page.html", "/proc/self/fd/0" }, 0, "",
            { { "new.txt", "header\n" + pageText } }, {}, {},
            [] {
                ::dup2(::open("new.txt", O_RDWR | O_CREAT, 0644), STDIN_FILENO);
                static_cast<void>(::write(STDIN_FILENO, "header\n", 7));
            } },
        // Written in place, it could be left half written by a failed run.
        Row { "OutputInAFolderThatCannotBeWritten", { "page.html", "locked/old.txt" }, 1,
            "plaintrove-strip: locked/old.txt: cannot be replaced safely: its folder cannot be "
            "written to (Permission denied)\n",
            {}, {}, {}, withoutRootsPowers, lockedFolder },
        // As in `plaintrove-strip page.html >> page.html`: it would read its own output for ever.
        Row { "StandardOutputIsTheInput", { "page.html" }, 1,
            "plaintrove-strip: standard output: the output file is the input file\n", {}, {}, {},
            standardOutputTo("page.html") },
        Row { "DevStdoutIsTheInput", { "page.html", "/dev/stdout" }, 1,
            "plaintrove-strip: /dev/stdout: the output file is the input file\n", {}, {}, {},
            standardOutputTo("page.html") },
        Row { "Version", { "-v" }, 0, "", {}, "plaintrove-strip " PLAINTROVE_VERSION "\n" },
        Row { "Readable", { "--readable", "page.html" }, 0, "", {}, readableText },
        Row { "LfInTheExactMode", { "page.html", "--lf" }, 0, "", {},
            QByteArray(pageText).replace("\r\n", "\n") },
        Row { "ReadableWithLfFromStandardInput", { "--lf", "--readable", "-", "new.txt" }, 0, "",
            { { "new.txt", QByteArray(readableText).replace("\r\n", "\n") } }, {}, page },
        Row { "ReadableUnclosedTagWarns", { "--readable", "open.html" }, 3,
            "plaintrove-strip: open.html: warning: ", {}, "first keep\r\n" },
        // Qt reads arguments as UTF-8, and would spell this one as "a\uFFFD.txt", another file.
        Row { "NameThatIsNotUtf8", {}, 1, "a\xFF.txt: the name is not valid UTF-8", {}, {}, {},
            [] {
                ::execl(PLAINTROVE_STRIP, "plaintrove-strip", "page.html", "a\xFF.txt", nullptr);
            } }),
    [](const auto &row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(Usage, CommandLine,
    ::testing::Values(Row { "TooManyArguments", { "page.html", "a", "b" }, 2,
                          "plaintrove-strip: too many arguments; only INPUT and OUTPUT may be "
                          "given\nTry 'plaintrove-strip --help' for more information.\n" },
        Row { "UnknownOption", { "-page.html", "new.txt" }, 2, "Unknown options: p, a, g, e" },
        Row { "DirectoryWithoutValue", { "-d" }, 2, "Missing value after '-d'" },
        Row { "DirectoryWithoutFiles", { "-d", "sub" }, 2, "needs at least one FILE" },
        Row { "DirectoryWithStandardInput", { "-d", "sub", "-" }, 2, "standard input (\"-\")" },
        Row { "DirectoryTwice", { "-d", "sub", "-d", "sub", "page.html" }, 2, "more than once" },
        Row { "EmptyDirectoryName", { "-d", "", "page.html" }, 2, "directory name is empty" },
        Row { "EmptyFileName", { "page.html", "" }, 2, "an empty file name" },
        Row { "RecursiveWithoutDirectory", { "-r", "sub" }, 2, "--recursive needs" },
        Row { "JobsWithoutDirectory", { "-j", "2", "page.html" }, 2, "--jobs needs" },
        Row { "NoJobs", { "-j", "0", "-d", "sub", "page.html" }, 2, "at least 1" }),
    [](const auto &row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(Batch, CommandLine,
    ::testing::Values(
        Row { "EachNameLosesItsLastExtension",
            { "-d", "sub", "page.html", "other.htm", "old.txt", "--", "-x.y.html" }, 0, "",
            { { "sub/page.txt", pageText }, { "sub/other.txt", pageText },
                { "sub/old.txt", oldOutput }, { "sub/-x.y.txt", pageText }, { "-x.y.html", page } },
            {}, {}, [] { QFile::copy(QStringLiteral("page.html"), QStringLiteral("-x.y.html")); } },
        Row { "ReadableBatch", { "--readable", "-d", "sub", "page.html", "other.htm" }, 0, "",
            { { "sub/page.txt", readableText }, { "sub/other.txt", readableText } } },
        // Each thread's stack as large as the address space: no thread can start.
        Row { "NoThreadCanStart", { "-j", "4", "-d", "sub", "page.html", "other.htm" }, 0, "",
            { { "sub/page.txt", pageText }, { "sub/other.txt", pageText } }, {}, {},
            [] {
                const rlimit huge { rlim_t(1) << 62, RLIM_INFINITY };
                ::setrlimit(RLIMIT_STACK, &huge);
            } },
        Row { "FailureDoesNotStopTheOthers", { "-d", "sub", "absent.html", "page.html" }, 1,
            "plaintrove-strip: absent.html: No such file or directory\n",
            { { "sub/page.txt", pageText } } },
        Row { "AFailureOutranksAWarning", { "--output-directory=sub", "open.html", "absent.html" },
            1, "kept\nplaintrove-strip: absent.html: No such file or directory\n",
            { { "sub/open.txt", unclosedText } } },
        Row { "TwoInputsForOneOutput", { "-d", "sub", "page.html", "page.htm" }, 1,
            "plaintrove-strip: page.htm: its output file sub/page.txt is already the output of "
            "page.html\n",
            { { "sub/page.txt", pageText }, { "page.htm", page } }, {}, {},
            [] { QFile::copy(QStringLiteral("page.html"), QStringLiteral("page.htm")); } },
        Row { "OutputThatIsAnotherInput", { "-d", ".", "old.html", "old.txt" }, 1,
            "plaintrove-strip: ./old.txt: the output file is also one of the input files\n",
            { { "old.html", page } }, {}, {},
            [] { QFile::copy(QStringLiteral("page.html"), QStringLiteral("old.html")); } },
        siteRow("SiteMirroredWithOneJob", "1"), siteRow("SiteMirroredWithFourJobs", "4"),
        // Nothing is skipped without a word: a name that is not UTF-8, a link to nothing, a
        // folder that cannot be read.
        Row { "WalkReportsWhatItCannotTake", { "-r", "-d", "out", "site" }, 1,
            "plaintrove-strip: site/c\uFFFD.html: the name is not valid UTF-8, and the program can "
            "only open UTF-8 names\nplaintrove-strip: site/gone.html: No such file or directory\n"
            "plaintrove-strip: site/locked: Permission denied\n"
            "plaintrove-strip: site/null.html: not a regular file\n",
            { { "out", "directory" }, { "out/a.txt", pageText } }, {}, {}, withoutRootsPowers,
            [](const Sandbox &s) {
                QDir(s.root()).mkpath(QStringLiteral("site/locked"));
                s.write(QStringLiteral("site/a.html"), page);
                s.write(QStringLiteral("site/locked/b.html"), page);
                QFile::setPermissions(s.path(QStringLiteral("site/locked")), {});
                QFile::link(QStringLiteral("nowhere"), s.path(QStringLiteral("site/gone.html")));
                QFile::link(QStringLiteral("/dev/null"), s.path(QStringLiteral("site/null.html")));
                const QByteArray name = QFile::encodeName(s.path("site/")) + "c\xFF.html";
                ::close(::open(name.constData(), O_WRONLY | O_CREAT, 0644));
            } },
        // No folder is made for an input that cannot be read, and one made for an input that
        // failed later is taken away again.
        Row { "NoFolderLeftForAFailure", { "-d", "new/deeper", "absent.html", "/proc/self/mem" }, 1,
            "absent.html: No such file or directory\nplaintrove-strip: /proc/self/mem: "
            "Input/output error\n" },
        Row { "OutputFolderIsAFile", { "-d", "old.txt", "page.html" }, 1,
            "plaintrove-strip: page.html: its output directory old.txt cannot be made: Not a "
            "directory\n" },
        // A failed file leaves its old output as it was.
        Row { "FailedFileKeepsItsOldOutput", { "-r", "-d", "sub", "site" }, 1,
            "plaintrove-strip: site/bad.html: Input/output error\n",
            { { "sub/a.txt", pageText }, { "sub/link.txt", pageText }, { "sub/sub", "directory" },
                { "sub/sub/b.txt", pageText }, { "sub/sub/deeper", "directory" },
                { "sub/sub/deeper/c.txt", pageText } },
            {}, {}, {},
            [](const Sandbox &s) {
                makeSite(s);
                s.write(QStringLiteral("sub/bad.txt"), oldOutput);
            } },
        Row { "PagesThatShareAnOutput", { "-r", "-d", "sub", "site" }, 1,
            "plaintrove-strip: site/a.html: its output file sub/a.txt is already the output of "
            "site/a.htm\n",
            { { "sub/a.txt", "xy\r\n" } }, {}, {}, {},
            [](const Sandbox &s) {
                QDir(s.root()).mkdir(QStringLiteral("site"));
                s.write(QStringLiteral("site/a.htm"), "x <b>y</b>\r\n");
                s.write(QStringLiteral("site/a.html"), page);
            } },
        // Qt takes a name starting with ':' for one of its resources, which no directory holds.
        Row { "DirectoryStartingWithAColon", { "-r", "-d", "sub", ":site" }, 0, "",
            { { "sub/a.txt", pageText } }, {}, {}, {},
            [](const Sandbox &s) {
                QDir().mkdir(s.path(QStringLiteral(":site")));
                s.write(QStringLiteral(":site/a.html"), page);
            } },
        Row { "NamesStartingWithAColon", { "-d", "sub", ":page.html" }, 0, "",
            { { "sub/:page.txt", pageText }, { ":page.html", page } }, {}, {},
            [] { QFile::copy(QStringLiteral("page.html"), QStringLiteral(":page.html")); } }),
    [](const auto &row) { return std::string(row.param.name); });

TEST(CommandLine, HelpShowsBothFormsAndTheExitStatuses)
{
    QProcess process;
    process.start(QStringLiteral(PLAINTROVE_STRIP), { QStringLiteral("--help") });
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray help = process.readAllStandardOutput();
    EXPECT_TRUE(help.startsWith("Usage: plaintrove-strip [options] [INPUT [OUTPUT]]\n"
                                "       plaintrove-strip [options] -d DIR [-r] [-j N] FILE...\n")
        && help.contains("3 an input ended inside a tag") && process.exitCode() == 0)
        << help.toStdString();
}

// On a terminal a batch keeps a line of progress; the rows above show it silent elsewhere.
TEST(CommandLine, ProgressOnATerminal)
{
    const Sandbox sandbox;
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    const QByteArray name = ::ptsname(terminal);
    QProcess process;
    process.setWorkingDirectory(sandbox.root());
    process.setChildProcessModifier(
        [&name] { ::dup2(::open(name.constData(), O_RDWR | O_NOCTTY), STDERR_FILENO); });
    process.start(QStringLiteral(PLAINTROVE_STRIP), { "-d", "out", "page.html", "old.txt" });
    ASSERT_TRUE(process.waitForFinished(60000));
    // A read may return one write of the program's: read until the terminal's other side is gone.
    QByteArray shown;
    std::array<char, 4096> buffer;
    for (ssize_t count; (count = ::read(terminal, buffer.data(), buffer.size())) > 0;)
        shown.append(buffer.data(), count);
    ::close(terminal);
    EXPECT_TRUE(shown.contains("2 of 2 files, ")) << shown.toStdString();
}

} // namespace
