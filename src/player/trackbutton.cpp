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
#include <QToolTip>
#include <qdrawutil.h>

TrackButton::TrackButton(QWidget *parent)
    : QPushButton(parent),
      m_backColor(Colours::ButtonFace)
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

void TrackButton::setCued(bool cued)
{
    if (cued == m_cued)
        return;
    m_cued = cued;
    update();
}

void TrackButton::setMarked(bool marked, const QString &note)
{
    m_markNote = note;
    if (marked == m_marked)
        return;
    m_marked = marked;
    update();
}

void TrackButton::contextMenuEvent(QContextMenuEvent *event)
{
    emit menuRequested(event->globalPos());
    event->accept();
}

bool TrackButton::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty() && m_marked && !m_markNote.isEmpty()) {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), m_markNote, this);
        return true;
    }
    // A disabled button swallows its right clicks; a locked one still offers its menu (the
    // window decides what a locked cart's menu holds).
    if (!isEnabled() && event->type() == QEvent::ContextMenu) {
        auto *menuEvent = static_cast<QContextMenuEvent *>(event);
        emit menuRequested(menuEvent->globalPos());
        menuEvent->accept();
        return true;
    }
    // The Menu key (or Shift+F10) on the cart that has the focus opens that cart's menu, below
    // it, whatever the platform makes of the key.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            emit menuRequested(mapToGlobal(QPoint(width() / 2, height() / 2)));
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange) {
        // A style may clear the mark as it polishes a button (Fusion does, for its rounded
        // corners); this one paints every pixel of its face, so the window beneath it is not
        // painted again at each blink.
        const bool handled = QPushButton::event(event);
        setAttribute(Qt::WA_OpaquePaintEvent);
        return handled;
    }
    return QPushButton::event(event);
}

void TrackButton::setBackColor(quint32 value)
{
    if (value == m_backColor)
        return;
    m_backColor = value;
    update();
}

void TrackButton::setCorners(const QString &key, const QString &length)
{
    if (key == m_cornerKey && length == m_cornerLength)
        return;
    m_cornerKey = key;
    m_cornerLength = length;
    update();
}

void TrackButton::setProgress(std::optional<double> fraction, const QString &remaining, bool warn)
{
    if (fraction)
        fraction = std::clamp(*fraction, 0.0, 1.0);
    warn = warn && fraction;
    if (fraction == m_progress && remaining == m_remainingText && warn == m_progressWarns)
        return;
    m_progress = fraction;
    m_remainingText = fraction ? remaining : QString();
    m_progressWarns = warn;
    update();
}

void TrackButton::setLoopMarked(bool looping)
{
    if (looping == m_loopMarked)
        return;
    m_loopMarked = looping;
    update();
}

void TrackButton::setRestColour(const QColor &colour)
{
    if (colour == m_restColour)
        return;
    m_restColour = colour;
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
    // The playing button repaints four times a second to blink between two faces; drawing the
    // bevel and laying out a wrapped caption cost far more than copying a finished face, so
    // each face is drawn once and then copied.
    QPainter painter(this);
    painter.drawPixmap(0, 0, face());
}

const QPixmap &TrackButton::face() const
{
    const QString caption = text().left(kMaxCaptionChars);
    const qreal ratio = devicePixelRatioF();
    const FaceKey key{m_backColor,
                      m_restColour.isValid() ? m_restColour.rgba() : 0,
                      isDown(),
                      m_framed,
                      m_cued,
                      m_marked,
                      m_loopMarked,
                      hasFocus(),
                      isEnabled(),
                      size(),
                      ratio,
                      caption,
                      captionFont(),
                      palette().cacheKey(),
                      m_progress ? int(*m_progress * 1000) : -1,
                      m_remainingText,
                      m_progressWarns,
                      m_cornerKey,
                      m_cornerLength};
    for (qsizetype n = 0; n < m_faces.size(); ++n) {
        if (m_faces[n].key == key) {
            if (n > 0)
                m_faces.move(n, 0);
            return m_faces.front().pixmap;
        }
    }
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    QPainter painter(&pixmap);
    paintFace(painter, key);
    painter.end();
    // The blink alternates two faces, and a press or the focus adds a third.
    if (m_faces.size() == 3)
        m_faces.removeLast();
    m_faces.prepend({key, pixmap});
    return m_faces.front().pixmap;
}

