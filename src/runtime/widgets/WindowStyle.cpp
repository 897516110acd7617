#include "WindowStyle.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace plaintrove::runtime {

void applyBorder(QWidget &window, Border border, QSize clientSize)
{
    switch (border) {
    case Border::Sizable:
        window.setWindowFlags(Qt::Window);
        window.resize(clientSize);
        return;
    case Border::FixedDialog:
        // A tool window keeps the program out of the task bar; the hints leave only the close box.
        window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        break;
    case Border::None:
        window.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        break;
    }
    window.setFixedSize(clientSize);
}

void paintRed(QWidget &widget)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, formRed);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

QLabel *redLabel(QWidget *parent, const char *name, const QString &text, const QRect &box,
    Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(box);
    label->setAlignment(alignment);
    paintRed(*label);
    return label;
}

QFont designFont(const QString &family, qreal pointSize, bool bold)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void centreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

} // namespace plaintrove::runtime
