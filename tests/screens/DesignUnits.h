#pragma once

// Expected geometry, worked out independently of the program's own twips helper: a design size
// in twips as it appears on a 96 dpi screen, where 1440 twips make an inch (15 to the pixel).

#include <QRect>
#include <cmath>

namespace plaintrove::testing {

inline int pixels(int twips)
{
    return static_cast<int>(std::lround(twips * 96.0 / 1440.0));
}

inline QRect pixelRect(int left, int top, int width, int height)
{
    return { pixels(left), pixels(top), pixels(width), pixels(height) };
}

} // namespace plaintrove::testing
