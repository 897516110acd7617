#include "frmGoodbye.h"

#include "Twips.h"
#include "WindowStyle.h"

#include <QLabel>
#include <QShowEvent>

namespace plaintrove {

frmGoodbye::frmGoodbye(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("frmGoodbye"));
    runtime::applyBorder(*this, runtime::Border::None, runtime::twipsSize(7380, 4236));
    runtime::paintRed(*this);
    setKeyPreview(true);

    // The text stays centred at the top of its box, growing downwards when it wraps.
    const Qt::Alignment centredTop = Qt::AlignHCenter | Qt::AlignTop;
    Label1 = runtime::redLabel(this, "Label1", tr("Thank you for using Orrinway's Plaintrove."),
        runtime::twipsRect(120, 240, 7212, 2172), centredTop);
    Label1->setFont(runtime::designFont(QStringLiteral("Comic Sans MS"), 25.8, true));
    Label1->setWordWrap(true);
    Label2 = runtime::redLabel(this, "Label2", tr("Press the spacebar to quit."),
        runtime::twipsRect(240, 3240, 6972, 492), centredTop);
    Label2->setFont(runtime::designFont(QStringLiteral("Times New Roman"), 19.8, true));
}

void frmGoodbye::Form_KeyPress(int keyAscii)
{
    Q_UNUSED(keyAscii) // any character will do, not only the space bar the text asks for
    runtime::unload(*this);
}

void frmGoodbye::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    // A window manager restoring the window sends a spontaneous show; it stays where it was.
    if (event->spontaneous())
        return;
    runtime::centreOnScreen(*this);
    // The screen waits for a key, so it must have the keyboard: the main window that showed it is
    // on its way out.
    activateWindow();
}

} // namespace plaintrove
