#include "ConversionRun.h"

#include "Files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

QT_BEGIN_NAMESPACE
// Lets failure messages show paths and reasons as text.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace plaintrove::conversion {

void PrintTo(ConversionStatus status, std::ostream *os)
{
    switch (status) {
    case ConversionStatus::Converted:
        *os << "Converted";
        return;
    case ConversionStatus::ConvertedUnclosedTag:
        *os << "ConvertedUnclosedTag";
        return;
    case ConversionStatus::Failed:
        *os << "Failed";
        return;
    }
}

namespace {

const QByteArray page = "<html>\r\n<p>Hello <b>world</b>!</p>\r\n  plain  \r\n</html>\r\n";
const QByteArray pageText = "\r\nHelloworld!\r\nplain\r\n\r\n";
const QByteArray unclosedPage = "first\r\nkeep <b class=\"x\"\r\nswallowed\r\n";
const QByteArray unclosedPageText = "first\r\nkeep";
const QByteArray oldOutput = "the previous output, which a failed run must leave alone\r\n";

// A scratch tree: in/page.html is the input, out/old.txt an earlier output.
class Sandbox
{
public:
    Sandbox()
    {
        EXPECT_TRUE(m_dir.isValid());
        EXPECT_TRUE(QDir(root()).mkpath(QStringLiteral("in")));
        EXPECT_TRUE(QDir(root()).mkpath(QStringLiteral("out")));
        write(QStringLiteral("in/page.html"), page);
        write(QStringLiteral("out/old.txt"), oldOutput);
    }

    QString root() const { return m_dir.path(); }
    // Joined by hand: QDir would tidy the "./" and "//" spellings the tests are about.
    QString path(const QString &relative) const { return root() + QLatin1Char('/') + relative; }

