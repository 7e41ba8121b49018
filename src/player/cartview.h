#pragma once

#include "common/settings.h"
#include "platform/mediaplayer.h"
#include "show/cartsettings.h"

#include <QList>
#include <QObject>

class CartPlaybackControl;
class ShowDocument;
class TrackButton;
class QWidget;

// The carts' own settings on the player window: how the player plays each (its part of the
// file, its loop, level and fade-in), the colour its button shows at rest, and how long its
// fade-out takes. Carts with default settings play, look and fade as ever.
class CartView : public QObject
{
    Q_OBJECT

public:
    // player may be null (a player that plays files whole): the colours and fades still apply.
    CartView(ShowDocument &show, CartPlaybackControl *player, const QList<TrackButton *> &buttons,
             QObject *parent = nullptr);

    // The next put of the player plays slot (0-11) of page as its settings say.
    void beforePut(int page, int slot);
    // The next put of the player plays a cart with settings.
    void beforePut(const CartSettings &settings);
    // Gives the cues of the page shown (one a slot) their playback, and the buttons their colours.
    void prepare(QList<MediaCue> &cues);
    // The fade-out of slot of page: its own length, or windowSeconds.
    double fadeSeconds(int page, int slot, double windowSeconds) const;

    // Opens the settings of slot on the page shown over window, and keeps what is accepted
    // (a failed save is told). Playback goes on meanwhile.
    void edit(QWidget *window, int slot);

private:
    ShowDocument &m_show;
    CartPlaybackControl *m_player;
    QList<TrackButton *> m_buttons;
    Settings m_settings;
};
