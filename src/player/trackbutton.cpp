#include "player/trackbutton.h"

#include "common/captionfit.h"
#include "common/colours.h"

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

    QRect textRect = captionRect();
    if (isDown())
        textRect.translate(1, 1);
    const QString caption = text().left(kMaxCaptionChars);
    const int flags = kCaptionFlags;
    painter.setFont(captionFont());
    if (isEnabled()) {
        painter.setPen(Qt::black);
        painter.drawText(textRect, flags, caption);
    } else {
        // The classic engraved look: a white copy one pixel down and right under dark grey,
        // readable on silver and on any other back colour.
        painter.setPen(Qt::white);
        painter.drawText(textRect.translated(1, 1), flags, caption);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawText(textRect, flags, caption);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
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
