#include "FileListBox.h"

#include "NaturalOrder.h"
#include "SystemPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <filesystem>
#include <system_error>

namespace plaintrove::runtime {

FileListBox::FileListBox(QWidget *parent)
    : QListWidget(parent)
    , m_watcher(new QFileSystemWatcher(this))
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileListBox::refresh);
    setPath(QDir::currentPath());
}

QString FileListBox::path() const
{
    return m_path;
}

void FileListBox::setPath(const QString &path)
{
    if (!m_path.isEmpty())
        m_watcher->removePath(m_path);
    // A relative path is taken from where the list is, like the directory list does.
    m_path = path.isEmpty()
        ? QString()
        : QDir::cleanPath(m_path.isEmpty() ? QFileInfo(path).absoluteFilePath()
                                           : QDir(m_path).absoluteFilePath(path));
    if (QFileInfo(m_path).isDir())
        m_watcher->addPath(m_path);
    fill();
}

QString FileListBox::fileName() const
{
    const auto selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text();
}

bool FileListBox::select(const QString &name)
{
    const auto matches = findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (matches.isEmpty())
        return false;
    setCurrentItem(matches.front());
    scrollToItem(matches.front());
    return true;
}

void FileListBox::refresh()
{
    const QString selected = fileName();
    const int scrolled = verticalScrollBar()->value();
    fill();
    if (!selected.isEmpty()) {
        const auto matches = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!matches.isEmpty())
            setCurrentItem(matches.front());
    }
    verticalScrollBar()->setValue(scrolled);
}

void FileListBox::fill()
{
    clear();
    if (m_path.isEmpty())
        return;
    // Regular files and links to them, as QDir::Files without QDir::Hidden and QDir::System;
    // not QDir itself, which leaves out a name that is not UTF-8: shown as Qt can, it gets a
    // message when chosen. An unreadable directory simply yields no names.
    QStringList names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(systemPath(m_path), error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().native();
        std::error_code unknown;
        if (!name.starts_with('.') && entry->is_regular_file(unknown))
            names << shownPath(entry->path().filename());
    }
    std::sort(names.begin(), names.end(), NaturalOrder());
    addItems(names);
    setCurrentItem(nullptr);
}

void FileListBox::focusInEvent(QFocusEvent *event)
{
    QListWidget::focusInEvent(event);
    // Reached by the keyboard, the list selects the file under the focus outline (the first when
    // none has it), so that the arrows and the strip button work at once. A click selects what it
    // hits by itself, and a window coming back to the front leaves the list as it was.
    const Qt::FocusReason reason = event->reason();
    const bool byKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason
        || reason == Qt::ShortcutFocusReason;
    if (!byKeyboard || !selectedItems().isEmpty())
        return;
    if (QListWidgetItem *outlined = currentItem() ? currentItem() : item(0))
        setCurrentItem(outlined);
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit enterPressed();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace plaintrove::runtime
