// plaintrove-strip as a user runs it, for what it adds to a conversion: arguments, standard
// streams, batches, exit statuses and messages. What a conversion writes is tested beside it.

#include "Sandbox.h"

#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
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
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), row.exitCode) << errors.toStdString();
    EXPECT_TRUE(*row.standardError ? errors.contains(row.standardError) : errors.isEmpty())
        << errors.toStdString();
    EXPECT_EQ(process.readAllStandardOutput(), row.standardOutput);
    auto actual = sandbox.snapshot();
    for (const auto &[name, bytes] : row.changes) {
        EXPECT_EQ(sandbox.read(name), bytes) << name.toStdString();
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

INSTANTIATE_TEST_SUITE_P(Streams, CommandLine,
    ::testing::Values(
        Row { "FileToFile", { "page.html", "new.txt" }, 0, "", { { "new.txt", pageText } } },
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
        // No signal ends the program: a pipe without a reader, or a file past the size limit.
        Row { "BrokenPipe", { "page.html" }, 1, "plaintrove-strip: standard output: Broken pipe\n",
            {}, {}, {},
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
        // As in `plaintrove-strip page.html >> page.html`: it would read its own output for ever.
        Row { "StandardOutputIsTheInput", { "page.html" }, 1,
            "plaintrove-strip: standard output: the output file is the input file\n", {}, {}, {},
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
        Row { "EmptyFileName", { "page.html", "" }, 2, "an empty file name" }),
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
        Row { "FailureDoesNotStopTheOthers", { "-d", "sub", "absent.html", "page.html" }, 1,
            "plaintrove-strip: absent.html: No such file or directory\n",
            { { "sub/page.txt", pageText } } },
        Row { "HighestStatusWins", { "--output-directory=sub", "open.html", "absent.html" }, 3,
            "plaintrove-strip: open.html: warning: ", { { "sub/open.txt", unclosedText } } },
        Row { "TwoInputsForOneOutput", { "-d", "sub", "page.html", "page.htm" }, 1,
            "plaintrove-strip: page.htm: its output file sub/page.txt is already the output of "
            "page.html\n",
            { { "sub/page.txt", pageText }, { "page.htm", page } }, {}, {},
            [] { QFile::copy(QStringLiteral("page.html"), QStringLiteral("page.htm")); } },
        Row { "OutputThatIsAnotherInput", { "-d", ".", "old.html", "old.txt" }, 1,
            "plaintrove-strip: ./old.txt: the output file is also one of the input files\n",
            { { "old.html", page } }, {}, {},
            [] { QFile::copy(QStringLiteral("page.html"), QStringLiteral("old.html")); } },
        // Qt takes a name starting with ':' for one of its resources, which no directory holds.
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
                                "       plaintrove-strip [options] -d DIR FILE...\n")
        && help.contains("3 an input ended inside a tag") && process.exitCode() == 0)
        << help.toStdString();
}

} // namespace
