#pragma once

#include <QFont>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>

class QAction;
class QMenu;
class QWidget;

// The wall at any size: the window's controls, laid out for the classic size, are scaled with
// the window (positions, sizes and fonts, centred where the shape differs, the frame filling the
// rest), from the classic size up. At the classic size every control has exactly its classic
// geometry and font. It fills the window menu's View group (viewMenu): "Full screen" (Ctrl+F11; F11
// stays the eleventh cart's key), "Classic size" and "Show lengths and keys"; dragging the
// window's lower right corner resizes it. Full screen, the size and the choice are kept in
// kelvo.conf (view/fullScreen, view/size as "WIDTHxHEIGHT", view/lengthsAndKeys; a bad value is
// the default).
class WallScaler : public QObject
{
    Q_OBJECT

public:
    static constexpr int kCornerGrip = 14; // pixels of the lower right corner that resize

    // Scales window's children; frame is the control stretched to cover the whole window.
    WallScaler(QWidget *window, QWidget *frame, QMenu *viewMenu);

    // How much larger than the classic size the wall is drawn (1 at the classic size).
    double scale() const { return m_scale; }
    bool isFullScreen() const;
    void setFullScreen(bool on);
    // Back to the classic size, out of full screen.
    void classicSize();
    // Whether the buttons show their lengths and keys: the choice made, else on in full screen
    // and off at the classic size.
    bool showsLengthsAndKeys() const;

signals:
    // showsLengthsAndKeys() may have changed.
    void cornersChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Classic
    {
        QRect geometry;
        QFont font;
    };
    void apply();
    void restore();
    void keepSize() const;

    QWidget *m_window;
    QWidget *m_frame;
    QSize m_classic;
    double m_scale = 1;
    bool m_restored = false;
    bool m_full = false; // full screen, as chosen
    bool m_applying = false;
    bool m_lastCorners = false;
    QHash<QWidget *, Classic> m_classicOf;
    QAction *m_fullScreen = nullptr;
    QAction *m_corners = nullptr;
    QTimer m_keepSize; // the size is written once resizing pauses
};
