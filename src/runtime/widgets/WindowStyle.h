#pragma once

// The few window looks the program uses, and the red every window and label is painted with.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>

class QLabel;
class QWidget;

namespace plaintrove::runtime {

inline const QColor formRed { 255, 0, 0 };

enum class Border {
    Sizable, // title bar, system menu, minimise and maximise; listed in the task bar
    FixedDialog, // title bar with a close box only; fixed size; not in the task bar
    None, // no title bar at all; fixed size; not in the task bar
};

// Window flags for the border; a fixed border also fixes the client size to `clientSize`.
void applyBorder(QWidget &window, Border border, QSize clientSize);

// Fills the widget's background with the program's red (labels become opaque).
void paintRed(QWidget &widget);

// An opaque red label named `name` in the pixel rectangle `box`.
QLabel *redLabel(QWidget *parent, const char *name, const QString &text, const QRect &box,
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);

// A font of the windows' designs: a family, a size in points, and its weight.
QFont designFont(const QString &family, qreal pointSize, bool bold);

// Places a top-level window so that it is centred on the screen it will appear on.
void centreOnScreen(QWidget &window);

} // namespace plaintrove::runtime
