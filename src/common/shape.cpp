#include "common/shape.h"

#include <QPainter>

Shape::Shape(QColor border, int borderWidth, std::optional<QColor> fill, QWidget *parent)
    : QWidget(parent),
      m_border(border),
      m_borderWidth(borderWidth),
      m_fill(fill)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    // A filled shape covers every pixel of its own: the window beneath it need not be painted
    // first (the playing button's blink would otherwise repaint the window's background too).
    if (fill && fill->alpha() == 255)
        setAttribute(Qt::WA_OpaquePaintEvent);
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_fill)
        painter.fillRect(rect(), *m_fill);
    const int w = std::min({m_borderWidth, width() / 2, height() / 2});
    if (w <= 0)
        return;
    const QRect r = rect();
    painter.fillRect(QRect(r.left(), r.top(), r.width(), w), m_border);
    painter.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), m_border);
    painter.fillRect(QRect(r.left(), r.top() + w, w, r.height() - 2 * w), m_border);
    painter.fillRect(QRect(r.right() - w + 1, r.top() + w, w, r.height() - 2 * w), m_border);
}