void TrackButton::paintFace(QPainter &painter, const FaceKey &key) const
{
    // Styles such as Fusion or the native ones ignore a button's palette; painting the bevel
    // ourselves is what makes the play indication show everywhere.
    // The lock and the blink paint over a cart's own colour; released, it shows again. A button
    // left silver by another cart's play is at rest once enabled again.
    const bool atRest = key.rest != 0
        && (key.backColor == Colours::ButtonFace || (key.backColor == Colours::Silver && key.enabled));
    const QBrush fill(atRest ? QColor::fromRgba(key.rest) : Colours::colour(key.backColor, palette()));
    qDrawWinButton(&painter, rect(), palette(), key.down, &fill);

    QRect box = captionRect();
    if (key.down)
        box.translate(1, 1);
    painter.setFont(key.font);
    if (key.enabled) {
        // Black, or white where black would not read (the blue of the blink, a dark colour).
        painter.setPen(Colours::inkOn(fill.color()));
        painter.drawText(box, kCaptionFlags, key.caption);
    } else if (Colours::inkOn(fill.color()) == Qt::black) {
        // The classic engraved look, a white copy one pixel down and right under grey; a grey
        // dark enough to read across the room on the silver of a locked wall.
        painter.setPen(Qt::white);
        painter.drawText(box.translated(1, 1), kCaptionFlags, key.caption);
        painter.setPen(QColor::fromRgba(Colours::LockedInk));
        painter.drawText(box, kCaptionFlags, key.caption);
    } else {
        painter.setPen(QColor(0xB0, 0xB0, 0xB0)); // on a dark colour of the cart's own
        painter.drawText(box, kCaptionFlags, key.caption);
    }
    const bool blinking = key.backColor == Colours::Red || key.backColor == Colours::Blue;
    if (key.progress < 0 && !blinking && !(key.cornerKey.isEmpty() && key.cornerLength.isEmpty())) {
        // At rest only: what plays shows its countdown instead.
        QFont small = key.font;
        small.setPixelSize(std::max(8, height() / 7));
        painter.setFont(small);
        painter.setPen(key.enabled ? Colours::inkOn(fill.color()) : QColor::fromRgba(Colours::LockedInk));
        const QRect corners = rect().adjusted(5, 3, -5, -3);
        painter.drawText(corners, Qt::AlignLeft | Qt::AlignTop, key.cornerKey);
        painter.drawText(corners, Qt::AlignLeft | Qt::AlignBottom, key.cornerLength);
        painter.setFont(key.font);
    }
    if (key.progress >= 0) {
        // Its own countdown, for a cart that plays beside others: in the caption's colour.
        const QColor ink = painter.pen().color();
        const int bar = std::max(3, height() / 16);
        const QRect track(4, height() - bar - 4, width() - 8, bar);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(ink.red(), ink.green(), ink.blue(), 70));
        painter.drawRect(track);
        painter.setBrush(ink);
        painter.drawRect(QRect(track.topLeft(), QSize(track.width() * key.progress / 1000, bar)));
        QFont small = key.font;
        small.setPixelSize(std::max(9, height() / 6));
        painter.setFont(small);
        // On a box of its own, readable on either phase of the blink; red in its last seconds,
        // as the remaining display warns.
        const QRect text =
            QFontMetrics(small).boundingRect(key.remaining).translated(6, 4 + QFontMetrics(small).ascent());
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRect(text.adjusted(-2, -1, 2, 1));
        painter.setPen(key.warns ? QColor(0xFF, 0x40, 0x40) : Colours::colour(Colours::Yellow));
        painter.drawText(text, Qt::AlignCenter, key.remaining);
    }
    if (key.cued) {
        // Amber, apart from the pre-listen's green, and drawn outside it should both show.
        painter.setPen(QPen(QColor(0xFF, 0xB0, 0x00), 4));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
    if (key.framed) {
        painter.setPen(QPen(QColor(0x00, 0xA0, 0x00), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
    if (key.marked) {
        const int side = std::max(8, height() / 5);
        const QPoint corner(width() - 2, 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xD0, 0x00, 0x00));
        painter.drawPolygon(QPolygon({corner, corner - QPoint(side, 0), corner + QPoint(0, side)}));
    }
    if (key.looping) {
        // Drawn in the caption's colour, so it shows on any face the caption shows on.
        const int side = std::max(10, height() / 4);
        const QRect circle(width() - side - 6, height() - side - 6, side, side);
        painter.setPen(QPen(painter.pen().color(), std::max(2, side / 7)));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(circle, 90 * 16, 270 * 16);
        const QPoint tip(circle.center().x(), circle.top());
        const int head = side / 3;
        painter.setBrush(painter.pen().color());
        painter.drawPolygon(QPolygon({tip + QPoint(head, 0), tip - QPoint(0, head / 2), tip + QPoint(0, head / 2)}));
    }
    if (key.focus) {
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
