#include "player/lcddisplay.h"

#include <QFontMetricsF>
#include <QEvent>
#include <QPainter>

#include <cmath>

namespace {
// Room either side of a character's advance for the parts of it that reach past.
constexpr int kOverhang = 2;
} // namespace

LcdDisplay::LcdDisplay(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    // It paints every pixel, so nothing beneath it is painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool LcdDisplay::event(QEvent *event)
{
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange) {
        // Kept through a style's polish, which may clear it.
        const bool handled = QLabel::event(event);
        setAttribute(Qt::WA_OpaquePaintEvent);
        return handled;
    }
    return QLabel::event(event);
}

void LcdDisplay::forgetStaleGlyphs()
{
    const QColor colour = palette().color(QPalette::WindowText);
    const qreal ratio = devicePixelRatioF();
    if (font() != m_glyphFont || colour != m_glyphColour || ratio != m_glyphRatio) {
        m_glyphs.clear();
        m_glyphFont = font();
        m_glyphColour = colour;
        m_glyphRatio = ratio;
    }
}

const LcdDisplay::Glyph &LcdDisplay::glyph(QChar c)
{
    auto it = m_glyphs.find(c);
    if (it != m_glyphs.end())
        return *it;
    const QFontMetricsF metrics(font());
    Glyph made;
    made.advance = metrics.horizontalAdvance(c);
    const QSize size(int(std::ceil(made.advance)) + 2 * kOverhang, int(std::ceil(metrics.height())));
    made.pixmap = QPixmap(size * m_glyphRatio);
    made.pixmap.setDevicePixelRatio(m_glyphRatio);
    made.pixmap.fill(Qt::transparent);
    QPainter painter(&made.pixmap);
    painter.setFont(font());
    painter.setPen(m_glyphColour);
    painter.drawText(QPointF(kOverhang, metrics.ascent()), QString(c));
    return *m_glyphs.insert(c, made);
}

void LcdDisplay::paintEvent(QPaintEvent *)
{
    forgetStaleGlyphs();
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const QString shown = text();
    qreal width = 0;
    for (const QChar c : shown)
        width += glyph(c).advance;
    const QFontMetricsF metrics(font());
    qreal x = (contentsRect().width() - width) / 2 + contentsRect().left();
    const qreal top = (contentsRect().height() - metrics.height()) / 2 + contentsRect().top();
    for (const QChar c : shown) {
        const Glyph &g = glyph(c);
        painter.drawPixmap(QPointF(std::round(x) - kOverhang, std::round(top)), g.pixmap);
        x += g.advance;
    }
}
