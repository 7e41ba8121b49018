#include "common/windowlook.h"

#include "common/appicon.h"
#include "common/classicfont.h"
#include "common/twips.h"

#include <QWidget>

void applyWindowLook(QWidget *window, const QString &name, const QString &caption, QSize clientTwips, QColor face)
{
    window->setObjectName(name);
    window->setWindowTitle(caption);
    window->setWindowIcon(appIcon());
    window->setFont(classicFont(8.25, false));
    window->setFixedSize(Twips::toPixels(clientTwips.width()), Twips::toPixels(clientTwips.height()));
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, face);
    window->setPalette(palette);
}
