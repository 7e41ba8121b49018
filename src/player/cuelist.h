#pragma once

#include "player/runningorder.h"

#include <QHash>
#include <QObject>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <optional>

class QLabel;
class QWidget;
class ShowDocument;
class SoundNotice;
class TrackButton;

// A page run in order: its cues are its carts, GO (Space) fires the next and moves on, the next
// cue's button is framed and "Next: CAPTION" (with its note) is named on the window, and a cue's
// follow fires the one after it by itself. Pages that are not running orders look and act as
// ever: nothing of this shows or runs for them.
class CueList : public QObject
{
    Q_OBJECT

public:
    CueList(QWidget *window, ShowDocument &show, SoundNotice &notice, const std::array<TrackButton *, 12> &buttons);

    // Whether the page shown is a running order.
    bool active() const;
    // The next cue of the page shown, 0-11; nothing at its end or on another kind of page.
    std::optional<int> next() const { return active() ? m_order.next() : std::nullopt; }

    // GO: asks for the next cue to be fired (goRequested) and moves on; at the end it says so.
    // False when the page shown is not a running order.
    bool go();
    // Shift+Space and Ctrl+Space: next steps back or forward without firing.
    bool step(int by);
    // A cue of the page shown started (by GO, a click or a follow), duration seconds long: next
    // is the one after it, and its follow, if it has one, is timed from the GO or the follow that
    // fired it (so the time the window took to start it is not added at each link), else from now.
    void started(int slot, double duration);
    // Esc and Stop all: a follow waiting is cancelled.
    void cancelFollow() { m_follow.stop(); }
    bool followPending() const { return m_follow.isActive(); }

    // The page shown, or its carts, changed.
    void refresh();

    QLabel *label() const { return m_label; }

signals:
    // Fire this cue of the page shown now; byFollow: its predecessor's follow asked.
    void goRequested(int slot, bool byFollow);

private:
    void show();
    quint64 pageId() const;

    ShowDocument &m_show;
    SoundNotice &m_notice;
    std::array<TrackButton *, 12> m_buttons;
    RunningOrder m_order;
    QHash<quint64, int> m_positions; // where next stood on each page, by the page's identity
    quint64 m_page = 0;              // the page m_order is of
    QTimer m_follow;
    QElapsedTimer m_clock;
    qint64 m_followDueMs = 0;          // on m_clock, when m_follow is due
    std::optional<qint64> m_firedAtMs; // on m_clock, the GO or follow now being started
    QLabel *m_label;
};
