#pragma once

// The program's pictures, built into the executable.

#include <QIcon>
#include <QPixmap>

namespace plaintrove::identity {

// The program icon: the 32 x 32, 16-colour design, with larger renderings for modern panels.
QIcon programIcon();

// The 40 x 40 logo picture.
QPixmap logoPicture();

} // namespace plaintrove::identity
