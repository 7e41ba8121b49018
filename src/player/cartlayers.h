#pragma once

#include "show/cartsettings.h"

#include <QList>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <optional>

class CartView;
class LayerControl;
class MediaPlayer;
class FadeControl;
class QLabel;
class ShowDocument;
class TrackButton;

// The carts of pages whose carts play together or hand over: each one fired plays as a layer of
// the player's, beside the others, while the wall stays live. Every playing cart's button
// blinks and shows its own remaining time and progress; the two displays show the one fired
// last that still plays. Pages that play one cart at a time never come here.
class CartLayers : public QObject
{
    Q_OBJECT

public:
    struct Playing
    {
        int layer = 0;      // the player's layer
        quint64 pageId = 0; // the page it was fired from (see ShowDocument::pageId)
        int slot = 0;       // 0-11
        QString file;
        QString caption;
        CartSettings settings;
        double total = 0; // seconds
        bool fading = false;
        double duckedDb = 0; // how far it is ducked under another
        QElapsedTimer since; // its start
        QString firedBy;     // "go" or "follow" in a running order
    };

    // player plays what is fired, layers keeps it playing beside the rest (null: a player that
    // cannot, and then no page plays carts together); total and remaining are the displays. The
    // player stops its layers itself when it goes (it may go first).
    CartLayers(ShowDocument &show, MediaPlayer &player, LayerControl *layers, FadeControl *fades, CartView &carts,
               const std::array<TrackButton *, 12> &buttons, QLabel *total, QLabel *remaining,
               QObject *parent = nullptr);

    // Whether the page shown plays its carts together or hands over.
    bool active() const;
    bool anyPlaying() const { return !m_playing.isEmpty(); }
    // What plays, the first fired first.
    const QList<Playing> &playing() const { return m_playing; }
    std::optional<Playing> mostRecent() const
    {
        return m_playing.isEmpty() ? std::nullopt : std::optional<Playing>(m_playing.last());
    }
    double remaining(const Playing &cart) const;

    // A press of slot on the page shown: plays it over what plays (fading out what plays first on
    // a page that hands over, and the other carts of its group on any page), or stops it when it
    // plays, unless the guard against a double press says it came too soon after its start;
    // with fade, fades it out instead.
    void press(int slot, bool fade);
    // The carts of group fade out (except the one of layer except); none for an empty group.
    void fadeGroup(const QString &group, int except = 0);
    // Esc: the cart fired last fades out. Shift+Esc: every cart stops at once. Fade all.
    void fadeMostRecent();
    void stopMostRecent();
    // The cart of slot on the page shown stops, if it plays.
    void stopSlot(int slot);
    // What fired the cart started last (see Playing::firedBy).
    void setFiredBy(const QString &firedBy)
    {
        if (!m_playing.isEmpty())
            m_playing.last().firedBy = firedBy;
    }
    void stopAll();
    void fadeAll();
    // The page shown changed, or its carts did: its playing buttons blink again, the rest rest.
    void showPage();

signals:
    // A cart started, stopped (by a press, a fade, a stop), or ended by itself; the countdown.
    void started();
    void stopped();
    void ended();
    void fadeBegun();
    void ticked();

private:
    void tick();
    // Every cart under the deepest duck of the others that play (ramping down in 150 ms, back up
    // in 500 ms).
    void duck();
    void stop(qsizetype index, bool ended);
    void fade(Playing &cart);
    void paint();
    TrackButton *buttonOf(const Playing &cart) const;
    double windowFade() const;

    ShowDocument &m_show;
    MediaPlayer &m_player;
    LayerControl *m_layers;
    FadeControl *m_fades;
    CartView &m_carts;
    std::array<TrackButton *, 12> m_buttons;
    QLabel *m_total;
    QLabel *m_remaining;
    QList<Playing> m_playing;
    QTimer m_timer;
    bool m_red = true;          // the blink's phase
    int m_warnSeconds = 0;      // the end warning's, as the last cart started
    QList<TrackButton *> m_lit; // the buttons the blink painted, to give back their face
};
