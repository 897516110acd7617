#include "frmPlaintrove.h"

#include "ConversionRun.h"
#include "Dialogs.h"
#include "DirListBox.h"
#include "DriveListBox.h"
#include "FileListBox.h"
#include "SystemPath.h"
#include "Twips.h"
#include "WindowStyle.h"
#include "frmGoodbye.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QPushButton>

namespace plaintrove {

namespace {

// Children inherit every colour their parent sets; the window's red must not reach the lists
// and the button, which keep the platform's colours. Setting each role explicitly stops the
// inheritance.
void keepPlatformColours(QWidget &control)
{
    QPalette palette = QApplication::palette(&control);
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colorGroup = static_cast<QPalette::ColorGroup>(group);
            const auto colorRole = static_cast<QPalette::ColorRole>(role);
            palette.setBrush(colorGroup, colorRole, palette.brush(colorGroup, colorRole));
        }
    }
    control.setPalette(palette);
}

// Screen readers announce a control by its accessible name (empty: what it shows) and read its
// description after it; the lists have no text of their own to be announced by.
void place(QWidget &control, const QString &name, const QRect &twips, const QString &spokenName,
    const QString &description)
{
    control.setObjectName(name);
    control.setGeometry(twips);
    keepPlatformColours(control);
    control.setAccessibleName(spokenName);
    control.setAccessibleDescription(description);
}

// The one local file or folder a drag carries; empty for anything else.
QString draggedPath(const QMimeData &data)
{
    const QList<QUrl> urls = data.urls();
    return urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
}

// The engine runs on the user-interface thread; the cursor tells the user why the window
// does not respond, and is given back however the run ends.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

conversion::ConversionResult convert(const conversion::ConversionRequest &request)
{
    const WaitCursor wait;
    return conversion::runConversion(request);
}

} // namespace

frmPlaintrove::frmPlaintrove(QWidget *parent)
    : Form(parent)
    , m_dialogs(&runtime::platformDialogs())
{
    setObjectName(QStringLiteral("frmPlaintrove"));
    runtime::applyBorder(*this, runtime::Border::Sizable, runtime::twipsSize(4680, 3192));
    runtime::paintRed(*this);

    // No layouts: the controls keep their design rectangles whatever the window's size. They are
    // made in tab order.
    cmdConvTab = new QPushButton(tr("Strip HTML Codes"), this);
    Drive1 = new runtime::DriveListBox(this);
    Dir1 = new runtime::DirListBox(this);
    File1 = new runtime::FileListBox(this);
    place(*cmdConvTab, QStringLiteral("cmdConvTab"), runtime::twipsRect(2400, 2760, 2175, 375),
        QString() /* its text */, tr("Converts the selected file into a text file you name"));
    // On Linux, Qt names a drop-down by the entry it shows, whatever name it is given.
    place(*Drive1, QStringLiteral("Drive1"), runtime::twipsRect(120, 2760, 2055, 315), QString(),
        tr("The drive whose folders are listed"));
    place(*Dir1, QStringLiteral("Dir1"), runtime::twipsRect(120, 120, 2055, 2565), tr("Folders"),
        tr("The folder whose files are listed, and its subfolders; Enter opens the selected one"));
    place(*File1, QStringLiteral("File1"), runtime::twipsRect(2400, 120, 2175, 2376), tr("Files"),
        tr("The files of the folder; Enter converts the selected one"));

    cmdConvTab->setFocus();
    setAcceptDrops(true);

    connect(Drive1, &runtime::DriveListBox::Change, this, &frmPlaintrove::Drive1_Change);
    connect(Dir1, &runtime::DirListBox::Change, this, &frmPlaintrove::Dir1_Change);
    connect(Dir1, &runtime::DirListBox::openFailed, this, &frmPlaintrove::Dir1_OpenFailed);
    connect(cmdConvTab, &QPushButton::clicked, this, &frmPlaintrove::cmdConvTab_Click);
    connect(File1, &runtime::FileListBox::enterPressed, this, &frmPlaintrove::cmdConvTab_Click);

    setWindowTitle(tr("Plaintrove v2.0"));
}

void frmPlaintrove::setDialogs(runtime::Dialogs &dialogs)
{
    m_dialogs = &dialogs;
}

void frmPlaintrove::Form_Unload(bool &cancel)
{
    Q_UNUSED(cancel) // the unload always goes ahead
    runtime::defaultInstance<frmGoodbye>().show();
}

