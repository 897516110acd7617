#include "frmGoodbye.h"

#include "Twips.h"
#include "WindowStyle.h"
#include "identity/Identity.h"

#include <QLabel>
#include <QShowEvent>

namespace plaintrove {

namespace {

struct LabelDesign
{
    QString name;
    QRect twips;
    QString family;
    qreal pointSize;
    bool wordWrap;
};

// Labels are painted opaque red; their text stays centred at the top of the box, growing
// downwards when it wraps.
QLabel *makeLabel(QWidget &window, const QString &text, const LabelDesign &design)
{
    auto *label = new QLabel(text, &window);
    label->setObjectName(design.name);
    label->setGeometry(design.twips);
    QFont font(design.family);
    font.setPointSizeF(design.pointSize);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(design.wordWrap);
    runtime::paintRed(*label);
    return label;
}

} // namespace

frmGoodbye::frmGoodbye(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("frmGoodbye"));
    runtime::applyBorder(*this, runtime::Border::None, runtime::twipsSize(7380, 4236));
    runtime::paintRed(*this);
    setKeyPreview(true);

    Label1 = makeLabel(*this, tr("Thank you for using Orrinway's Plaintrove."),
        { QStringLiteral("Label1"), runtime::twipsRect(120, 240, 7212, 2172),
            QStringLiteral("Comic Sans MS"), 25.8, true });
    Label2 = makeLabel(*this, tr("Press the spacebar to quit."),
        { QStringLiteral("Label2"), runtime::twipsRect(240, 3240, 6972, 492),
            QStringLiteral("Times New Roman"), 19.8, false });

    setWindowIcon(identity::programIcon());
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
