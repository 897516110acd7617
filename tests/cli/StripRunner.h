#pragma once

// Runs the built plaintrove-strip as a user would, in a scratch directory of its own, and
// records everything the tests check afterwards: exit status, output, messages and files.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

QT_BEGIN_NAMESPACE
void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QByteArray &bytes, std::ostream *os);
QT_END_NAMESPACE

namespace plaintrove::testing {

inline const QByteArray page = "<html>\r\n<p>Hello <b>world</b>!</p>\r\n  plain  \r\n</html>\r\n";
inline const QByteArray pageText = "\r\nHelloworld!\r\nplain\r\n\r\n";
inline const QByteArray otherPage = "<h1>Other</h1>\r\n";
inline const QByteArray otherPageText = "Other\r\n";
inline const QByteArray unclosedPage = "first\r\nkeep <b class=\"x\"\r\nswallowed\r\n";
inline const QByteArray unclosedPageText = "first\r\nkeep";
inline const QByteArray oldOutput = "the previous output, which a failed run must leave alone\r\n";

// Names each instance of a table after its row.
inline constexpr auto caseName = [](const auto &row) { return std::string(row.param.name); };

// The working directory of each run: page.html, other.htm, open.html (an unclosed tag),
// old.txt (an earlier output) and an empty directory sub/.
class Sandbox
{
public:
    Sandbox();

    QString root() const { return m_dir.path(); }
    QString path(const QString &relative) const { return root() + QLatin1Char('/') + relative; }
    QString path(const char *relative) const { return path(QString::fromUtf8(relative)); }

    void write(const QString &relative, const QByteArray &bytes) const;
    void write(const char *relative, const QByteArray &bytes) const
    {
        write(QString::fromUtf8(relative), bytes);
    }
    QByteArray read(const QString &relative) const;

    // Every entry with its bytes, or its kind or link target when it is not a file; equal
    // snapshots mean nothing was changed, added or left over. Pipes and devices are not opened.
    std::map<QString, QByteArray> snapshot() const;
    // The snapshot as it must look after `changes`: each entry gets the bytes given, or is gone
    // where they are a null QByteArray.
    using Changes = std::vector<std::pair<QString, QByteArray>>;
    std::map<QString, QByteArray> snapshotWith(const Changes &changes) const;

private:
    QTemporaryDir m_dir;
};

struct Outcome
{
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

struct RunOptions
{
    QByteArray standardInput = {};
    QString standardOutputFile = {}; // instead of a pipe to the test
    std::function<void()> inChild = nullptr; // runs in the child just before exec
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

Outcome runStrip(
    const Sandbox &sandbox, const QStringList &arguments, const RunOptions &options = {});

QStringList toArguments(const std::vector<const char *> &arguments);

// Checks the exit status, and that `standardError` occurs in the messages (or, when it is empty,
// that there are none).
void expectOutcome(const Outcome &outcome, int exitCode, const char *standardError);

} // namespace plaintrove::testing
