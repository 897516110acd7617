// plaintrove-strip as a user runs it, for what it adds to a conversion: arguments, standard
// streams, batches, exit statuses and messages. What a conversion writes is tested beside it.

#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <array>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <set>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
        // Any other pipe whose reader left is a failure to report, named by its path.
        Row { "DescriptorPipeWithoutAReader", { "page.html", "/dev/fd/3" }, 1,
            "plaintrove-strip: /dev/fd/3: Broken pipe\n", {}, {}, {},
            [] {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], 3);
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
        Row { "LettersTogetherAfterALongOption", { "--lf", "-rv" }, 0, "", {},
            "plaintrove-strip " PLAINTROVE_VERSION "\n" },
        Row { "Readable", { "--readable", "page.html" }, 0, "", {}, readableText },
        Row { "LfInTheExactMode", { "page.html", "--lf" }, 0, "", {},
            QByteArray(pageText).replace("\r\n", "\n") },
        Row { "ReadableWithLfFromStandardInput", { "--lf", "--readable", "-", "new.txt" }, 0, "",
            { { "new.txt", QByteArray(readableText).replace("\r\n", "\n") } }, {}, page },
        // No headline: the main text is the paragraph.
        Row { "Article", { "--article", "--lf", "page.html" }, 0, "", {},
            "First bold word, second line.\n" },
        // Too large to look for its article: all its text, a warning, and no failure.
        Row { "ArticleOfAPageTooLarge", { "--article", "big.html", "big.txt" }, 0,
            "plaintrove-strip: big.html: warning: the page is larger than 32 MiB",
            { { "big.txt", "Home\r\n\r\nbig\r\n" } }, {}, {}, {},
            [](const Sandbox &sandbox) {
                sandbox.write(QStringLiteral("big.html"),
                    "<nav>Home</nav><p>big</p>" + QByteArray(32 << 20, ' '));
            } },
        // A page in windows-1251, found as HTML finds it or named by the user, out in UTF-8.
        Row { "ReadableInUtf8", { "--readable", "-" }, 0, "", {}, "\xD0\x9F\xD1\x80\xD0\xB8\r\n",
            "<meta charset=windows-1251>\xCF\xF0\xE8" },
        Row { "EncodingGiven", { "--readable", "--encoding", " CP1251", "-" }, 0, "", {},
            "\xD0\x9F\r\n", "\xCF" },
        Row { "ArticleEncodingGiven", { "--article", "--encoding", "CP1251", "-" }, 0, "", {},
            "\xD0\x9F\r\n", "\xCF" },
        Row { "ReadableUnclosedTagWarns", { "--readable", "open.html" }, 3,
            "plaintrove-strip: open.html: warning: ", {}, "first keep\r\n" }),
    [](const auto &row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(Usage, CommandLine,
    ::testing::Values(Row { "TooManyArguments", { "page.html", "a", "b" }, 2,
                          "plaintrove-strip: too many arguments; only INPUT and OUTPUT may be "
                          "given\nTry 'plaintrove-strip --help' for more information.\n" },
        Row { "UnknownOption", { "-page.html", "new.txt" }, 2, "Unknown options: p, a, g, e" },
        Row { "LongOptionNotSpeltInFull", { "--read", "page.html" }, 2, "Unknown option 'read'." },
        Row { "ValueForAnOptionWithout", { "--lf=yes", "page.html" }, 2,
            "Unexpected value after '--lf'." },
        Row { "DirectoryWithoutValue", { "-d" }, 2, "Missing value after '-d'" },
        Row { "DirectoryWithoutFiles", { "-d", "sub" }, 2, "needs at least one FILE" },
        Row { "DirectoryWithStandardInput", { "-d", "sub", "-" }, 2, "standard input (\"-\")" },
        Row { "DirectoryTwice", { "-d", "sub", "-d", "sub", "page.html" }, 2, "more than once" },
        Row { "EmptyDirectoryName", { "-d", "", "page.html" }, 2, "directory name is empty" },
        Row { "EmptyFileName", { "page.html", "" }, 2, "an empty file name" },
        Row { "RecursiveWithoutDirectory", { "-r", "sub" }, 2, "--recursive needs" },
        Row { "JobsWithoutDirectory", { "-j", "2", "page.html" }, 2, "--jobs needs" },
        Row { "TwoModes", { "--article", "--readable", "page.html" }, 2,
            "--article and --readable cannot be given together" },
        Row { "NoJobs", { "-j", "0", "-d", "sub", "page.html" }, 2, "at least 1" },
        Row { "UnknownEncoding", { "--readable", "--encoding=latin-9", "page.html" }, 2,
            "plaintrove-strip: unknown encoding \"latin-9\"\n" },
        Row { "EncodingInTheExactMode", { "--encoding=utf-8", "page.html" }, 2,
            "--encoding needs --readable" }),
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
        // Each page's own encoding, or the one given, in a batch of two jobs.
        Row { "EncodingsInABatch", { "--readable", "-j", "2", "-d", "sub", "a.html", "b.html" }, 0,
            "", { { "sub/a.txt", "\xD0\x9F\r\n" }, { "sub/b.txt", "\xC3\xA9\r\n" } }, {}, {}, {},
            [](const Sandbox &sandbox) {
                sandbox.write(QStringLiteral("a.html"), "<meta charset=cp1251>\xCF");
                sandbox.write(QStringLiteral("b.html"), "\xE9");
            } },
        Row { "ArticleBatch", { "--article", "-j", "2", "-d", "sub", "page.html", "other.htm" }, 0,
            "",
            { { "sub/page.txt", "First bold word, second line.\r\n" },
                { "sub/other.txt", "First bold word, second line.\r\n" } } },
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
        // Nothing is skipped without a word: a link to nothing or to a device, a folder that
        // cannot be read (the pages of a folder come before its folders).
        Row { "WalkReportsWhatItCannotTake", { "-r", "-d", "out", "site" }, 1,
            "plaintrove-strip: site/gone.html: No such file or directory\n"
            "plaintrove-strip: site/null.html: not a regular file\n"
            "plaintrove-strip: site/locked: Permission denied\n",
            { { "out", "directory" }, { "out/a.txt", pageText } }, {}, {}, withoutRootsPowers,
            [](const Sandbox &s) {
                QDir(s.root()).mkpath(QStringLiteral("site/locked"));
                s.write(QStringLiteral("site/a.html"), page);
                s.write(QStringLiteral("site/locked/b.html"), page);
                QFile::setPermissions(s.path(QStringLiteral("site/locked")), {});
                QFile::link(QStringLiteral("nowhere"), s.path(QStringLiteral("site/gone.html")));
                QFile::link(QStringLiteral("/dev/null"), s.path(QStringLiteral("site/null.html")));
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
        // Two walked directories mirror into the same folders: the second page is refused.
        Row { "WalkedDirectoriesThatShareAnOutput", { "-r", "-d", "out", "site", "sub" }, 1,
            "plaintrove-strip: sub/a.html: its output file out/a.txt is already the output of "
            "site/a.html\n",
            { { "out", "directory" }, { "out/a.txt", pageText } }, {}, {}, {},
            [](const Sandbox &s) {
                QDir(s.root()).mkdir(QStringLiteral("site"));
                s.write(QStringLiteral("site/a.html"), page);
                s.write(QStringLiteral("sub/a.html"), page);
            } },
        // Replacing the output would replace the page it links to.
        Row { "OutputThatLinksToAPage", { "-r", "-d", "sub", "site" }, 1,
            "plaintrove-strip: sub/a.txt: the output file is also one of the input files\n",
            { { "sub/b.txt", pageText } }, {}, {}, {},
            [](const Sandbox &s) {
                QDir(s.root()).mkdir(QStringLiteral("site"));
                s.write(QStringLiteral("site/a.html"), page);
                s.write(QStringLiteral("site/b.html"), page);
                QFile::link(QStringLiteral("../site/b.html"), s.path(QStringLiteral("sub/a.txt")));
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

// A name is bytes: names in Latin-1 and in Shift_JIS (whose second bytes may be '\\') in every
// place a name goes, each converted to the same bytes. QProcess would pass them on as UTF-8.
const std::string latin1 = "caf\xE9"; // café
const std::string shiftJis = "\x93\xFA\x96\x7B\x95\x5C"; // 日本表

struct NameRow
{
    const char *name;
    std::vector<std::string> arguments;
    std::vector<std::string> pages; // made below the sandbox before the run
    std::vector<std::string> written; // hold the page's text afterwards
    int exitCode = 0;
    std::string standardError = {};
    friend void PrintTo(const NameRow &row, std::ostream *os) { *os << row.name; }
};

class Names : public ::testing::TestWithParam<NameRow>
{
};

// Every file below `root`, by its path below it.
std::set<std::string> filesBelow(const std::filesystem::path &root)
{
    std::set<std::string> files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_directory())
            files.insert(entry.path().lexically_relative(root).native());
    }
    return files;
}

TEST_P(Names, AreConvertedToTheSameBytes)
{
    const NameRow &row = GetParam();
    const Sandbox sandbox;
    const std::filesystem::path root = QFile::encodeName(sandbox.root()).toStdString();
    std::set<std::string> expected = filesBelow(root);
    for (const std::string &page : row.pages) {
        std::filesystem::create_directories((root / page).parent_path());
        std::filesystem::copy_file(root / "page.html", root / page);
        expected.insert(page);
    }
    std::vector<char *> argv { const_cast<char *>(PLAINTROVE_STRIP) };
    for (const std::string &argument : row.arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    int errors[2];
    ASSERT_EQ(::pipe(errors), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errors[1], STDERR_FILENO);
        if (::chdir(root.c_str()) == 0)
            ::execv(PLAINTROVE_STRIP, argv.data());
        ::_exit(127);
    }
    ::close(errors[1]);
    std::string message;
    std::array<char, 4096> buffer;
    for (ssize_t count; (count = ::read(errors[0], buffer.data(), buffer.size())) > 0;)
        message.append(buffer.data(), std::size_t(count));
    ::close(errors[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    EXPECT_EQ(WEXITSTATUS(status), row.exitCode);
    EXPECT_EQ(message, row.standardError);
    for (const std::string &file : row.written) {
        std::ifstream written(root / file, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), pageText.toStdString())
            << file;
        expected.insert(file);
    }
    EXPECT_EQ(filesBelow(root), expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, Names,
    ::testing::Values(NameRow { "Latin1ToShiftJis", { latin1 + ".html", shiftJis + ".txt" },
                          { latin1 + ".html" }, { shiftJis + ".txt" } },
        NameRow { "ShiftJisToLatin1", { shiftJis + ".html", latin1 + ".txt" },
            { shiftJis + ".html" }, { latin1 + ".txt" } },
        NameRow { "OutputDirectory", { "-d", shiftJis + "/" + latin1, latin1 + ".html" },
            { latin1 + ".html" }, { shiftJis + "/" + latin1 + "/" + latin1 + ".txt" } },
        NameRow { "FoundByTheWalk", { "-r", "-d", "out", shiftJis },
            { shiftJis + "/" + latin1 + ".HTM",
                shiftJis + "/" + shiftJis + "/" + latin1 + ".html" },
            { "out/" + latin1 + ".txt", "out/" + shiftJis + "/" + latin1 + ".txt" } },
        NameRow { "NamedInAMessage", { shiftJis + ".html" }, {}, {}, 1,
            "plaintrove-strip: " + shiftJis + ".html: No such file or directory\n" },
        NameRow { "NamedInAClash", { "-r", "-d", "out", "site" },
            { "site/" + latin1 + ".htm", "site/" + latin1 + ".html" }, { "out/" + latin1 + ".txt" },
            1,
            "plaintrove-strip: site/" + latin1 + ".html: its output file out/" + latin1
                + ".txt is already the output of site/" + latin1 + ".htm\n" }),
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
