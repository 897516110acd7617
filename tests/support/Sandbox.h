#pragma once

// A scratch directory for the tests that touch files, the sample page they convert, and
// printers that let GoogleTest show Qt strings as text.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <map>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}
QT_END_NAMESPACE

namespace plaintrove::testing {

// The small page of the behaviour description, line by line, and what is left of it.
inline const QByteArray page
    = "<html>\r\n<body>\r\n<h1>Title</h1>\r\n<p>First <b>bold</b> word,\r\n"
      "second line.</p>\r\n</body></html>\r\n";
inline const QByteArray pageText = "\r\n\r\nTitle\r\nFirstboldword,\r\nsecond line.\r\n\r\n";
inline const QByteArray oldOutput = "an earlier output, which a failed run must leave alone\r\n";

// Starts with page.html, old.txt (an earlier output) and an empty directory sub/.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox &) = delete;
    Sandbox &operator=(const Sandbox &) = delete;

    QString root() const { return m_dir.path(); }
    // Joined by hand: QDir would tidy away the "./" and "//" spellings some tests are about.
    QString path(const QString &relative) const { return root() + QLatin1Char('/') + relative; }
    void write(const QString &relative, const QByteArray &bytes) const;
    QByteArray read(const QString &relative) const;

    // Every entry below the root: the permissions and bytes of files, the target of links, the
    // kind of anything else. Equal snapshots: nothing was changed, added or left behind.
    std::map<QString, QByteArray> snapshot() const;

private:
    QTemporaryDir m_dir;
};

} // namespace plaintrove::testing
