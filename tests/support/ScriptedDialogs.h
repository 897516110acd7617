#pragma once

// Dialogs that answer from a script instead of a person, and note what they were shown.

#include "Dialogs.h"

#include <QGuiApplication>
#include <QStringList>

namespace plaintrove::testing {

class ScriptedDialogs final : public runtime::Dialogs
{
public:
    // Taken in order; without one left, the prompt is cancelled and the message answered OK.
    QStringList inputAnswers;
    QList<runtime::MsgBoxAnswer> msgBoxAnswers;
    // Every dialog shown: "title: text", or "title (wait): text" under the wait cursor.
    QStringList shown;

    QString inputBox(QWidget *, const QString &prompt, const QString &title) override
    {
        note(title, prompt);
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }
    runtime::MsgBoxAnswer msgBoxOkCancel(
        QWidget *, const QString &text, const QString &title) override
    {
        note(title, text);
        return msgBoxAnswers.isEmpty() ? runtime::MsgBoxAnswer::OK : msgBoxAnswers.takeFirst();
    }
    void warning(QWidget *, const QString &text, const QString &title) override
    {
        note(title, text);
    }

private:
    void note(const QString &title, const QString &text)
    {
        const bool waiting = QGuiApplication::overrideCursor() != nullptr;
        shown.append(title + QLatin1String(waiting ? " (wait): " : ": ") + text);
    }
};

} // namespace plaintrove::testing
