#pragma once

// What the player window tells of itself to a remote controller.
struct PlayState
{
    int slot = 0;           // the playing slot, 1 to 12; 0 when nothing plays
    double remaining = 0;   // seconds
    double total = 0;       // seconds
};

// What a remote controller (the command line, OSC) may do to the player window: the same as a
// click or a key, never more.
class RemoteTarget
{
public:
    virtual ~RemoteTarget() = default;
    // As F1-F12 for slot 1-12: plays it, or stops it when it is the one playing; nothing when
    // its button is locked.
    virtual void fire(int slot) = 0;
    // As a second click on the playing button; nothing when nothing plays.
    virtual void stop() = 0;
    // As Esc: fades the playing track out; nothing when nothing plays.
    virtual void fade() = 0;
    virtual PlayState state() = 0;
    // Brings the window to the front (another start of the program asked for it).
    virtual void raise() = 0;
};
