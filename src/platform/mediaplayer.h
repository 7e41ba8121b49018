#pragma once

#include "platform/cartplayback.h"

#include <QList>
#include <QString>

#include <functional>

// A file the player window may ask for, the caption it plays under, and how its cart plays it.
struct MediaCue
{
    QString fileName;
    QString caption;
    CartPlayback playback{};
};

// The media player the player window drives: it is handed a file name, asked for the duration
// and the position, and told to stop. All calls come from the user-interface thread. What a
// player can do beyond this (fades, loudness, outputs, pre-listen) it offers through the small
// interfaces beside this one, which the window asks it for.
class MediaPlayer
{
public:
    virtual ~MediaPlayer() = default;

    // Loads the named file and starts playing it once control returns to the event loop, so a
    // put followed by stop in the same handler makes no sound. Any earlier track stops first.
    virtual void setFileName(const QString &fileName) = 0;

    // Exactly the text last put, whether or not it could be opened.
    virtual QString fileName() const = 0;

    // The loaded file's exact length in seconds; 0 when it cannot be played, or while
    // durationPending() is true.
    virtual double duration() = 0;

    // Seconds played so far. Never runs backwards while playing; equals duration() exactly once
    // the last sample has been heard. 0 after stop and for a file that cannot be played.
    virtual double position() = 0;

    // Silences the output at once and resets the position to 0. The file name stays.
    virtual void stop() = 0;

    // True while the loaded file's length is still being counted (a file whose header does not
    // state it): it plays meanwhile, and the handler set below is called once the length is known.
    virtual bool durationPending() const = 0;
    virtual void setDurationKnownHandler(std::function<void()> handler) = 0;

    // The files the window may put next, with their captions: the player may get them ready so
    // that a put starts at once. No sound, and nothing the window waits for.
    virtual void prepare(const QList<MediaCue> &cues) = 0;
};
