#include "ScriptedDialogs.h"

#include <QGuiApplication>
#include <QTest>

namespace plaintrove::testing {

namespace {

bool overrideCursorShown()
{
    return QGuiApplication::overrideCursor() != nullptr;
}

} // namespace

QString ScriptedDialogs::inputBox(QWidget *, const QString &prompt, const QString &title)
{
    shown.append({ ShownDialog::Kind::InputBox, title, prompt, overrideCursorShown() });
    if (inputAnswers.isEmpty()) {
        QTest::qFail("an input box was shown that the test did not expect", __FILE__, __LINE__);
        return {};
    }
    return inputAnswers.takeFirst();
}

runtime::MsgBoxAnswer ScriptedDialogs::msgBoxOkCancel(
    QWidget *, const QString &text, const QString &title)
{
    shown.append({ ShownDialog::Kind::MsgBoxOkCancel, title, text, overrideCursorShown() });
    if (msgBoxAnswers.isEmpty()) {
        QTest::qFail("a message box was shown that the test did not expect", __FILE__, __LINE__);
        return runtime::MsgBoxAnswer::OK;
    }
    return msgBoxAnswers.takeFirst();
}

void ScriptedDialogs::warning(QWidget *, const QString &text, const QString &title)
{
    shown.append({ ShownDialog::Kind::Warning, title, text, overrideCursorShown() });
}

QList<ShownDialog> ScriptedDialogs::shownOfKind(ShownDialog::Kind kind) const
{
    QList<ShownDialog> result;
    for (const ShownDialog &dialog : shown)
        if (dialog.kind == kind)
            result.append(dialog);
    return result;
}

} // namespace plaintrove::testing
