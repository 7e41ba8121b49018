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

} // namespace Colours
