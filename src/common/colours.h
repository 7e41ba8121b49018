#pragma once

#include <QColor>
#include <QPalette>

// The colours the windows paint with, as stored values laid out 0x00BBGGRR.
namespace Colours {

inline constexpr quint32 Silver = 0xC0C0C0;
inline constexpr quint32 Red = 0x0000FF;
inline constexpr quint32 Blue = 0xFF0000;
inline constexpr quint32 DarkBlue = 0xC00000;
inline constexpr quint32 Yellow = 0x00FFFF;
// Not a fixed colour: the current style's button face.
inline constexpr quint32 ButtonFace = 0x8000000F;

// The colour a stored value stands for; ButtonFace resolves through the palette given.
QColor colour(quint32 value, const QPalette &palette = QPalette());

// The contrast ratio of two colours as WCAG reckons it, from 1 (alike) to 21 (black on white).
double contrast(const QColor &a, const QColor &b);
// Black or white, whichever reads better on face: black on the blink's red and on silver,
// white on its blue.
QColor inkOn(const QColor &face);
// The grey of a locked caption: at least 4.5:1 on silver, still apart from an enabled black.
inline constexpr QRgb LockedInk = 0xFF484848;

} // namespace Colours
