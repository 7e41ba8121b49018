#pragma once

#include <QObject>
#include <QList>
#include <QString>

#include <array>

// One cart as a controller sees it.
struct CartState
{
    QString caption;
    bool loaded = false;  // a file is assigned
    bool enabled = false; // its button may be pressed now
};

// A cart that plays on air.
struct PlayingCart
{
    quint64 id = 0; // the same for as long as the cart plays, another for each cart started
    int page = 0;   // from 1; 0 when its page is gone or another show is open
    int slot = 0;   // 1 to 12; 0 likewise
    double remaining = 0;
    double total = 0;
    QString caption;
    QString file;
    bool fading = false;
    QString firedBy; // "go" or "follow" when a running order fired it
};

// What the player window tells of itself to a controller.
struct SurfaceState
{
    bool playing = false; // a cart plays on air, wherever it was fired from
    int slot = 0;         // the playing slot, 1 to 12; 0 when nothing plays or its page is gone
    double remaining = 0; // seconds
    double total = 0;     // seconds
    bool fading = false;
    int playingPage = 0; // the page of the playing slot, from 1; 0 when nothing plays, or its page
                         // was deleted, or another show is open
    int shownPage = 1;   // the page the window shows, from 1
    int pageCount = 1;
    QString pageName;                  // the page shown's
    QString playingFile;               // the playing cart's file; empty when nothing plays
    QString playingCaption;            // and its caption
    QString showName;                  // the show's file name without ".kelvo"; empty for the default show
    std::array<CartState, 12> carts{}; // the page shown's
    bool runningOrder = false;         // the page shown is run in order by GO
    int nextSlot = 0;                  // its next cue, 1 to 12; 0 at its end (or no running order)
    QString nextCaption, nextNote;
    QList<PlayingCart> playingCarts; // every cart on air, the first fired first; the fields above
                                     // tell of the one fired last
};

// The one way every control surface (keys and clicks aside, which the window handles itself:
// the command line, OSC, MIDI pads, a browser) acts on the player window: the same as a click
// or a key, never more. Controllers follow changed() and never poll: it is emitted on a start,
// a stop, an end, a fade, a change of the carts (a save, a drop) or of the page shown, and, while a
// cart plays, for
// the remaining time on the window's own tick (four times a second at most). Nothing is
// emitted while nothing plays and nothing changes.
class CommandSurface : public QObject
{
    Q_OBJECT

public:
    enum class Change { Started, Stopped, Ended, FadeBegun, Remaining, Carts, Page };
    Q_ENUM(Change)

    using QObject::QObject;

    // As F1-F12 for slot 1-12 of the page shown: plays it, or stops it when it is the one
    // playing; nothing when its button is locked or the slot is out of range.
    virtual void fire(int slot) = 0;
    // As Ctrl+1 for page 1: shows page (from 1); nothing when there is no such page or the
    // editor is open.
    virtual void showPage(int page) = 0;
    // Shows page, then fires slot on it; nothing when the page could not be shown.
    void fireOnPage(int page, int slot)
    {
        showPage(page);
        if (state().shownPage == page)
            fire(slot);
    }
    // As a second click on the playing button; nothing when nothing plays.
    virtual void stop() = 0;
    // As Esc: fades the playing cart out; nothing when nothing plays.
    virtual void fade() = 0;
    // As Shift+Esc: stops everything that plays on air at once.
    virtual void stopAll() = 0;
    // As Ctrl+Esc: fades out everything that plays on air.
    virtual void fadeAll() = 0;
    // As Space on a page run in order: fires its next cue; nothing on any other page.
    virtual void go() = 0;
    virtual SurfaceState state() = 0;
    // Opens the show file at path (absolute), telling the user what it skipped; false when it
    // could not be opened (the show then stays as it was).
    virtual bool openShow(const QString &path) = 0;
    // Brings the window to the front (another start of the program asked for it).
    virtual void raise() = 0;

signals:
    void changed(CommandSurface::Change what);
};
