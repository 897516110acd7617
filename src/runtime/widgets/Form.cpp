#include "Form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>

namespace plaintrove::runtime {

namespace {

// The program ends when no window is left. The check runs once the current event handler has
// finished, so that a window handing over to the next one does not end the program in between.
void endProgramIfNoFormIsLeft()
{
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (loadedForms().isEmpty())
                QCoreApplication::quit();
        },
        Qt::QueuedConnection);
}

} // namespace

Form::Form(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void Form::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    Form_Load();
}

void Form::setKeyPreview(bool on)
{
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

void Form::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    m_unloaded = true;
    setKeyPreview(false);
    event->accept();
    emit unloaded();
    endProgramIfNoFormIsLeft();
}

bool Form::deliverKeyPress(QKeyEvent *event)
{
    const QString text = event->text();
    // Delete reports the character DEL, but it is an editing key like the arrows, not a character.
    if (text.isEmpty() || text.at(0) == QChar(0x7f))
        return false;
    Form_KeyPress(text.at(0).unicode());
    return true;
}

void Form::keyPressEvent(QKeyEvent *event)
{
    if (!deliverKeyPress(event))
        QWidget::keyPressEvent(event);
}

bool Form::eventFilter(QObject *watched, QEvent *event)
{
    // Key preview: a key meant for one of this window's controls reaches the window first.
    if (event->type() == QEvent::KeyPress && watched != this && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this && !m_unloaded) {
        return deliverKeyPress(static_cast<QKeyEvent *>(event));
    }
    return QWidget::eventFilter(watched, event);
}

bool unload(Form &form)
{
    if (form.isUnloaded())
        return true;
    return form.close();
}

QList<Form *> loadedForms()
{
    QList<Form *> forms;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *form = qobject_cast<Form *>(widget);
        if (form && !form->isUnloaded())
            forms.append(form);
    }
    return forms;
}

} // namespace plaintrove::runtime
