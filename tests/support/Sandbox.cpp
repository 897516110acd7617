#include "Sandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace plaintrove::testing {

Sandbox::Sandbox()
{
    if (!m_dir.isValid() || !QDir(root()).mkdir(QStringLiteral("sub")))
        qFatal("cannot make a scratch directory");
    write(QStringLiteral("page.html"), page);
    write(QStringLiteral("old.txt"), oldOutput);
}

namespace {

// A test may lock a folder; unless it runs as root, QTemporaryDir could not empty it.
void unlock(const QString &folder)
{
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString &name :
        QDir(folder).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks))
        unlock(folder + QLatin1Char('/') + name);
}

} // namespace

Sandbox::~Sandbox()
{
    unlock(root());
}

void Sandbox::write(const QString &relative, const QByteArray &bytes) const
{
    QFile file(path(relative));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
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
        const QFileInfo info(it.next());
        const QString relative = base.relativeFilePath(info.filePath());
        if (info.isSymLink())
            entries[relative] = "link to " + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            entries[relative] = "directory";
        else if (!info.isFile())
            entries[relative] = "special file"; // reading a pipe would wait for a writer
        else
            entries[relative]
                = QByteArray::number(info.permissions().toInt(), 16) + ": " + read(relative);
    }
    return entries;
}

} // namespace plaintrove::testing
