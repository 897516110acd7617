#pragma once

// Window designs are drawn in twips (1/1440 inch). At the 96 dpi of a device-independent pixel
// that is 15 twips per pixel; Qt scales device-independent pixels for high-density screens.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace plaintrove::runtime {

inline constexpr int twipsPerPixel = 15;

constexpr int twipsToPixels(int twips)
{
    // Round to the nearest pixel, halves away from zero.
    return (twips >= 0 ? twips + twipsPerPixel / 2 : twips - twipsPerPixel / 2) / twipsPerPixel;
}

constexpr QPoint twipsPoint(int left, int top)
{
    return { twipsToPixels(left), twipsToPixels(top) };
}

constexpr QSize twipsSize(int width, int height)
{
    return { twipsToPixels(width), twipsToPixels(height) };
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return { twipsPoint(left, top), twipsSize(width, height) };
}

} // namespace plaintrove::runtime
