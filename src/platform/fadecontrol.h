#pragma once

// A media player that fades out. Calls come from the user-interface thread.
class FadeControl
{
public:
    virtual ~FadeControl() = default;

    // Fades the playing track out along a smooth curve, reaching silence seconds from now; the
    // position goes on meanwhile. fadedOut() is true once it is silent (or, whatever the sound
    // server does, shortly after), until the next put or stop. Nothing happens when nothing
    // plays.
    virtual void fadeOut(double seconds) = 0;
    virtual bool fadedOut() = 0;
};
