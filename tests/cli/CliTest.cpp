// Runs the built plaintrove-strip as a user would and checks its exit status, its output, its
// messages and every file it may or may not have touched.

#include "StripRunner.h"

#include <QFile>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace plaintrove::testing;

// ---- One file at a time

struct SingleCase
{
    const char *name;
    std::vector<const char *> arguments;
    QByteArray standardInput;
    int exitCode;
    QByteArray standardOutput;
    const char *standardError; // must occur in it; empty: standard error must be empty
    // Files that differ from the sandbox afterwards (all others must be as they were).
    Sandbox::Changes changedFiles = {};
};

void PrintTo(const SingleCase &row, std::ostream *os)
{
    *os << row.name;
}

class SingleConversion : public testing::TestWithParam<SingleCase>
{
};

TEST_P(SingleConversion, ExitStatusOutputMessagesAndFiles)
{
    const SingleCase &c = GetParam();
    const Sandbox sandbox;
    const auto expectedFiles = sandbox.snapshotWith(c.changedFiles);

    const Outcome outcome = runStrip(sandbox, toArguments(c.arguments), { c.standardInput });

    expectOutcome(outcome, c.exitCode, c.standardError);
    EXPECT_EQ(outcome.standardOutput, c.standardOutput);
    EXPECT_EQ(sandbox.snapshot(), expectedFiles);
}

INSTANTIATE_TEST_SUITE_P(Cli, SingleConversion,
    testing::Values(SingleCase { "FileToFileReplacesOutput", { "page.html", "old.txt" }, "", 0, "",
                        "", { { "old.txt", pageText } } },
        SingleCase { "FileToNewFile", { "page.html", "new.txt" }, "", 0, "", "",
            { { "new.txt", pageText } } },
        SingleCase { "FileToMissingOutputIsStandardOutput", { "page.html" }, "", 0, pageText, "" },
        SingleCase { "FileToDashIsStandardOutput", { "page.html", "-" }, "", 0, pageText, "" },
        SingleCase { "NoArgumentsIsStandardInputToStandardOutput", {}, page, 0, pageText, "" },
        SingleCase { "DashesAreStandardStreams", { "-", "-" }, page, 0, pageText, "" },
        SingleCase { "StandardInputToFile", { "-", "new.txt" }, page, 0, "", "",
            { { "new.txt", pageText } } },
        SingleCase { "OptionsEndBeforeDashDash", { "--", "page.html" }, "", 0, pageText, "" },
        SingleCase { "UnclosedTagKeepsTextAndWarns", { "open.html", "old.txt" }, "", 3, "",
            "plaintrove-strip: open.html: warning: the input ends inside a tag",
            { { "old.txt", unclosedPageText } } },
        SingleCase { "UnclosedTagOnStandardInput", {}, unclosedPage, 3, unclosedPageText,
            "plaintrove-strip: standard input: warning: " },
        SingleCase { "MissingInput", { "absent.html", "old.txt" }, "", 1, "",
            "plaintrove-strip: absent.html: No such file or directory\n" },
        SingleCase { "InputIsDirectory", { "sub", "old.txt" }, "", 1, "",
            "plaintrove-strip: sub: Is a directory\n" },
        SingleCase { "OutputIsInput", { "page.html", "./page.html" }, "", 1, "",
            "plaintrove-strip: ./page.html: the output file is the input file\n" },
        SingleCase { "OutputDirectoryMissing", { "page.html", "nowhere/new.txt" }, "", 1, "",
            "plaintrove-strip: nowhere/new.txt: No such file or directory\n" },
        SingleCase { "OutputIsDirectory", { "page.html", "sub" }, "", 1, "",
            "plaintrove-strip: sub: Is a directory\n" },
        SingleCase { "ReadFailure", { "/proc/self/mem", "old.txt" }, "", 1, "",
            "plaintrove-strip: /proc/self/mem: Input/output error\n" },
        SingleCase { "TooManyArguments", { "page.html", "a.txt", "b.txt" }, "", 2, "",
            "Try 'plaintrove-strip --help'" },
        SingleCase { "UnknownOption", { "--frobnicate", "page.html" }, "", 2, "",
            "Try 'plaintrove-strip --help'" },
        SingleCase {
            "DirectoryOptionWithoutValue", { "-d" }, "", 2, "", "Try 'plaintrove-strip --help'" },
        SingleCase {
            "DirectoryOptionWithoutFiles", { "-d", "sub" }, "", 2, "", "needs at least one FILE" },
        SingleCase {
            "DirectoryOptionWithStandardInput", { "-d", "sub", "-" }, "", 2, "", "standard input" },
        SingleCase { "DirectoryOptionTwice", { "-d", "sub", "-d", "sub", "page.html" }, "", 2, "",
            "more than once" },
        SingleCase { "EmptyDirectoryName", { "-d", "", "page.html" }, "", 2, "", "empty" },
        SingleCase { "EmptyInputName", { "", "old.txt" }, "", 2, "", "an empty file name" },
        SingleCase { "EmptyOutputName", { "page.html", "" }, "", 2, "", "an empty file name" },
        SingleCase { "Version", { "--version" }, "", 0, "plaintrove-strip 2.0.1\n", "" },
        SingleCase { "VersionShort", { "-v" }, "", 0, "plaintrove-strip 2.0.1\n", "" }),
    caseName);

