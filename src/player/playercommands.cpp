#include "player/playercommands.h"

#include "player/cartlayers.h"
#include "player/cuelist.h"
#include "player/form1.h"
#include "player/trackbutton.h"
#include "show/showdocument.h"
#include "tracklist/trackslot.h"

#include <QFileInfo>

PlayerCommands::PlayerCommands(Form1 &window, QObject *parent)
    : CommandSurface(parent),
      m_window(window)
{
    connect(&window, &Form1::trackStarted, this, [this] { emit changed(Change::Started); });
    connect(&window, &Form1::trackStopped, this, [this] { emit changed(Change::Stopped); });
    connect(&window, &Form1::trackEnded, this, [this] { emit changed(Change::Ended); });
    connect(&window, &Form1::fadeBegun, this, [this] { emit changed(Change::FadeBegun); });
    connect(&window, &Form1::ticked, this, [this] { emit changed(Change::Remaining); });
    connect(&window, &Form1::tracksChanged, this, [this] { emit changed(Change::Carts); });
    connect(&window, &Form1::pageChanged, this, [this] { emit changed(Change::Page); });
}

void PlayerCommands::fire(int slot)
{
    m_window.fireTrack(slot - 1);
}

void PlayerCommands::showPage(int page)
{
    m_window.showPage(page - 1);
}

void PlayerCommands::stop()
{
    m_window.stopTrack();
}

void PlayerCommands::fade()
{
    m_window.fadeTrack();
}

void PlayerCommands::stopAll()
{
    m_window.stopAll();
}

void PlayerCommands::fadeAll()
{
    m_window.fadeAll();
}

void PlayerCommands::go()
{
    m_window.goNext();
}

SurfaceState PlayerCommands::state()
{
    SurfaceState state;
    if (const std::optional<int> playing = m_window.playingTrack()) {
        state.playing = true;
        // A cart whose page is gone, or of another show, is on no page or slot of this one.
        const std::optional<int> page = m_window.playingPage();
        state.slot = page ? *playing + 1 : 0;
        state.playingPage = page ? *page + 1 : 0;
        state.remaining = m_window.remainingSeconds();
        state.total = m_window.totalSeconds();
        state.fading = m_window.isFading();
        state.playingFile = m_window.playingFile();
        state.playingCaption = m_window.playingCaption();
        state.playingCarts.append({m_window.playingSerial(), state.playingPage, state.slot, state.remaining,
                                   state.total, state.playingCaption, state.playingFile, state.fading,
                                   m_window.playingFiredBy()});
    }
    // The carts that play beside one another: each listed, and the one fired last told of when
    // no cart of a page of one at a time plays.
    const CartLayers *layers = m_window.layers();
    const ShowDocument *show = m_window.showDocument();
    for (const CartLayers::Playing &cart : layers->playing()) {
        const std::optional<int> page = show->pageOf(cart.pageId);
        const PlayingCart playing{quint64(cart.layer),
                                  page ? *page + 1 : 0,
                                  page ? cart.slot + 1 : 0,
                                  layers->remaining(cart),
                                  cart.total,
                                  cart.caption,
                                  cart.file,
                                  cart.fading,
                                  cart.firedBy};
        state.playingCarts.append(playing);
        if (!m_window.playingTrack()) {
            state.playing = true;
            state.slot = playing.slot;
            state.playingPage = playing.page;
            state.remaining = playing.remaining;
            state.total = playing.total;
            state.fading = cart.fading;
            state.playingFile = cart.file;
            state.playingCaption = cart.caption;
        }
    }
    state.shownPage = m_window.showDocument()->shownPage() + 1;
    if (m_window.cues()->active()) {
        state.runningOrder = true;
        if (const std::optional<int> next = m_window.cues()->next()) {
            state.nextSlot = *next + 1;
            state.nextCaption = m_window.trackButton(*next)->text();
            state.nextNote = m_window.showDocument()->cartSettings(state.shownPage - 1, *next).note;
        }
    }
    state.pageCount = m_window.showDocument()->pageCount();
    state.pageName = m_window.showDocument()->pageName(state.shownPage - 1);
    if (!m_window.showDocument()->isDefault())
        state.showName = QFileInfo(m_window.showDocument()->filePath()).completeBaseName();
    for (int n = 0; n < SlotCount; ++n) {
        const TrackButton *button = m_window.trackButton(n);
        state.carts[size_t(n)] = {button->text(), !trimSpaces(button->tag()).isEmpty(), button->isEnabled()};
    }
    return state;
}

bool PlayerCommands::openShow(const QString &path)
{
    return m_window.openShow(path);
}

void PlayerCommands::raise()
{
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}
