#include "frmSplash.h"

#include "Twips.h"
#include "WindowStyle.h"
#include "frmAbout.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <functional>
#include <utility>

namespace plaintrove {

using runtime::twipsRect;
using runtime::twipsSize;

namespace {

// A frame that reports a left click on its own surface. The press went to it too: a release goes
// to the widget that took the press, and the labels on the frame keep theirs to themselves.
class ClickableFrame final : public QFrame
{
public:
    ClickableFrame(QWidget *parent, std::function<void()> onClick)
        : QFrame(parent)
        , m_onClick(std::move(onClick))
    { }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_onClick();
    }

private:
    std::function<void()> m_onClick;
};

// The labels lie on the frame, but a click on one is not a click on the frame beneath it.
QLabel *makeLabel(QWidget *frame, const char *name, const QString &text, const QRect &box,
    qreal pointSize, bool bold, Qt::Alignment alignment)
{
    QLabel *label = runtime::redLabel(frame, name, text, box, alignment);
    label->setFont(runtime::designFont(QStringLiteral("Arial"), pointSize, bold));
    label->setAttribute(Qt::WA_NoMousePropagation);
    return label;
}

void fitToText(QLabel &label, Qt::Edge anchor)
{
    const QRect design = label.geometry();
    label.resize(label.sizeHint());
    if (anchor == Qt::RightEdge)
        label.move(design.x() + design.width() - label.width(), design.y());
}

} // namespace

frmSplash::frmSplash(QWidget *parent)
    : Form(parent)
{
    setObjectName(QStringLiteral("frmSplash"));
    runtime::applyBorder(*this, runtime::Border::None, twipsSize(7380, 4236));
    runtime::paintRed(*this);
    setKeyPreview(true);

    auto *frame = new ClickableFrame(this, [this] { Frame1_Click(); });
    Frame1 = frame;
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(150, 60, 7080, 4050));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    runtime::paintRed(*Frame1);

    imgLogo = new QLabel(Frame1);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(twipsRect(120, 240, 972, 948));
    imgLogo->setScaledContents(true);
    imgLogo->setPixmap(QPixmap(QStringLiteral(":/identity/logo.jpg")));
    imgLogo->setAttribute(Qt::WA_NoMousePropagation);

    const Qt::Alignment leftTop = Qt::AlignLeft | Qt::AlignTop;
    lblCompanyProduct = makeLabel(Frame1, "lblCompanyProduct", tr("Orrinway's"),
        twipsRect(1200, 360, 3840, 420), 18, true, leftTop);
    lblProductName = makeLabel(Frame1, "lblProductName", tr("Plaintrove"),
        twipsRect(1320, 1440, 4320, 756), 32.4, true, leftTop);
    lblVersion = makeLabel(Frame1, "lblVersion", tr("Version"), twipsRect(5280, 2520, 888, 288), 12,
        true, Qt::AlignRight | Qt::AlignTop);
    lblWarning = makeLabel(Frame1, "lblWarning", tr("Press spacebar to continue"),
        twipsRect(150, 3660, 6855, 195), 8.4, false, Qt::AlignHCenter | Qt::AlignTop);
    fitLabelsToText();

    runtime::centreOnScreen(*this);
}

void frmSplash::fitLabelsToText()
{
    fitToText(*lblCompanyProduct, Qt::LeftEdge);
    fitToText(*lblProductName, Qt::LeftEdge);
    fitToText(*lblVersion, Qt::RightEdge);
}

void frmSplash::Form_Load()
{
    lblVersion->setText(tr("Version %1").arg(QCoreApplication::applicationVersion()));
    lblProductName->setText(tr("Plaintrove"));
    fitLabelsToText();
}

void frmSplash::Form_KeyPress(int keyAscii)
{
    Q_UNUSED(keyAscii) // every character key moves on, not only the space bar
    runtime::handOver<frmAbout>(*this);
}

void frmSplash::Frame1_Click()
{
    runtime::handOver<frmAbout>(*this);
}

void frmSplash::showEvent(QShowEvent *event)
{
    Form::showEvent(event);
    // Without a title bar the window manager may not focus it; the keys must reach it.
    activateWindow();
}

} // namespace plaintrove
