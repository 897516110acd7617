#pragma once

// The farewell screen: shown while the main window unloads, it thanks the user and goes away at
// the first key that produces a character. With no window left after it, the program ends.

#include "Form.h"

class QLabel;

namespace plaintrove {

class frmGoodbye final : public runtime::Form
{
    Q_OBJECT
public:
    explicit frmGoodbye(QWidget *parent = nullptr);

protected:
    void Form_KeyPress(int keyAscii) override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *Label1 = nullptr; // owned by this window
    QLabel *Label2 = nullptr;
};

} // namespace plaintrove
