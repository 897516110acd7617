#pragma once

// The information screen: logo, title, version and what the program does. Its OK button, also
// pressed by Enter and Escape, opens the main window.

#include "Form.h"

class QFrame;
class QLabel;
class QPushButton;

namespace plaintrove {

class frmAbout final : public runtime::Form
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void showEvent(QShowEvent *event) override;

private:
    void cmdOK_Click();

    QPushButton *cmdOK;
    QLabel *picIcon;
    QLabel *lblDescription;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QFrame *Line1;
    QFrame *Line2;
};

} // namespace plaintrove
