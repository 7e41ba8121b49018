#pragma once

#include <QColor>
#include <QSize>
#include <QString>

class QWidget;

// The look the player window and the editor share: name, caption, the program's icon, the
// default font, a fixed client size given in twips, and a solid face colour.
void applyWindowLook(QWidget *window, const QString &name, const QString &caption, QSize clientTwips, QColor face);
