#include "Dialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace plaintrove::runtime {

QString QtDialogs::inputBox(QWidget *parent, const QString &prompt, const QString &title)
{
    return QInputDialog::getText(parent, title, prompt); // empty on Cancel
}

MsgBoxAnswer QtDialogs::msgBoxOkCancel(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(
        QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText); // paths may hold '<' and '&'
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? MsgBoxAnswer::OK : MsgBoxAnswer::Cancel;
}

void QtDialogs::warning(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

Dialogs &platformDialogs()
{
    static QtDialogs dialogs;
    return dialogs;
}

} // namespace plaintrove::runtime
