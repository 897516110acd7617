#include "DirListBox.h"

#include "NaturalOrder.h"
#include "SystemPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace plaintrove::runtime {
namespace {

// QListWidget has no per-item indentation; the delegate shifts each entry by its level.
class IndentingDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override
    {
        QStyleOptionViewItem shifted = option;
        shifted.rect.adjust(indentOf(option, index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(option, index), 0);
    }

private:
    static int indentOf(const QStyleOptionViewItem &option, const QModelIndex &index)
    {
        // Half an icon per level keeps deep paths inside the narrow list.
        const int step = std::max(option.decorationSize.width() / 2, 4);
        return index.data(DirListBox::LevelRole).toInt() * step;
    }
};

// The visible subdirectories of `path`, or nullopt (and why) when it cannot be listed.
// Opening the directory is the final word: a check of the permission bits alone would let
// through directories that vanish or that access control lists keep closed.
std::optional<QStringList> listSubdirectories(const QString &path, QString &reason)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        reason = DirListBox::tr("No such directory");
        return std::nullopt;
    }
    if (!info.isDir()) {
        reason = DirListBox::tr("Not a directory");
        return std::nullopt;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        reason = DirListBox::tr("Permission denied");
        return std::nullopt;
    }

    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(systemPath(path), error);
    if (error) {
        reason = QString::fromLocal8Bit(error.message()); // vanished or closed since
        return std::nullopt;
    }
    QStringList names;
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const QString name = shownPath(it->path().filename());
        std::error_code typeError;
        // is_directory follows symlinks, so a link to a directory is listed like one.
        if (!name.startsWith(u'.') && it->is_directory(typeError))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalOrder());
    return names;
}

QString childPath(const QString &parent, const QString &name)
{
    return parent.endsWith(u'/') ? parent + name : parent + u'/' + name;
}

QListWidgetItem *addEntry(QListWidget *list, const QString &text, const QString &path, int level,
    QStyle::StandardPixmap icon)
{
    auto *item = new QListWidgetItem(list->style()->standardIcon(icon), text, list);
    item->setData(Qt::UserRole, path);
    item->setData(DirListBox::LevelRole, level);
    return item;
}

} // namespace

DirListBox::DirListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentingDelegate(this));
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::openItem);

    // A current directory that was removed under the process still leaves the list somewhere.
    for (const QString &start : { QDir::currentPath(), QDir::homePath(), QDir::rootPath() }) {
        if (setPath(start))
            return;
    }
    m_path = QDir::rootPath();
    fill({});
}

QString DirListBox::path() const
{
    return m_path;
}

bool DirListBox::setPath(const QString &path, QString *reason)
{
    // A relative path is taken from where the list is, as opening a child would.
    const QString target = path.isEmpty()
        ? QString()
        : QDir::cleanPath(m_path.isEmpty() ? QFileInfo(path).absoluteFilePath()
                                           : QDir(m_path).absoluteFilePath(path));
    QString why;
    const auto subdirectories = listSubdirectories(target, why);
    if (!subdirectories) {
        if (reason)
            *reason = why;
        return false;
    }
    const bool changed = target != m_path;
    m_path = target;
    fill(*subdirectories);
    if (changed)
        emit Change();
    return true;
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirListBox::openItem(QListWidgetItem *item)
{
    if (!item)
        return;
    // Copy first: a successful open deletes the item.
    const QString target = item->data(Qt::UserRole).toString();
    QString reason;
    if (!setPath(target, &reason))
        emit openFailed(target, reason);
}

void DirListBox::fill(const QStringList &subdirectories)
{
    clear();
    const QStringList parts = m_path.split(u'/', Qt::SkipEmptyParts);
    QString chainPath = QDir::rootPath();
    QListWidgetItem *current
        = addEntry(this, QDir::rootPath(), chainPath, 0, QStyle::SP_DirOpenIcon);
    int level = 0;
    for (const QString &part : parts) {
        chainPath = childPath(chainPath, part);
        current = addEntry(this, part, chainPath, ++level, QStyle::SP_DirOpenIcon);
    }
    for (const QString &name : subdirectories)
        addEntry(this, name, childPath(m_path, name), level + 1, QStyle::SP_DirClosedIcon);
    setCurrentItem(current);
    showCurrentEntry();
}

// As much of the chain above the current entry as fits stays in view.
void DirListBox::showCurrentEntry()
{
    scrollToTop();
    if (QListWidgetItem *current = currentItem())
        scrollToItem(current);
}

void DirListBox::showEvent(QShowEvent *event)
{
    QListWidget::showEvent(event);
    // Entries filled in before the list had its size were scrolled for a smaller viewport.
    showCurrentEntry();
}

} // namespace plaintrove::runtime
