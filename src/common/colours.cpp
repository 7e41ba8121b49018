#include "common/colours.h"

namespace Colours {

QColor colour(quint32 value, const QPalette &palette)
{
    if (value == ButtonFace)
        return palette.color(QPalette::Button);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

} // namespace Colours
