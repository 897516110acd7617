#include "frmAbout.h"

#include "Twips.h"
#include "WindowStyle.h"
#include "frmPlaintrove.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

namespace plaintrove {

using runtime::twipsPoint;
using runtime::twipsRect;

namespace {

void setTextColour(QWidget &widget, const QColor &colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    widget.setPalette(palette);
}

// A one-pixel rule from `from` to `to` (twips, horizontal or vertical) in the text colour.
QFrame *makeLine(QWidget *parent, const char *name, QPoint from, QPoint to)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    const bool vertical = from.x() == to.x();
    line->setFrameShape(vertical ? QFrame::VLine : QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    const QPoint start = twipsPoint(from.x(), from.y());
    const QPoint end = twipsPoint(to.x(), to.y());
    line->setGeometry(vertical ? QRect(start.x(), start.y(), 1, end.y() - start.y())
                               : QRect(start.x(), start.y(), end.x() - start.x(), 1));
    return line;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("About Plaintrove"));
    const QRect client = twipsRect(2340, 1932, 8676, 4896);
    runtime::applyBorder(*this, runtime::Border::FixedDialog, client.size());
    runtime::paintRed(*this);

    // OK is both the default and the cancel button: Enter and Escape press it.
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(7320, 4440, 1260, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, cmdOK, &QPushButton::click);

    // A picture box keeps the platform's colours and takes the size of its picture.
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    const QPixmap logo(QStringLiteral(":/identity/logo.jpg"));
    picIcon->setPixmap(logo);
    picIcon->setGeometry(QRect(twipsPoint(240, 120), logo.deviceIndependentSize().toSize()));
    QPalette platform = picIcon->palette();
    platform.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    picIcon->setPalette(platform);
    picIcon->setAutoFillBackground(true);

    lblDescription = runtime::redLabel(this, "lblDescription",
        tr("This program converts HTML to ordinary ASCII Text by stripping the HTML Codes."),
        twipsRect(240, 840, 8292, 444));
    setTextColour(*lblDescription, Qt::black);

    lblTitle = runtime::redLabel(this, "lblTitle", tr("Plaintrove"), twipsRect(1056, 120, 7476, 480));
    lblTitle->setFont(runtime::designFont(QStringLiteral("MS Sans Serif"), 13.8, false));
    setTextColour(*lblTitle, Qt::black);

    lblVersion
        = runtime::redLabel(this, "lblVersion", tr("Version"), twipsRect(1056, 600, 7476, 228));

    Line1 = makeLine(this, "Line1", { 4200, 2400 }, { 4200, 4800 });
    Line2 = makeLine(this, "Line2", { 4200, 2400 }, { 8520, 2400 });

    cmdOK->setFocus();

    // setGeometry places the client area, not the frame, at the design position.
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    setGeometry(client.translated(origin));
}

void frmAbout::Form_Load()
{
    lblVersion->setText(tr("Version %1").arg(QCoreApplication::applicationVersion()));
}

void frmAbout::cmdOK_Click()
{
    runtime::handOver<frmPlaintrove>(*this);
}

void frmAbout::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    // Enter and Escape must work as soon as the window appears, without a click into it first.
    activateWindow();
}

} // namespace plaintrove