void frmPlaintrove::openFile(const QString &path)
{
    // Qt takes a path that starts with ':' for one of its resources.
    const QFileInfo file(path.startsWith(QLatin1Char(':')) ? QLatin1String("./") + path : path);
    QString reason;
    if (!file.exists())
        reason = tr("No such file");
    else if (!file.isFile())
        reason = tr("Not a regular file");
    else if (showFolder(file.absolutePath(), &reason)) {
        if (!File1->select(file.fileName()))
            File1->refresh(); // the file may be newer than the list
        if (File1->select(file.fileName()))
            return;
        reason = tr("Hidden files are not listed");
    }
    m_dialogs->warning(this,
        tr("The file %1 cannot be opened: %2").arg(file.absoluteFilePath(), reason),
        tr("File Not Opened"));
}

bool frmPlaintrove::showFolder(const QString &folder, QString *reason)
{
    if (!Dir1->setPath(folder, reason))
        return false;
    Drive1->restoreDrive(Dir1->path());
    return true;
}

void frmPlaintrove::dragEnterEvent(QDragEnterEvent *event)
{
    // Left unaccepted, anything else keeps the forbidden cursor.
    if (!draggedPath(*event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmPlaintrove::dropEvent(QDropEvent *event)
{
    const QString path = draggedPath(*event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Afterwards: a warning must not hold up the file manager, which waits for the drop to end.
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            QString reason;
            if (!QFileInfo(path).isDir())
                openFile(path);
            else if (!showFolder(path, &reason))
                Dir1_OpenFailed(path, reason);
        },
        Qt::QueuedConnection);
}

void frmPlaintrove::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the focused button, as Space does; Qt's buttons take it only in dialogs.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && focusWidget() == cmdConvTab)
        return cmdConvTab->click();
    Form::keyPressEvent(event);
}

void frmPlaintrove::Drive1_Change()
{
    const QString drive = Drive1->drive();
    QString reason;
    if (Dir1->setPath(drive, &reason))
        return;
    // Dir1 did not move, so File1 did not either; only the drive list has to go back.
    Drive1->restoreDrive(Dir1->path());
    m_dialogs->warning(
        this, tr("The drive %1 cannot be read: %2").arg(drive, reason), tr("Drive Not Readable"));
}

void frmPlaintrove::Dir1_Change()
{
    File1->setPath(Dir1->path());
}

void frmPlaintrove::Dir1_OpenFailed(const QString &path, const QString &reason)
{
    m_dialogs->warning(this, tr("The directory %1 cannot be opened: %2").arg(path, reason),
        tr("Directory Not Readable"));
}

void frmPlaintrove::cmdConvTab_Click()
{
    const QString directory = Dir1->path();
    const QString fileName = File1->fileName();
    const QString outputPath = m_dialogs->inputBox(
        this, tr("Enter Full Path and File Name for Output"), tr("Output File Selection"));

    // Cancel and an empty entry look alike: either way the user has not named a file to write.
    if (outputPath.isEmpty())
        return;
    if (fileName.isEmpty()) {
        m_dialogs->warning(this,
            tr("No input file is selected in %1. Select the file to convert in the file list, "
               "then press \"Strip HTML Codes\" again.")
                .arg(directory),
            tr("No Input File"));
        return;
    }

    // A name that is not UTF-8 is listed with U+FFFD in place of the bytes Qt cannot read, and
    // then spells another file.
    const QString input = directory + QLatin1Char('/') + fileName;
    if (fileName.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(input)) {
        m_dialogs->warning(this,
            tr("The name of the file %1 is not valid UTF-8, and this window can only open UTF-8 "
               "names. Rename the file, or convert it with plaintrove-strip.")
                .arg(input),
            tr("File Not Opened"));
        return;
    }

    const conversion::ConversionResult result
        = convert(conversion::ConversionRequest { runtime::systemPath(directory),
            runtime::systemPath(fileName), runtime::systemPath(outputPath) });
    const QString path = runtime::shownPath(result.path);
    const QString reason = QString::fromLocal8Bit(result.reason);
    switch (result.status) {
    case conversion::ConversionStatus::Failed:
        m_dialogs->warning(this, tr("%1: %2\n\nNo file was written or changed.").arg(path, reason),
            tr("Conversion Failed"));
        return;
    case conversion::ConversionStatus::ConvertedUnclosedTag:
        m_dialogs->warning(this, tr("%1: %2").arg(path, reason), tr("Unclosed Tag"));
        break;
    case conversion::ConversionStatus::Converted:
        break;
    }

    const runtime::MsgBoxAnswer answer = m_dialogs->msgBoxOkCancel(this,
        tr("Conversion Complete - File %1 Created. Press OK to convert another file, Cancel to "
           "Quit.")
            .arg(outputPath),
        tr("Conversion Complete"));
    if (answer == runtime::MsgBoxAnswer::Cancel) {
        runtime::unload(*this);
        return;
    }
    // The new output may lie in the directory on show.
    File1->refresh();
}

} // namespace plaintrove