    void write(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            << relative.toStdString();
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray read(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    // Every entry below the root with its kind, link target, permissions and bytes: two equal
    // snapshots mean nothing was changed, added or left behind.
    std::map<QString, QByteArray> snapshot() const
    {
        std::map<QString, QByteArray> entries;
        QDirIterator it(root(),
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        const QDir base(root());
        while (it.hasNext()) {
            const QString entry = it.next();
            const QFileInfo info(entry);
            QByteArray description;
            if (info.isSymLink())
                description = "link to " + info.symLinkTarget().toUtf8();
            else if (info.isDir())
                description = "directory";
            else if (!info.isFile())
                description = "special file"; // a pipe: reading it would wait for a writer
            else
                description = "file " + QByteArray::number(info.permissions().toInt(), 16) + ": "
                    + read(base.relativeFilePath(entry));
            entries[base.relativeFilePath(entry)] = description;
        }
        return entries;
    }

private:
    QTemporaryDir m_dir;
};

void makeSymbolicLink(const Sandbox &sandbox, const char *target, const char *link)
{
    ASSERT_TRUE(QFile::link(QString::fromUtf8(target), sandbox.path(QString::fromUtf8(link))));
}

void makePipe(const Sandbox &sandbox, const char *name)
{
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(sandbox.path(QString::fromUtf8(name))).constData(), 0600), 0);
}

void makeHardLink(const Sandbox &sandbox, const char *target, const char *link)
{
    ASSERT_EQ(::link(QFile::encodeName(sandbox.path(QString::fromUtf8(target))).constData(),
                  QFile::encodeName(sandbox.path(QString::fromUtf8(link))).constData()),
        0);
}

// Lowers the file-size limit of this process for one scope, so that writes past it fail with
// EFBIG as on a full disk. SIGXFSZ is ignored meanwhile; it would end the test run.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &m_saved), 0);
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        EXPECT_EQ(::sigaction(SIGXFSZ, &ignore, &m_savedAction), 0);
        const rlimit lowered { bytes, m_saved.rlim_max };
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::sigaction(SIGXFSZ, &m_savedAction, nullptr);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved {};
    struct sigaction m_savedAction = {};
};

// Many times the engine's buffers, so that reads and writes repeat.
QByteArray largePage(bool asText = false)
{
    QByteArray bytes;
    for (int line = 0; line < 20000; ++line) {
        const QByteArray text = "line " + QByteArray::number(line) + " of a long page";
        bytes += (asText ? text : "<p>" + text + "</p>") + "\r\n";
    }
    return bytes;
}

// Names each instance of a table after its row.
constexpr auto caseName = [](const auto &row) { return std::string(row.param.name); };

// ---- Request paths

struct JoinCase
{
    const char *name;
    const char *directory;
    const char *fileName;
    const char *inputPath;
};

void PrintTo(const JoinCase &row, std::ostream *os)
{
    *os << row.name;
}

class InputPathJoin : public testing::TestWithParam<JoinCase>
{
};

TEST_P(InputPathJoin, JoinsDirectorySeparatorAndNameAsTheyStand)
{
    const JoinCase &c = GetParam();
    const ConversionRequest request { QString::fromUtf8(c.directory), QString::fromUtf8(c.fileName),
        QStringLiteral("out.txt") };
    EXPECT_EQ(request.inputPath(), QString::fromUtf8(c.inputPath));
}

INSTANTIATE_TEST_SUITE_P(Paths, InputPathJoin,
    testing::Values(JoinCase { "Plain", "/home/u/web", "index.html", "/home/u/web/index.html" },
        JoinCase { "DirectoryEndingInSeparator", "/home/u/", "index.html", "/home/u//index.html" },
        JoinCase { "Root", "/", "index.html", "//index.html" },
        JoinCase { "NoFileSelected", "/home/u", "", "/home/u/" }),
    caseName);

// ---- Failures: nothing of the user's may change

struct FailureCase
{
    const char *name;
    const char *directory; // below the sandbox, or absolute when it starts with '/'
    const char *fileName;
    const char *outputPath; // below the sandbox; empty for none at all
    const char *expectedPath; // below the sandbox, or absolute
    const char *reason; // must occur in the result's reason
    std::function<void(const Sandbox &)> prepare = {};
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

void PrintTo(const FailureCase &row, std::ostream *os)
{
    *os << row.name;
}

QString resolved(const Sandbox &sandbox, const char *path)
{
    const QString text = QString::fromUtf8(path);
    if (text.startsWith(QLatin1Char('/')))
        return text;
    return text.isEmpty() ? sandbox.root() : sandbox.path(text);
}

class ConversionFailure : public testing::TestWithParam<FailureCase>
{
};

TEST_P(ConversionFailure, ReportsPathAndReasonAndChangesNothing)
{
    const FailureCase &c = GetParam();
    const Sandbox sandbox;
    if (c.prepare)
        c.prepare(sandbox);
    const auto before = sandbox.snapshot();

    const ConversionRequest request { resolved(sandbox, c.directory), QString::fromUtf8(c.fileName),
        *c.outputPath ? sandbox.path(QString::fromUtf8(c.outputPath)) : QString() };
    ConversionResult result;
    {
        const FileSizeLimit limit(c.fileSizeLimit);
        result = runConversion(request);
    }

    EXPECT_EQ(result.status, ConversionStatus::Failed);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.path, resolved(sandbox, c.expectedPath));
    EXPECT_TRUE(result.reason.contains(QString::fromUtf8(c.reason)))
        << "reason: " << result.reason.toStdString();
    EXPECT_EQ(sandbox.snapshot(), before);
}

const auto bigInput
    = [](const Sandbox &sandbox) { sandbox.write(QStringLiteral("in/page.html"), largePage()); };

INSTANTIATE_TEST_SUITE_P(Files, ConversionFailure,
    testing::Values(FailureCase { "MissingInput", "in", "absent.html", "out/old.txt",
                        "in/absent.html", "No such file or directory" },
        FailureCase { "InputIsDirectory", "", "in", "out/old.txt", "in", "Is a directory" },
        FailureCase {
            "NoFileSelected", "in", "", "out/old.txt", "in", "no input file is selected" },
        FailureCase {
            "EmptyOutputPath", "in", "page.html", "", "in/page.html", "no output file was given" },
        FailureCase { "OutputIsInputSamePath", "in", "page.html", "in/page.html", "in/page.html",
            "the output file is the input file" },
        FailureCase { "OutputIsInputDotSpelling", "in", "page.html", "in/./page.html",
            "in/./page.html", "the output file is the input file" },
        FailureCase { "OutputIsInputDoubledSeparator", "in", "page.html", "in//page.html",
            "in//page.html", "the output file is the input file" },
        FailureCase { "OutputIsInputThroughParent", "in", "page.html", "out/../in/page.html",
            "out/../in/page.html", "the output file is the input file" },
        FailureCase { "OutputIsSymbolicLinkToInput", "in", "page.html", "out/link.txt",
            "out/link.txt", "the output file is the input file",
            [](const Sandbox &s) { makeSymbolicLink(s, "../in/page.html", "out/link.txt"); } },
        FailureCase { "OutputIsHardLinkToInput", "in", "page.html", "out/hard.txt", "out/hard.txt",
            "the output file is the input file",
            [](const Sandbox &s) { makeHardLink(s, "in/page.html", "out/hard.txt"); } },
        FailureCase { "OutputDirectoryMissing", "in", "page.html", "nowhere/new.txt",
            "nowhere/new.txt", "No such file or directory" },
        FailureCase { "OutputIsDirectory", "in", "page.html", "out", "out", "Is a directory" },
        FailureCase { "OutputIsLoopOfLinks", "in", "page.html", "out/loop1", "out/loop1",
            "Too many levels of symbolic links",
            [](const Sandbox &s) {
                makeSymbolicLink(s, "loop2", "out/loop1");
                makeSymbolicLink(s, "loop1", "out/loop2");
            } },
        // A pipe is written to as it is; without a reader that fails at once instead of
        // waiting, and the pipe stays a pipe.
        FailureCase { "OutputIsPipeWithoutReader", "in", "page.html", "out/pipe", "out/pipe",
            "No such device or address", [](const Sandbox &s) { makePipe(s, "out/pipe"); } },
        FailureCase { "ReadFailure", "/proc/self", "mem", "out/old.txt", "/proc/self/mem",
            "Input/output error" },
        FailureCase { "WriteFailureReplacingOutput", "in", "page.html", "out/old.txt",
            "out/old.txt", "File too large", bigInput, 64 * 1024 },
        FailureCase { "WriteFailureNewOutput", "in", "page.html", "out/new.txt", "out/new.txt",
            "File too large", bigInput, 64 * 1024 }),
    caseName);

TEST(ConversionSuccess, PipeIsWrittenToNotReplaced)
{
    const Sandbox sandbox;
    makePipe(sandbox, "out/pipe");
    const QString pipe = sandbox.path(QStringLiteral("out/pipe"));
    QByteArray received;
    std::thread reader([&pipe, &received] {
        QFile file(pipe);
        if (file.open(QIODevice::ReadOnly))
            received = file.readAll();
    });
    // The reader must be waiting on the pipe before the conversion opens it.
    ConversionResult result;
    for (int attempt = 0; attempt < 200; ++attempt) {
        result = runConversion(ConversionRequest {
            sandbox.path(QStringLiteral("in")), QStringLiteral("page.html"), pipe });
        if (result.succeeded())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    reader.join();
    EXPECT_EQ(result.status, ConversionStatus::Converted) << result.reason.toStdString();
    EXPECT_EQ(received, pageText);
    struct stat status = {};
    ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST(ConversionFailure, ProcSelfMemReallyFailsToRead)
{
    // The read-failure case relies on this file opening fine and failing at offset 0.
    runtime::InputFile input(QStringLiteral("/proc/self/mem"));
    ASSERT_TRUE(input.isOpen()) << input.errorString().toStdString();
    char buffer[16];
    EXPECT_EQ(input.read(buffer), -1);
    EXPECT_EQ(input.errorString(), QStringLiteral("Input/output error"));
}

// ---- Successes

struct SuccessCase
{
    const char *name;
    const char *directory;
    const char *outputPath;
    QByteArray input;
    ConversionStatus status;
    QByteArray expectedOutput;
    const char *outputToCheck; // the file that must hold the output afterwards
    std::function<void(const Sandbox &)> prepare = {};
};

void PrintTo(const SuccessCase &row, std::ostream *os)
{
    *os << row.name;
}

class ConversionSuccess : public testing::TestWithParam<SuccessCase>
{
};

TEST_P(ConversionSuccess, WritesTheTextAndChangesNothingElse)
{
    const SuccessCase &c = GetParam();
    const Sandbox sandbox;
    sandbox.write(QStringLiteral("in/page.html"), c.input);
    if (c.prepare)
        c.prepare(sandbox);
    auto expected = sandbox.snapshot();

    const ConversionResult result = runConversion({ sandbox.path(QString::fromUtf8(c.directory)),
        QStringLiteral("page.html"), sandbox.path(QString::fromUtf8(c.outputPath)) });

    ASSERT_EQ(result.status, c.status) << result.reason.toStdString();
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(sandbox.read(QString::fromUtf8(c.outputToCheck)), c.expectedOutput);
    if (c.status == ConversionStatus::ConvertedUnclosedTag) {
        EXPECT_EQ(result.path,
            sandbox.path(QString::fromUtf8(c.directory)) + QStringLiteral("/page.html"));
        EXPECT_TRUE(result.reason.contains(QStringLiteral("never closed")));
    } else {
        EXPECT_TRUE(result.reason.isEmpty());
    }

    // Apart from the output's bytes, the tree is as it was: no temporary file, the input and
    // any link untouched, the permissions of a replaced file kept.
    const QString checked = QString::fromUtf8(c.outputToCheck);
    const QFileInfo outputInfo(sandbox.path(checked));
    const QByteArray permissions = expected.count(checked)
        ? expected[checked].left(expected[checked].indexOf(':'))
        : "file " + QByteArray::number(outputInfo.permissions().toInt(), 16);
    expected[checked] = permissions + ": " + c.expectedOutput;
    EXPECT_EQ(sandbox.snapshot(), expected);
}

INSTANTIATE_TEST_SUITE_P(Files, ConversionSuccess,
    testing::Values(SuccessCase { "ReplacesExistingOutput", "in", "out/old.txt", page,
                        ConversionStatus::Converted, pageText, "out/old.txt" },
        SuccessCase { "CreatesNewOutput", "in", "out/new.txt", page, ConversionStatus::Converted,
            pageText, "out/new.txt" },
        SuccessCase { "EmptyInputGivesEmptyOutput", "in", "out/old.txt", "",
            ConversionStatus::Converted, "", "out/old.txt" },
        SuccessCase { "DirectoryEndingInSeparator", "in/", "out/old.txt", page,
            ConversionStatus::Converted, pageText, "out/old.txt" },
        SuccessCase { "UnclosedTagKeepsTextBeforeIt", "in", "out/old.txt", unclosedPage,
            ConversionStatus::ConvertedUnclosedTag, unclosedPageText, "out/old.txt" },
        SuccessCase { "KeepsPermissionsOfReplacedFile", "in", "out/old.txt", page,
            ConversionStatus::Converted, pageText, "out/old.txt",
            [](const Sandbox &s) {
                ASSERT_TRUE(QFile::setPermissions(s.path(QStringLiteral("out/old.txt")),
                    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
            } },
        SuccessCase { "ReplacesTargetOfSymbolicLink", "in", "out/link.txt", page,
            ConversionStatus::Converted, pageText, "out/old.txt",
            [](const Sandbox &s) { makeSymbolicLink(s, "old.txt", "out/link.txt"); } },
        SuccessCase { "LargeInput", "in", "out/old.txt", largePage(), ConversionStatus::Converted,
            largePage(true), "out/old.txt" }),
    caseName);

TEST(ConversionSuccess, SameRequestRunsTwice)
{
    const Sandbox sandbox;
    const ConversionRequest request { sandbox.path(QStringLiteral("in")),
        QStringLiteral("page.html"), sandbox.path(QStringLiteral("out/old.txt")) };
    EXPECT_EQ(runConversion(request).status, ConversionStatus::Converted);
    sandbox.write(QStringLiteral("in/page.html"), "<i>again</i>\r\n");
    EXPECT_EQ(runConversion(request).status, ConversionStatus::Converted);
    EXPECT_EQ(sandbox.read(QStringLiteral("out/old.txt")), QByteArray("again\r\n"));
}

// ---- The files underneath

TEST(OutputFile, UncommittedOutputLeavesNoTraceAndOldFileIntact)
{
    const Sandbox sandbox;
    const auto before = sandbox.snapshot();
    {
        runtime::OutputFile output(sandbox.path(QStringLiteral("out/old.txt")));
        ASSERT_TRUE(output.isOpen()) << output.errorString().toStdString();
        EXPECT_TRUE(output.write("half a conversion"));
    }
    {
        runtime::OutputFile output(sandbox.path(QStringLiteral("out/new.txt")));
        ASSERT_TRUE(output.isOpen());
        EXPECT_TRUE(output.write("never committed"));
        output.discard();
        EXPECT_FALSE(output.isOpen());
        EXPECT_FALSE(output.write("more"));
        EXPECT_FALSE(output.commit());
    }
    EXPECT_EQ(sandbox.snapshot(), before);
}

TEST(OutputFile, CommitReplacesTheFile)
{
    const Sandbox sandbox;
    runtime::OutputFile output(sandbox.path(QStringLiteral("out/old.txt")));
    ASSERT_TRUE(output.isOpen());
    ASSERT_TRUE(output.write("new "));
    ASSERT_TRUE(output.write("bytes"));
    EXPECT_EQ(sandbox.read(QStringLiteral("out/old.txt")), oldOutput);
    ASSERT_TRUE(output.commit());
    EXPECT_EQ(sandbox.read(QStringLiteral("out/old.txt")), QByteArray("new bytes"));
}

} // namespace
} // namespace plaintrove::conversion
