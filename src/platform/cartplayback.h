#pragma once

#include <QString>

#include <optional>

// How a cart plays its file: the part of it (seconds from the file's start), whether that part
// repeats, its level and how it fades in. The default plays the whole file once, as it is.
struct CartPlayback
{
    double in = 0;
    std::optional<double> out; // none: the file's end
    bool loop = false;
    double gainDb = 0;
    double fadeIn = 0; // seconds

    bool isPlain() const { return *this == CartPlayback{}; }
    friend bool operator==(const CartPlayback &, const CartPlayback &) = default;
};

// A media player that plays carts as their settings say. Calls come from the user-interface
// thread.
class CartPlaybackControl
{
public:
    virtual ~CartPlaybackControl() = default;

    // The next setFileName() plays its file as playback says; any put after that one plays its
    // file whole again. duration() and position() are then the part's: out minus in (out past
    // the file's end counts to the end; in at or past the end plays the whole file). A looping
    // part never ends by itself, and its position starts again from 0 with each pass. A level
    // above 0 dB is held so that the file's true peak stays at or below -1 dBTP (and at 0 dB
    // until that peak is known).
    virtual void setNextPlayback(const CartPlayback &playback) = 0;

    // Pre-listens to the part of fileName that playback names (with its level and fade-in, never
    // looped), as the pre-listen control's preListen() does: false when there is no pre-listen
    // output or the file cannot play.
    virtual bool preListenPart(const QString &fileName, const CartPlayback &playback) = 0;

    // The level in dB a cart of fileName at gainDb plays at, beside loudness matching's: gainDb,
    // or less when its true peak holds it back.
    virtual double heldGainDb(const QString &fileName, double gainDb) = 0;
};
