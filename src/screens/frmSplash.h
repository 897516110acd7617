#pragma once

// The start-up window: company line, product name, version and logo on a red frame. Any
// character key, or a click on the frame itself, moves on to the information screen.

#include "Form.h"

class QFrame;
class QLabel;

namespace plaintrove {

class frmSplash final : public runtime::Form
{
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void Form_KeyPress(int keyAscii) override;
    void showEvent(QShowEvent *event) override;

private:
    void Frame1_Click();
    // The labels that follow their text keep their design top-left (the version label its
    // right edge) and take the size of their text.
    void fitLabelsToText();

    QFrame *Frame1;
    QLabel *imgLogo;
    QLabel *lblCompanyProduct;
    QLabel *lblProductName;
    QLabel *lblVersion;
    QLabel *lblWarning;
};

} // namespace plaintrove
