#pragma once

#include <QFont>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>

#include <optional>

class QMimeData;
class QPainter;

// A large track button in the graphical style: it paints its own back colour on every Qt
// style, carries the slot's full path as its tag, and reports mouse moves without a click.
class TrackButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)
    Q_PROPERTY(quint32 backColor READ backColor WRITE setBackColor)

public:
    explicit TrackButton(QWidget *parent = nullptr);

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    // A green frame inside the bevel: the cart is being pre-listened.
    bool framed() const { return m_framed; }
    void setFramed(bool framed);

    // An amber frame inside the bevel: the cue GO fires next, on a page run in order.
    bool cued() const { return m_cued; }
    void setCued(bool cued);

    // A red corner at the top right: the cart's file is not there to play; note says why, as the
    // button's tooltip (unless another tooltip is set).
    bool marked() const { return m_marked; }
    QString markNote() const { return m_marked ? m_markNote : QString(); }
    void setMarked(bool marked, const QString &note = {});

    // A circling arrow at the bottom right: the cart loops until it is stopped.
    bool loopMarked() const { return m_loopMarked; }
    void setLoopMarked(bool looping);

    // While its cart plays beside others: how far it has got (0 to 1) as a bar along the bottom,
    // and its remaining time in the top left corner, in red with warn (its last seconds);
    // nothing: neither (the classic face).
    void setProgress(std::optional<double> fraction, const QString &remaining = {}, bool warn = false);
    QString progressText() const { return m_remainingText; }
    bool progressWarns() const { return m_progressWarns; }

    // A stored colour value (0x00BBGGRR, or the button-face value).
    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 value);

    // What the button-face value shows: the cart's own colour at rest; invalid: the button face.
    // The other colours (silver when locked, the blink) show as they are.
    QColor restColour() const { return m_restColour; }
    void setRestColour(const QColor &colour);

    // Small type in the face's corners at rest: the button's key ("F3") at the top left and its
    // cart's length ("03:25") at the bottom left; empty texts: none.
    void setCorners(const QString &key, const QString &length);
    QString cornerKey() const { return m_cornerKey; }
    QString cornerLength() const { return m_cornerLength; }

    // The local files a drag carries, when every item is a regular local file whose path the
    // track list can store (no double quote); nothing otherwise.
    static std::optional<QStringList> droppableFiles(const QMimeData *mime);

    // Where the caption is drawn, and the font it is drawn in: the button's own font, stepped
    // down where the caption would not fit otherwise.
    QRect captionRect() const;
    QFont captionFont() const;
    static constexpr int kCaptionFlags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    // Far more than the face can show; laying out a huge caption would stall every repaint.
    static constexpr qsizetype kMaxCaptionChars = 256;

signals:
    // The mouse moved over the button, pressed or not.
    void mouseMoved();
    // Files were dropped on the button (an enabled one), in the order the drag listed them.
    void filesDropped(const QStringList &paths);
    // The right button, or the Menu key, on the button (enabled or not): its menu is wanted at
    // globalPos.
    void menuRequested(const QPoint &globalPos);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QString m_tag;
    quint32 m_backColor;
    QColor m_restColour;
    bool m_framed = false;
    bool m_cued = false;
    bool m_marked = false;
    QString m_markNote;
    bool m_loopMarked = false;
    std::optional<double> m_progress;
    QString m_remainingText;
    bool m_progressWarns = false;
    QString m_cornerKey;
    QString m_cornerLength;
    // The last fitted caption font, and what it was fitted for.
    mutable QString m_fittedFor;
    mutable QFont m_fittedFrom;
    mutable QSize m_fittedSize;
    mutable QFont m_fittedFont;
    // What a face shows: a face is drawn again only when one of these changes.
    struct FaceKey
    {
        quint32 backColor;
        QRgb rest; // 0: none
        bool down;
        bool framed;
        bool cued;
        bool marked;
        bool looping;
        bool focus;
        bool enabled;
        QSize size;
        qreal ratio;
        QString caption;
        QFont font;
        qint64 palette;
        int progress; // in thousandths; -1: none
        QString remaining;
        bool warns;
        QString cornerKey;
        QString cornerLength;
        bool operator==(const FaceKey &) const = default;
    };
    struct Face
    {
        FaceKey key;
        QPixmap pixmap;
    };
    const QPixmap &face() const;
    void paintFace(QPainter &painter, const FaceKey &key) const;
    // The faces last drawn, the latest first.
    mutable QList<Face> m_faces;
};
