#include "common/appicon.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

// A cart wall in miniature: a dark-blue frame on black holding a 3 x 4 grid of yellow keys,
// one of them red for the playing cart. Only pure colours of the classic 16-colour palette.
QImage drawAppIcon(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const int frame = size / 16;
    painter.fillRect(0, 0, size, frame, QColor(0, 0, 128));
    painter.fillRect(0, size - frame, size, frame, QColor(0, 0, 128));
    painter.fillRect(0, 0, frame, size, QColor(0, 0, 128));
    painter.fillRect(size - frame, 0, frame, size, QColor(0, 0, 128));
    const int cellW = (size - 2 * frame) / 3;
    const int cellH = (size - 2 * frame) / 4;
    const int gap = std::max(1, size / 32);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QColor key = (row == 1 && column == 1) ? QColor(255, 0, 0) : QColor(255, 255, 0);
            painter.fillRect(frame + column * cellW + gap, frame + row * cellH + gap, cellW - 2 * gap, cellH - 2 * gap,
                             key);
        }
    }
    return image;
}

QIcon appIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawAppIcon(32)));
    icon.addPixmap(QPixmap::fromImage(drawAppIcon(16)));
    return icon;
}
