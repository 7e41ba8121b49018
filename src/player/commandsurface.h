#pragma once

#include <QObject>
#include <QString>

#include <array>

// One cart as a controller sees it.
struct CartState
{
    QString caption;
    bool loaded = false;  // a file is assigned
    bool enabled = false; // its button may be pressed now
};

// What the player window tells of itself to a controller.
struct SurfaceState
{
    int slot = 0;         // the playing slot, 1 to 12; 0 when nothing plays
    double remaining = 0; // seconds
    double total = 0;     // seconds
    bool fading = false;
    std::array<CartState, 12> carts{};
};

// The one way every control surface (keys and clicks aside, which the window handles itself:
// the command line, OSC, MIDI pads, a browser) acts on the player window: the same as a click
// or a key, never more. Controllers follow changed() and never poll: it is emitted on a start,
// a stop, an end, a fade, a change of the carts (a save, a drop), and, while a cart plays, for
// the remaining time on the window's own tick (four times a second at most). Nothing is
// emitted while nothing plays and nothing changes.
class CommandSurface : public QObject
{
    Q_OBJECT

public:
    enum class Change { Started, Stopped, Ended, FadeBegun, Remaining, Carts };
    Q_ENUM(Change)

    using QObject::QObject;

    // As F1-F12 for slot 1-12: plays it, or stops it when it is the one playing; nothing when
    // its button is locked or the slot is out of range.
    virtual void fire(int slot) = 0;
    // As a second click on the playing button; nothing when nothing plays.
    virtual void stop() = 0;
    // As Esc: fades the playing cart out; nothing when nothing plays.
    virtual void fade() = 0;
    virtual SurfaceState state() = 0;
    // Brings the window to the front (another start of the program asked for it).
    virtual void raise() = 0;

signals:
    void changed(CommandSurface::Change what);
};
