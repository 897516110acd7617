// One conversion: what is written where; a failed run names file and reason, and changes nothing.

#include "ConversionRun.h"
#include "Sandbox.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

namespace {

using namespace plaintrove::conversion;
using namespace plaintrove::testing;

QString inSandbox(const Sandbox &sandbox, const char *path)
{
    if (*path == '/')
        return QString::fromUtf8(path);
    return *path ? sandbox.path(QString::fromUtf8(path)) : sandbox.root();
}

QByteArray native(const Sandbox &sandbox, const char *path)
{
    return QFile::encodeName(inSandbox(sandbox, path));
}

std::filesystem::path systemPath(const Sandbox &sandbox, const char *path)
{
    return native(sandbox, path).toStdString();
}

std::function<bool(const Sandbox &)> symlinked(const char *target, const char *name)
{
    return [=](const Sandbox &s) { return ::symlink(target, native(s, name).constData()) == 0; };
}

// A device node of the sandbox's own, which a wrong replacement could not hurt; needs root.
bool device(const Sandbox &sandbox, const char *name, unsigned minor)
{
    return ::mknod(native(sandbox, name).constData(), S_IFCHR | 0666, makedev(1, minor)) == 0;
}

struct Row
{
    const char *name;
    const char *directory; // below the sandbox, or absolute
    const char *file;
    const char *output; // below the sandbox, or absolute; empty for none
    ConversionStatus status;
    const char *about; // the file the result names
    const char *reason; // part of the result's reason; empty when there must be none
    // Adds what the row needs to the sandbox; false when this machine cannot.
    std::function<bool(const Sandbox &)> prepare = {};
    const char *written = nullptr; // the file that holds the new text afterwards
    QByteArray input = page;
    QByteArray text = pageText;
    friend void PrintTo(const Row &row, std::ostream *os) { *os << row.name; }
};

class Conversion : public ::testing::TestWithParam<Row>
{
};

TEST_P(Conversion, WritesOnlyTheOutputOrNothingAtAll)
{
    const Row &row = GetParam();
    const Sandbox sandbox;
    sandbox.write(QStringLiteral("page.html"), row.input);
    if (row.prepare && !row.prepare(sandbox))
        GTEST_SKIP() << "this machine cannot set the row up";
    auto expected = sandbox.snapshot();
    struct stat before = {};
    const bool replaces
        = row.written && ::stat(native(sandbox, row.written).constData(), &before) == 0;

    // A run gives back every descriptor it opened.
    const auto descriptors = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
    const qsizetype held = descriptors();
    const ConversionResult result = runConversion({ systemPath(sandbox, row.directory), row.file,
        *row.output ? systemPath(sandbox, row.output) : std::filesystem::path() });

    EXPECT_EQ(result.status, row.status) << result.reason;
    EXPECT_EQ(result.path, systemPath(sandbox, row.about));
    EXPECT_TRUE(
        *row.reason ? result.reason.find(row.reason) != std::string::npos : result.reason.empty())
        << result.reason;
    auto actual = sandbox.snapshot();
    if (row.written) {
        EXPECT_EQ(sandbox.read(QString::fromUtf8(row.written)), row.text);
        expected.erase(QString::fromUtf8(row.written));
        actual.erase(QString::fromUtf8(row.written));
    }
    EXPECT_EQ(actual, expected) << "something beside the output changed";
    EXPECT_EQ(descriptors(), held) << "a descriptor was left open";
    // A replaced file is a new file with the old one's permissions and owner.
    struct stat after = {};
    if (replaces && ::stat(native(sandbox, row.written).constData(), &after) == 0) {
        EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced";
        EXPECT_EQ(std::tie(after.st_mode, after.st_uid, after.st_gid),
            std::tie(before.st_mode, before.st_uid, before.st_gid));
    }
}

const QByteArray longName(255, 'b');

INSTANTIATE_TEST_SUITE_P(Succeeds, Conversion,
    ::testing::Values(Row { "CreatesANewOutput", "", "page.html", "new.txt",
                          ConversionStatus::Converted, "new.txt", "", {}, "new.txt" },
        // Root may give a user's file to root: it must stay the user's, as must its permissions.
        Row { "ReplacesAnOutputKeepingItsOwnerAndPermissions", "", "page.html", "old.txt",
            ConversionStatus::Converted, "old.txt", "",
            [](const Sandbox &s) {
                const QByteArray old = native(s, "old.txt");
                return ::chmod(old.constData(), 0640) == 0
                    && (::geteuid() != 0 || ::chown(old.constData(), 4321, ::getegid()) == 0);
            },
            "old.txt" },
        Row { "DirectoryEndingInASlash", "sub/..//", "page.html", "old.txt",
            ConversionStatus::Converted, "old.txt", "", {}, "old.txt" },
        Row { "EmptyInputGivesAnEmptyOutput", "", "page.html", "old.txt",
            ConversionStatus::Converted, "old.txt", "", {}, "old.txt", "", "" },
        Row { "UnclosedTagKeepsTheTextBeforeIt", "", "page.html", "old.txt",
            ConversionStatus::ConvertedUnclosedTag, "page.html", "never closed", {}, "old.txt",
            "first\r\nkeep <b class=\"x\"\r\nswallowed\r\n", "first\r\nkeep" },
        Row { "ALinkKeepsPointingAtTheReplacedFile", "", "page.html", "link.txt",
            ConversionStatus::Converted, "link.txt", "", symlinked("old.txt", "link.txt"),
            "old.txt" },
        Row { "ALinkToAFileYetToBeMadeMakesIt", "", "page.html", "link.txt",
            ConversionStatus::Converted, "link.txt", "", symlinked("new.txt", "link.txt"),
            "new.txt" },
        // The temporary file's name is longer than the output's, and cut to fit.
        Row { "ANameAsLongAsTheSystemAllows", "", "page.html", longName.constData(),
            ConversionStatus::Converted, longName.constData(), "",
            [](const Sandbox &s) {
                s.write(QString::fromLatin1(longName), oldOutput);
                return true;
            },
            longName.constData() },
        Row { "ADeviceIsWrittenToNotReplaced", "", "page.html", "null", ConversionStatus::Converted,
            "null", "", [](const Sandbox &s) { return device(s, "null", 3); } }),
    [](const auto &row) { return std::string(row.param.name); });

INSTANTIATE_TEST_SUITE_P(Fails, Conversion,
    ::testing::Values(Row { "MissingInput", "", "absent.html", "old.txt", ConversionStatus::Failed,
                          "absent.html", "No such file or directory" },
        Row { "InputIsADirectory", "", "sub", "old.txt", ConversionStatus::Failed, "sub",
            "Is a directory" },
        Row { "NoInputSelected", "sub", "", "old.txt", ConversionStatus::Failed, "sub",
            "no input file is selected" },
        Row { "NoOutputGiven", "", "page.html", "", ConversionStatus::Failed, "page.html",
            "no output file was given" },
        Row { "ReadFailure", "/proc/self", "mem", "old.txt", ConversionStatus::Failed,
            "/proc/self/mem", "Input/output error" },
        Row { "OutputIsTheInput", "", "page.html", "sub/../page.html", ConversionStatus::Failed,
            "sub/../page.html", "the output file is the input file" },
        Row { "OutputIsALinkToTheInput", "", "page.html", "link.txt", ConversionStatus::Failed,
            "link.txt", "the output file is the input file", symlinked("page.html", "link.txt") },
        Row { "OutputDirectoryMissing", "", "page.html", "nowhere/new.txt",
            ConversionStatus::Failed, "nowhere/new.txt", "No such file or directory" },
        Row { "OutputIsADirectory", "", "page.html", "sub", ConversionStatus::Failed, "sub",
            "Is a directory" },
        Row { "OutputIsALoopOfLinks", "", "page.html", "loop", ConversionStatus::Failed, "loop",
            "Too many levels of symbolic links", symlinked("loop", "loop") },
        Row { "OutputIsAFullDevice", "", "page.html", "full", ConversionStatus::Failed, "full",
            "No space left on device", [](const Sandbox &s) { return device(s, "full", 7); } }),
    [](const auto &row) { return std::string(row.param.name); });

} // namespace
