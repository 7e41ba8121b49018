#include "player/trackbutton.h"

#include "common/captionfit.h"
#include "common/colours.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <qdrawutil.h>

TrackButton::TrackButton(QWidget *parent) : QPushButton(parent), m_backColor(Colours::ButtonFace)
{
    // Without tracking Qt reports moves only while a button is held; the length preview needs
    // them on a plain hover.
    setMouseTracking(true);
    setAcceptDrops(true);
    // It paints every pixel of its face, so nothing beneath it need be painted first: the
    // playing button's blink repaints the button alone.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrackButton::setFramed(bool framed)
{
    if (framed == m_framed)
        return;
    m_framed = framed;
    update();
}

void TrackButton::contextMenuEvent(QContextMenuEvent *event)
{
    emit menuRequested(event->globalPos());
    event->accept();
}

void TrackButton::setBackColor(quint32 value)
{
    if (value == m_backColor)
        return;
    m_backColor = value;
    update();
}

QRect TrackButton::captionRect() const
{
    return rect().adjusted(4, 4, -4, -4);
}

QFont TrackButton::captionFont() const
{
    const QString caption = text().left(kMaxCaptionChars);
    if (caption != m_fittedFor || font() != m_fittedFrom || size() != m_fittedSize) {
        m_fittedFor = caption;
        m_fittedFrom = font();
        m_fittedSize = size();
        m_fittedFont = fittedFont(font(), caption, captionRect(), kCaptionFlags);
    }
    return m_fittedFont;
}

void TrackButton::paintEvent(QPaintEvent *)
{
    // Styles such as Fusion or the native ones ignore a button's palette; painting the bevel
    // ourselves is what makes the play indication show everywhere.
    QPainter painter(this);
    const QBrush fill(Colours::colour(m_backColor, palette()));
    qDrawWinButton(&painter, rect(), palette(), isDown(), &fill);

    QPoint at = captionRect().topLeft();
    if (isDown())
        at += QPoint(1, 1);
    painter.drawPixmap(at, captionPixmap());
    if (m_framed) {
        painter.setPen(QPen(QColor(0x00, 0xA0, 0x00), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

const QPixmap &TrackButton::captionPixmap() const
{
    // Laying out a wrapped caption costs more than all the rest of a repaint, and the playing
    // button repaints four times a second to blink: the caption is drawn once and then copied.
    const QString caption = text().left(kMaxCaptionChars);
    const QRect box = captionRect();
    const qreal ratio = devicePixelRatioF();
    if (caption == m_pixmapFor && isEnabled() == m_pixmapEnabled && box.size() == m_pixmapSize
        && ratio == m_captionPixmap.devicePixelRatio() && captionFont() == m_pixmapFont && !m_captionPixmap.isNull())
        return m_captionPixmap;
    m_pixmapFor = caption;
    m_pixmapEnabled = isEnabled();
    m_pixmapSize = box.size();
    m_pixmapFont = captionFont();
    m_captionPixmap = QPixmap(box.size() * ratio);
    m_captionPixmap.setDevicePixelRatio(ratio);
    m_captionPixmap.fill(Qt::transparent);
    QPainter painter(&m_captionPixmap);
    painter.setFont(m_pixmapFont);
    const QRect local(QPoint(0, 0), box.size());
    if (isEnabled()) {
        painter.setPen(Qt::black);
        painter.drawText(local, kCaptionFlags, caption);
    } else {
        // The classic engraved look: a white copy one pixel down and right under dark grey,
        // readable on silver and on any other back colour.
        painter.setPen(Qt::white);
        painter.drawText(local.translated(1, 1), kCaptionFlags, caption);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawText(local, kCaptionFlags, caption);
    }
    return m_captionPixmap;
}

void TrackButton::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved();
    QPushButton::mouseMoveEvent(event);
}

std::optional<QStringList> TrackButton::droppableFiles(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty())
        return std::nullopt;
    QStringList paths;
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty() || path.contains(QLatin1Char('"')) || !QFileInfo(path).isFile())
            return std::nullopt;
        paths << path;
    }
    return paths;
}

void TrackButton::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppableFiles(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TrackButton::dropEvent(QDropEvent *event)
{
    const std::optional<QStringList> paths = droppableFiles(event->mimeData());
    if (!paths) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(*paths);
}
