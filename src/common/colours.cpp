#include "common/colours.h"

#include <algorithm>
#include <cmath>

namespace Colours {

QColor colour(quint32 value, const QPalette &palette)
{
    if (value == ButtonFace)
        return palette.color(QPalette::Button);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

} // namespace Colours

namespace {

double luminance(const QColor &c)
{
    const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

} // namespace

double Colours::contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor Colours::inkOn(const QColor &face)
{
    return contrast(face, Qt::black) >= contrast(face, Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
}
