#pragma once

#include <QRect>

// Layouts are specified in twips; 15 twips make one logical pixel at 96 dots per inch, so the
// windows scale with the screen like any other Qt window.
namespace Twips {

constexpr int toPixels(int twips)
{
    return twips / 15;
}

constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

} // namespace Twips
