#pragma once

// The modal prompt and message boxes the windows use, behind an interface so that handlers can
// be driven with scripted answers in tests.

#include <QString>

class QWidget;

namespace plaintrove::runtime {

enum class MsgBoxAnswer { OK = 1, Cancel = 2 };

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // A text prompt with an empty default. Cancel yields an empty string.
    virtual QString inputBox(QWidget *parent, const QString &prompt, const QString &title) = 0;

    // A message with OK and Cancel buttons and no icon.
    virtual MsgBoxAnswer msgBoxOkCancel(QWidget *parent, const QString &text, const QString &title)
        = 0;

    // A warning with a single OK button, for failures the user must know about.
    virtual void warning(QWidget *parent, const QString &text, const QString &title) = 0;
};

// The real dialogs: QInputDialog and QMessageBox.
class QtDialogs final : public Dialogs
{
public:
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    MsgBoxAnswer msgBoxOkCancel(
        QWidget *parent, const QString &text, const QString &title) override;
    void warning(QWidget *parent, const QString &text, const QString &title) override;
};

// The process's real dialogs (stateless, shared by every window).
Dialogs &platformDialogs();

} // namespace plaintrove::runtime
