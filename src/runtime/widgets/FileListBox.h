#pragma once

// The files of one directory (every file, no pattern; hidden dot-files are not shown), sorted
// case-insensitively with numbers in natural order. `FileName` is the selected file's name
// without its directory, or empty when none is selected. The list follows the disk: files
// created, renamed or removed in the directory come and go without moving the list.

#include <QListWidget>

class QFileSystemWatcher;

namespace plaintrove::runtime {

class FileListBox final : public QListWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Path READ path WRITE setPath)
    Q_PROPERTY(QString FileName READ fileName)
public:
    // Starts on the process's current directory.
    explicit FileListBox(QWidget *parent = nullptr);

    QString path() const;
    // Lists the files of `path`; an unreadable path shows an empty list.
    void setPath(const QString &path);
    QString fileName() const;
    // Selects the file `name` and brings it into view; false when the list does not show it.
    bool select(const QString &name);
    // Lists the current path again, keeping the selection when the file is still there and the
    // part of the list in view.
    void refresh();

signals:
    void enterPressed(); // Enter or Return, whether or not a file is selected

protected:
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fill();

    QString m_path;
    QFileSystemWatcher *m_watcher; // child; watches m_path
};

} // namespace plaintrove::runtime
