#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// A file the player window may ask for, and the caption it plays under.
struct MediaCue
{
    QString fileName;
    QString caption;
};

// One of the sound server's outputs: its name (what is stored) and its description.
struct MediaOutput
{
    QString name;
    QString description;
};

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
    virtual bool durationPending() const { return false; }
    virtual void setDurationKnownHandler(std::function<void()> handler) { (void)handler; }

    // Fades the playing track out along a smooth curve, reaching silence seconds from now; the
    // position goes on meanwhile. fadedOut() is true once it is silent, until the next put or
    // stop. Nothing happens when nothing plays.
    virtual void fadeOut(double seconds) { (void)seconds; }
    virtual bool fadedOut() { return false; }

    // Plays every file at the given integrated loudness (LUFS) as far as its true peak allows
    // (at most -1 dBTP), or each at its own level with nothing. Files not yet measured play at
    // their own level.
    virtual void setLoudnessTarget(std::optional<double> lufs) { (void)lufs; }
    // What is known of a file's loudness, for people: "-14.2 LUFS, peak -0.3 dBTP", "measuring",
    // "not measurable", or nothing when it is not being measured at all.
    virtual QString loudnessText(const QString &fileName) { (void)fileName; return {}; }

    // The server's outputs now (asked of it: a short wait); none without a server.
    virtual QList<MediaOutput> outputs() { return {}; }
    // Where carts play (empty: the server's default) and where they are pre-listened (empty:
    // nowhere). A chosen output the server does not have plays to the default instead, until it
    // comes back; a missing pre-listen output pre-listens nothing.
    virtual void setOutputs(const QString &air, const QString &preListen) { (void)air; (void)preListen; }
    // Plays fileName from its start on the pre-listen output, beside whatever plays on air and
    // without touching it; any earlier pre-listen stops. False when there is no pre-listen
    // output or the file cannot play.
    virtual bool preListen(const QString &fileName) { (void)fileName; return false; }
    virtual void stopPreListen() {}
    // True until the pre-listen stops or reaches its end.
    virtual bool preListening() { return false; }

    // The files the window may put next, with their captions: the player may get them ready so
    // that a put starts at once. No sound, and nothing the window waits for.
    virtual void prepare(const QList<MediaCue> &cues) { (void)cues; }
};
