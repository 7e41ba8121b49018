#include "common/classicfont.h"

#include <QStringList>

QFont classicFont(double pointSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Sans Serif")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}
