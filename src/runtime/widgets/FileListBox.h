#pragma once

// The files of one directory (every file, no pattern; hidden dot-files are not shown), sorted
// case-insensitively with numbers in natural order. `FileName` is the selected file's name
// without its directory, or empty when none is selected.

#include <QListWidget>

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
    // Lists the current path again, keeping the selection when the file is still there.
    void refresh();

private:
    void fill();

    QString m_path;
};

} // namespace plaintrove::runtime
