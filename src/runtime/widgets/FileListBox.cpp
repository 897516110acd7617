#include "FileListBox.h"

#include "NaturalOrder.h"

#include <QDir>
#include <QFileInfo>

namespace plaintrove::runtime {

FileListBox::FileListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setPath(QDir::currentPath());
}

QString FileListBox::path() const
{
    return m_path;
}

void FileListBox::setPath(const QString &path)
{
    // A relative path is taken from where the list is, like the directory list does.
    m_path = path.isEmpty()
        ? QString()
        : QDir::cleanPath(m_path.isEmpty() ? QFileInfo(path).absoluteFilePath()
                                           : QDir(m_path).absoluteFilePath(path));
    fill();
}

QString FileListBox::fileName() const
{
    const auto selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
}

void FileListBox::refresh()
{
    const QString selected = fileName();
    fill();
    if (selected.isEmpty())
        return;
    const auto matches = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!matches.isEmpty())
        setCurrentItem(matches.front());
}

void FileListBox::fill()
{
    clear();
    if (m_path.isEmpty())
        return;
    // QDir::Files covers regular files and links to them; without QDir::Hidden and QDir::System
    // it leaves out dot-files, sockets, devices and dangling links. An unreadable directory
    // simply yields no names.
    QStringList names = QDir(m_path).entryList(QDir::Files, QDir::Unsorted);
    std::sort(names.begin(), names.end(), NaturalOrder());
    addItems(names);
    setCurrentItem(nullptr);
}

} // namespace plaintrove::runtime
