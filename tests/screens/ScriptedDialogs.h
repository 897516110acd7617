#pragma once

// Dialogs that answer from a script instead of a person, and remember what they were shown.

#include "Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace plaintrove::testing {

struct ShownDialog
{
    enum class Kind { InputBox, MsgBoxOkCancel, Warning } kind;
    QString title;
    QString text; // the prompt or the message
    bool overrideCursor = false; // an override cursor (a wait cursor) was up while it showed
};

class ScriptedDialogs final : public runtime::Dialogs
{
public:
    // Answers are taken in order; running out of answers fails the test that asked.
    QStringList inputAnswers;
    QList<runtime::MsgBoxAnswer> msgBoxAnswers;
    QList<ShownDialog> shown;

    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    runtime::MsgBoxAnswer msgBoxOkCancel(
        QWidget *parent, const QString &text, const QString &title) override;
    void warning(QWidget *parent, const QString &text, const QString &title) override;

    QList<ShownDialog> shownOfKind(ShownDialog::Kind kind) const;
};

} // namespace plaintrove::testing