// A closed standard stream must not lend its number to a file the program opens, and writing to
// it must fail as it would have.
TEST(SingleConversion, ClosedStandardOutputIsAnError)
{
    const Sandbox sandbox;
    RunOptions options;
    options.inChild = [] { ::close(STDOUT_FILENO); };
    const Outcome outcome = runStrip(sandbox, { QStringLiteral("page.html") }, options);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.standardError.contains("standard output: Bad file descriptor"))
        << outcome.standardError.toStdString();
}

TEST(SingleConversion, HelpShowsBothFormsAndExitStatuses)
{
    const Sandbox sandbox;
    const Outcome outcome = runStrip(sandbox, { QStringLiteral("--help") });
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_TRUE(
        outcome.standardOutput.startsWith("Usage: plaintrove-strip [options] [INPUT [OUTPUT]]\n"));
    EXPECT_TRUE(outcome.standardOutput.contains("plaintrove-strip [options] -d DIR FILE..."));
    EXPECT_TRUE(outcome.standardOutput.contains("--output-directory <DIR>"));
    EXPECT_TRUE(outcome.standardOutput.contains("3 an input ended inside a tag"));
    EXPECT_EQ(outcome.standardError, QByteArray());
}

TEST(SingleConversion, StandardOutputThatIsTheInputIsRefused)
{
    // As in `plaintrove-strip page.html >> page.html`: reading its own output back for ever.
    const Sandbox sandbox;
    const auto before = sandbox.snapshot();
    const int fd = ::open(
        QFile::encodeName(sandbox.path("page.html")).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const Outcome outcome = runStrip(sandbox, { QStringLiteral("page.html") },
        { .inChild = [fd] { ::dup2(fd, STDOUT_FILENO); } });
    ::close(fd);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(
        outcome.standardError.contains("standard output: the output file is the input file"))
        << outcome.standardError.toStdString();
    EXPECT_EQ(sandbox.snapshot(), before);
}

// ---- Failing writes

struct WriteFailureCase
{
    const char *name;
    std::vector<const char *> arguments;
    const char *standardError;
    bool toDevFull = false;
    bool toClosedPipe = false;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

void PrintTo(const WriteFailureCase &row, std::ostream *os)
{
    *os << row.name;
}

class WriteFailure : public testing::TestWithParam<WriteFailureCase>
{
};

TEST_P(WriteFailure, IsExitOneWithAMessageAndChangesNothing)
{
    const WriteFailureCase &c = GetParam();
    const Sandbox sandbox;
    // Far more than a pipe holds, so that a write is still pending when the reader goes away.
    QByteArray large;
    for (int line = 0; line < 40000; ++line)
        large += "<p>line " + QByteArray::number(line) + "</p>\r\n";
    sandbox.write("large.html", large);
    const auto before = sandbox.snapshot();

    int pipeEnds[2] = { -1, -1 };
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    ::close(pipeEnds[0]); // nobody will ever read
    const int writeEnd = pipeEnds[1];
    const rlim_t limit = c.fileSizeLimit;
    const bool closedPipe = c.toClosedPipe;
    RunOptions options;
    if (c.toDevFull)
        options.standardOutputFile = QStringLiteral("/dev/full");
    // No signal is ignored here: the program must turn SIGPIPE and SIGXFSZ into messages itself.
    options.inChild = [writeEnd, limit, closedPipe] {
        if (closedPipe)
            ::dup2(writeEnd, STDOUT_FILENO);
        if (limit != RLIM_INFINITY) {
            const rlimit lowered { limit, limit };
            ::setrlimit(RLIMIT_FSIZE, &lowered);
        }
    };
    const Outcome outcome = runStrip(sandbox, toArguments(c.arguments), options);
    ::close(writeEnd);

    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.standardError.contains(c.standardError))
        << outcome.standardError.toStdString();
    EXPECT_EQ(sandbox.snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Cli, WriteFailure,
    testing::Values(WriteFailureCase { "DevFull", { "page.html" },
                        "plaintrove-strip: standard output: No space left on device\n", true },
        WriteFailureCase { "DevFullVersion", { "--version" },
            "plaintrove-strip: standard output: No space left on device\n", true },
        WriteFailureCase { "DevFullHelp", { "--help" },
            "plaintrove-strip: standard output: No space left on device\n", true },
        WriteFailureCase { "ClosedPipe", { "large.html" },
            "plaintrove-strip: standard output: Broken pipe\n", false, true },
        WriteFailureCase { "FileSizeLimitReplacingOutput", { "large.html", "old.txt" },
            "plaintrove-strip: old.txt: File too large\n", false, false, 64 * 1024 },
        WriteFailureCase { "FileSizeLimitNewOutput", { "large.html", "new.txt" },
            "plaintrove-strip: new.txt: File too large\n", false, false, 64 * 1024 },
        WriteFailureCase { "FileSizeLimitInBatch", { "-d", "sub", "large.html" },
            "plaintrove-strip: sub/large.txt: File too large\n", false, false, 64 * 1024 }),
    caseName);

// ---- Batch mode

struct BatchCase
{
    const char *name;
    std::vector<const char *> arguments;
    int exitCode;
    std::vector<const char *> messages; // each must occur on standard error
    Sandbox::Changes changedFiles;
    std::vector<std::pair<const char *, QByteArray>> extraInputs = {};
};

void PrintTo(const BatchCase &row, std::ostream *os)
{
    *os << row.name;
}

class Batch : public testing::TestWithParam<BatchCase>
{
};

TEST_P(Batch, WritesEachFileAndReportsTheHighestStatus)
{
    const BatchCase &c = GetParam();
    const Sandbox sandbox;
    for (const auto &[name, bytes] : c.extraInputs)
        sandbox.write(name, bytes);
    const auto expectedFiles = sandbox.snapshotWith(c.changedFiles);

    const Outcome outcome = runStrip(sandbox, toArguments(c.arguments));

    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.standardError.toStdString();
    EXPECT_EQ(outcome.standardOutput, QByteArray());
    for (const char *message : c.messages) {
        EXPECT_TRUE(outcome.standardError.contains(message))
            << "missing: " << message << "\nin: " << outcome.standardError.toStdString();
    }
    if (c.messages.empty()) {
        EXPECT_EQ(outcome.standardError, QByteArray());
    }
    EXPECT_EQ(sandbox.snapshot(), expectedFiles);
}

INSTANTIATE_TEST_SUITE_P(Cli, Batch,
    testing::Values(
        BatchCase { "NamesLoseTheirLastExtension",
            { "-d", "sub", "page.html", "other.htm", "a.b.html", "noext", ".hidden" }, 0, {},
            { { "sub/page.txt", pageText }, { "sub/other.txt", otherPageText },
                { "sub/a.b.txt", otherPageText }, { "sub/noext.txt", pageText },
                { "sub/.hidden.txt", otherPageText } },
            { { "a.b.html", otherPage }, { "noext", page }, { ".hidden", otherPage } } },
        BatchCase { "LongOptionAndExistingOutputReplaced",
            { "--output-directory", ".", "page.html" }, 0, {}, { { "page.txt", pageText } },
            { { "page.txt", oldOutput } } },
        BatchCase { "FailureDoesNotStopTheOthers", { "-d", "sub", "absent.html", "page.html" }, 1,
            { "plaintrove-strip: absent.html: No such file or directory\n" },
            { { "sub/page.txt", pageText } } },
        BatchCase { "UnclosedTagOutranksSuccess", { "-d", "sub", "page.html", "open.html" }, 3,
            { "plaintrove-strip: open.html: warning: " },
            { { "sub/page.txt", pageText }, { "sub/open.txt", unclosedPageText } } },
        BatchCase { "HighestStatusWins", { "-d", "sub", "open.html", "absent.html", "page.html" },
            3,
            { "plaintrove-strip: open.html: warning: ",
                "plaintrove-strip: absent.html: No such file or directory\n" },
            { { "sub/page.txt", pageText }, { "sub/open.txt", unclosedPageText } } },
        BatchCase { "DuplicateOutputNameIsAnErrorNotAnOverwrite",
            { "-d", "sub", "page.html", "page.htm", "other.htm" }, 1,
            { "plaintrove-strip: page.htm: its output file sub/page.txt is already the output of "
              "page.html\n" },
            { { "sub/page.txt", pageText }, { "sub/other.txt", otherPageText } },
            { { "page.htm", otherPage } } },
        BatchCase { "SameInputTwice", { "-d", "sub", "page.html", "page.html" }, 1,
            { "plaintrove-strip: page.html: its output file sub/page.txt is already" },
            { { "sub/page.txt", pageText } } },
        BatchCase { "OutputThatIsItsOwnInputIsRefused", { "-d", ".", "old.txt" }, 1,
            { "plaintrove-strip: ./old.txt: the output file is the input file\n" }, {} },
        BatchCase { "OutputThatIsAnotherInputIsRefused", { "-d", ".", "old.html", "old.txt" }, 1,
            // The refused output is nobody's: old.txt is then refused as its own output.
            { "plaintrove-strip: ./old.txt: the output file is also one of the input files\n",
                "plaintrove-strip: ./old.txt: the output file is the input file\n" },
            {}, { { "old.html", page } } },
        BatchCase { "OutputDirectoryMissing", { "-d", "nowhere", "page.html", "other.htm" }, 1,
            { "plaintrove-strip: nowhere/page.txt: No such file or directory\n",
                "plaintrove-strip: nowhere/other.txt: No such file or directory\n" },
            {} },
        // Qt reads a name that starts with ':' as one of its resources, which no directory holds.
        BatchCase { "NamesStartingWithAColonStayInTheDirectory",
            { "-d", "sub", ":notes.html", "./:other.htm" }, 0, {},
            { { "sub/:notes.txt", pageText }, { "sub/:other.txt", otherPageText } },
            { { ":notes.html", page }, { ":other.htm", otherPage } } }),
    caseName);

} // namespace
