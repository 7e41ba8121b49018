#pragma once

#include <QString>

// The media player the player window drives: it is handed a file name, asked for the duration
// and the position, and told to stop. All calls come from the user-interface thread.
class MediaPlayer
{
public:
    virtual ~MediaPlayer() = default;

    // Loads the named file and starts playing it once control returns to the event loop, so a
    // put followed by stop in the same handler makes no sound. Any earlier track stops first.
    virtual void setFileName(const QString &fileName) = 0;

    // Exactly the text last put, whether or not it could be opened.
    virtual QString fileName() const = 0;

    // The loaded file's exact length in seconds; 0 when it cannot be played.
    virtual double duration() = 0;

    // Seconds played so far. Never runs backwards while playing; equals duration() exactly once
    // the last sample has been heard. 0 after stop and for a file that cannot be played.
    virtual double position() = 0;

    // Silences the output at once and resets the position to 0. The file name stays.
    virtual void stop() = 0;
};
