#include "carts/waveformview.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

WaveformView::WaveformView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumHeight(80);
    setCursor(Qt::SizeHorCursor);
}

void WaveformView::setSummary(const PeakSummary &summary)
{
    m_summary = summary;
    update();
}

void WaveformView::setMarkers(double in, std::optional<double> out)
{
    m_in = in;
    m_out = out;
    update();
}

double WaveformView::lengthSeconds() const
{
    return m_summary.rate > 0 ? double(m_summary.frames) / m_summary.rate : 0.0;
}

int WaveformView::xOf(double seconds) const
{
    const double length = lengthSeconds();
    return length > 0 ? int(std::lround(std::clamp(seconds / length, 0.0, 1.0) * (width() - 1))) : 0;
}

double WaveformView::secondsAt(int x) const
{
    if (m_summary.rate <= 0 || width() <= 1)
        return 0;
    const double share = std::clamp(double(x) / (width() - 1), 0.0, 1.0);
    return double(std::llround(share * double(m_summary.frames))) / m_summary.rate;
}

void WaveformView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int middle = height() / 2;
    const qsizetype known = m_summary.blocks();
    const qsizetype all = std::max<qsizetype>(m_summary.blocksInAll(), 1);
    const int inX = xOf(m_in);
    const int outX = m_out ? xOf(*m_out) : width() - 1;
    for (int x = 0; x < width() && known > 0; ++x) {
        const qsizetype first = qsizetype(double(x) / width() * double(all));
        const qsizetype last = std::max(first + 1, qsizetype(double(x + 1) / width() * double(all)));
        if (first >= known)
            break; // not summarised yet
        qint16 low = 0;
        qint16 high = 0;
        for (qsizetype b = first; b < std::min(last, known); ++b) {
            low = std::min(low, m_summary.lows[size_t(b)]);
            high = std::max(high, m_summary.highs[size_t(b)]);
        }
        painter.setPen(x >= inX && x <= outX ? QColor(255, 255, 0) : QColor(110, 110, 40));
        painter.drawLine(x, middle - high * middle / 32768, x, middle - low * middle / 32768);
    }
    if (m_summary.rate <= 0)
        return;
    painter.setPen(QPen(QColor(0, 220, 0), 2));
    painter.drawLine(inX, 0, inX, height());
    painter.setPen(QPen(QColor(255, 40, 40), 2));
    painter.drawLine(outX, 0, outX, height());
}

void WaveformView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_summary.rate <= 0)
        return;
    const int x = int(event->position().x());
    const int outX = m_out ? xOf(*m_out) : width() - 1;
    m_dragging = std::abs(x - xOf(m_in)) <= std::abs(x - outX) ? Marker::In : Marker::Out;
    dragTo(x);
}

void WaveformView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging != Marker::None)
        dragTo(int(event->position().x()));
}

void WaveformView::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = Marker::None;
}

void WaveformView::dragTo(int x)
{
    const double seconds = secondsAt(x);
    if (m_dragging == Marker::In)
        emit inDragged(seconds);
    else if (m_dragging == Marker::Out)
        emit outDragged(seconds);
}
