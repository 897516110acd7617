#pragma once

// The main window. The drive, directory and file lists choose the input (a drive change moves
// the directory list, a directory change moves the file list; nothing flows back), the button
// strips the chosen file into the file the user names. The window holds no data of its own:
// everything it needs lives in its lists. Unloading it brings up the farewell screen. A file
// named on the command line or dropped on the window is chosen in the lists as if picked there.

#include "Form.h"

class QPushButton;

namespace plaintrove {

namespace runtime {
class Dialogs;
class DirListBox;
class DriveListBox;
class FileListBox;
} // namespace runtime

class frmPlaintrove final : public runtime::Form
{
    Q_OBJECT
public:
    explicit frmPlaintrove(QWidget *parent = nullptr);

    // The prompt and message boxes the window uses; the real ones unless a test scripts them.
    void setDialogs(runtime::Dialogs &dialogs);

    // Moves the lists to the file's folder and selects it there, so that the strip button
    // converts it; a file that is missing or not a regular file is reported instead.
    void openFile(const QString &path);

protected:
    void Form_Unload(bool &cancel) override; // the farewell screen follows
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // Moves the directory list, and with it the file list, to `folder`, and the drive list to
    // the drive holding it; false (and why) when the folder cannot be listed.
    bool showFolder(const QString &folder, QString *reason);
    void Drive1_Change();
    void Dir1_Change();
    void Dir1_OpenFailed(const QString &path, const QString &reason);
    void cmdConvTab_Click();

    runtime::Dialogs *m_dialogs; // never null; not owned
    // Children, owned by this window; declared in tab order.
    QPushButton *cmdConvTab = nullptr;
    runtime::DriveListBox *Drive1 = nullptr;
    runtime::DirListBox *Dir1 = nullptr;
    runtime::FileListBox *File1 = nullptr;
};

} // namespace plaintrove
