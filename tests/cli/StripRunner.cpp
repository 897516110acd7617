#include "StripRunner.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}
QT_END_NAMESPACE

namespace plaintrove::testing {

Sandbox::Sandbox()
{
    EXPECT_TRUE(m_dir.isValid());
    EXPECT_TRUE(QDir(root()).mkdir(QStringLiteral("sub")));
    write("page.html", page);
    write("other.htm", otherPage);
    write("open.html", unclosedPage);
    write("old.txt", oldOutput);
}

void Sandbox::write(const QString &relative, const QByteArray &bytes) const
{
    QFile file(path(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << relative.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Sandbox::read(const QString &relative) const
{
    QFile file(path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

std::map<QString, QByteArray> Sandbox::snapshot() const
{
    std::map<QString, QByteArray> entries;
    const QDir base(root());
    QDirIterator it(root(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        const QString relative = base.relativeFilePath(entry);
        const QFileInfo info(entry);
        if (info.isSymLink())
            entries[relative] = "link to " + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            entries[relative] = "<dir>";
        else if (!info.isFile())
            entries[relative] = "<special>";
        else
            entries[relative] = read(relative);
    }
    return entries;
}

std::map<QString, QByteArray> Sandbox::snapshotWith(const Changes &changes) const
{
    auto entries = snapshot();
    for (const auto &[name, bytes] : changes) {
        if (bytes.isNull())
            entries.erase(name);
        else
            entries[name] = bytes;
    }
    return entries;
}

Outcome runStrip(const Sandbox &sandbox, const QStringList &arguments, const RunOptions &options)
{
    QProcess process;
    process.setWorkingDirectory(sandbox.root());
    process.setProcessEnvironment(options.environment);
    if (!options.standardOutputFile.isEmpty())
        process.setStandardOutputFile(options.standardOutputFile);
    if (options.inChild)
        process.setChildProcessModifier(options.inChild);
    process.start(QStringLiteral(PLAINTROVE_STRIP_EXE), arguments);
    EXPECT_TRUE(process.waitForStarted()) << process.errorString().toStdString();
    process.write(options.standardInput);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "the program was killed";
    return { process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError() };
}

QStringList toArguments(const std::vector<const char *> &arguments)
{
    QStringList list;
    for (const char *argument : arguments)
        list << QString::fromUtf8(argument);
    return list;
}

void expectOutcome(const Outcome &outcome, int exitCode, const char *standardError)
{
    EXPECT_EQ(outcome.exitCode, exitCode) << outcome.standardError.toStdString();
    if (*standardError) {
        EXPECT_TRUE(outcome.standardError.contains(standardError))
            << outcome.standardError.toStdString();
    } else {
        EXPECT_EQ(outcome.standardError, QByteArray());
    }
}

} // namespace plaintrove::testing
