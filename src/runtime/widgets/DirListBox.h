#pragma once

// A directory list: the chain from the root down to `Path` (each entry indented one step
// deeper), then the subdirectories of `Path`, sorted as people expect. A double-click or Enter
// on an entry opens it. `Path` changes raise Change, whether the user or the code moved it.

#include <QListWidget>

namespace plaintrove::runtime {

class DirListBox final : public QListWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Path READ path NOTIFY Change)
public:
    // Item data: Qt::UserRole holds an entry's absolute path, LevelRole its depth below "/"
    // (the indentation it is drawn with).
    static constexpr int LevelRole = Qt::UserRole + 1;

    // Starts on the process's current directory.
    explicit DirListBox(QWidget *parent = nullptr);

    QString path() const; // absolute, clean ("/" for the root, otherwise no trailing "/")

    // Moves the list to `path`. When it cannot be listed (missing, not a directory, not
    // readable), nothing changes, `reason` (if given) says why and the result is false.
    // Raises Change when the path actually changed.
    bool setPath(const QString &path, QString *reason = nullptr);

signals:
    void Change();
    // The user tried to open a directory that cannot be listed; the list stayed where it was.
    void openFailed(const QString &path, const QString &reason);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void openItem(QListWidgetItem *item);
    void showCurrentEntry();
    void fill(const QStringList &subdirectories);

    QString m_path;
};

} // namespace plaintrove::runtime
