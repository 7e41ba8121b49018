#pragma once

#include "decoding/durationcache.h"
#include "loudness/loudnesscache.h"
#include "decoding/trimmeddecoder.h"
#include "platform/cartplayback.h"
#include "platform/fadecontrol.h"
#include "platform/layercontrol.h"
#include "platform/lookaheadcontrol.h"
#include "platform/loudnesscontrol.h"
#include "platform/mediaplayer.h"
#include "platform/outputcontrol.h"
#include "platform/prelistencontrol.h"
#include "engine/pulseengine.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <memory>

class AudioDecoder;
class LoudnessMeasurement;
class PulseVoice;

// The real media player: decoders over libmpg123 and libsndfile, Kelvo's own sound engine over
// the sound server. Every cart the window names is armed in the background (its length probed,
// its voice connected and filled ahead), so a put plays at once. Where there is no sound server
// (none, or it goes away mid-track) a silent clock at the file's rate stands in, so the track
// still counts down and ends exactly at its duration; a server that comes back is used from the
// next put.
class AudioMediaPlayer : public QObject,
                         public MediaPlayer,
                         public FadeControl,
                         public LoudnessControl,
                         public OutputControl,
                         public PreListenControl,
                         public LookAheadControl,
                         public CartPlaybackControl,
                         public LayerControl
{
    Q_OBJECT

public:
    explicit AudioMediaPlayer(QObject *parent = nullptr);
    // Stops playback and lets every voice and the server connection go, in order.
    ~AudioMediaPlayer() override;

    void setFileName(const QString &fileName) override;
    QString fileName() const override;
    double duration() override;
    double position() override;
    void stop() override;
    bool durationPending() const override { return m_put.durationPending; }
    void setDurationKnownHandler(std::function<void()> handler) override { m_durationKnown = std::move(handler); }
    void prepare(const QList<MediaCue> &cues) override;
    void fadeOut(double seconds) override;
    bool fadedOut() override;
    void setLoudnessTarget(std::optional<double> lufs) override;
    QString loudnessText(const QString &fileName) override;
    QList<MediaOutput> outputs() override;
    void setOutputs(const QString &air, const QString &preListen) override;
    std::optional<QString> soundProblem() override;
    void setSoundProblemHandler(std::function<void()> handler) override { m_soundProblem = std::move(handler); }
    bool preListen(const QString &fileName) override;
    void stopPreListen() override;
    bool preListening() override;
    void lookAhead(const QStringList &fileNames) override;
    bool knownUnplayable(const QString &fileName) override;
    std::optional<double> knownLength(const QString &fileName) override;
    void setLookedAtHandler(std::function<void(const QString &fileName)> handler) override
    {
        m_lookedAt = std::move(handler);
    }

    void setNextPlayback(const CartPlayback &playback) override { m_next = playback; }
    double heldGainDb(const QString &fileName, double gainDb) override;
    bool preListenPart(const QString &fileName, const CartPlayback &playback) override;
    int keepPlaying() override;
    double layerDuration(int id) override;
    double layerPosition(int id) override;
    void stopLayer(int id) override;
    void fadeLayer(int id, double seconds) override;
    bool layerFadedOut(int id) override;
    void duckLayer(int id, double db, double seconds) override;

    // True while the current track is timed by the silent clock rather than the sound server.
    bool usesSilentClock() const { return m_put.output == Output::Clock; }
    // True when a put of path (as its cue plays it) would start a voice already armed and filled.
    bool isArmed(const QString &path) const;

private:
    enum class Output { None, Pending, Voice, Clock };
    struct Probed; // what the background worker found out about one file
    struct Armed
    {
        std::shared_ptr<PulseVoice> voice;
        CartPlayback playback; // what it was armed to play
    };
    // One put: its file, how it plays, and how far it has got.
    struct Put
    {
        QString fileName;
        CartPlayback playback;
        TrimFrames trim; // in its file's frames
        double duration = 0;
        qint64 totalFrames = 0; // of one pass
        int rate = 0;
        bool durationPending = false;
        Output output = Output::None;
        std::shared_ptr<PulseVoice> voice;
        qint64 startNs = 0;
        qint64 clockStartFrame = 0;
        qint64 clockStartNs = 0;
        qint64 lastFrame = 0;
        qint64 fadeEndNs = 0; // a fade asked for: when it is silent
    };

    void startPlayback(quint64 generation);
    void startClock(Put &put, qint64 fromFrame, qint64 sinceNs);
    qint64 playedFrames(Put &put);
    double positionOf(Put &put);
    void stopPut(Put &put);
    void fadePut(Put &put, double seconds);
    bool fadedPut(Put &put);
    std::shared_ptr<PulseVoice> takeArmed(const QString &path, const CartPlayback &playback);
    // A voice of decoder (open at its start) playing trim of it; should the trim fail, the
    // whole file plays and trim says so.
    std::shared_ptr<PulseVoice> armNow(const QString &path, std::unique_ptr<AudioDecoder> decoder, TrimFrames *trim,
                                       double gainDb);
    // countOnly probes the length alone; priority orders the worker's queue (higher first).
    void armInBackground(const QString &path, bool countOnly, int priority = 0);
    void probed(const Probed &result);
    // Looked-ahead files come after every cart of the page shown.
    void measureInBackground(const QString &path, bool lookingAhead = false);
    // Measures the next part of path (from its start when measurement is null) on the
    // measuring thread; called from there too, for the part after.
    void measurePart(const QString &path, std::shared_ptr<LoudnessMeasurement> measurement, int priority);
    void measured(const QString &path, std::optional<Loudness> loudness);
    // The gain a voice of path plays at: what brings it to the loudness target (1 without one),
    // and the cart's level in dB, held below -1 dBTP.
    double gainFor(const QString &path, double cartDb = 0) const;
    std::optional<Loudness> knownLoudness(const QString &path) const;
    // How put plays within its file of frames (nothing: not counted yet).
    void setTrim(Put &put, std::optional<qint64> frames);
    CartPlayback cuePlayback(const QString &path) const { return m_cuePlayback.value(path); }
    void rearm(const QString &path);
    // Every armed cart armed again (its gain or its output changed).
    void rearmAll();
    void letGoUnwanted();
    QString mediaName(const QString &path) const;

    // The engine outlives every voice this player holds, and the worker that arms them.
    PulseEngine m_engine;
    QThreadPool m_worker;
    QThreadPool m_measurer; // loudness, the shortest files first
    DurationCache m_durations;
    LoudnessCache m_loudness;
    std::optional<double> m_loudnessTarget;
    QSet<QString> m_measuring;
    std::atomic<bool> m_quitting{false}; // tells a measurement under way to give up
    QString m_airOutput;                 // empty: the server's default
    QString m_preListenOutput;           // empty: none
    std::shared_ptr<PulseVoice> m_preListen;
    QHash<QString, QString> m_captions;         // the cues, by file
    QHash<QString, CartPlayback> m_cuePlayback; // how the cues play, by file
    QHash<QString, Armed> m_armed;              // ready to start, by file
    QSet<QString> m_inFlight;                   // files the worker has yet to answer for

    CartPlayback m_next; // for the next put
    std::function<void()> m_durationKnown;
    std::function<void()> m_soundProblem;
    std::function<void(const QString &)> m_lookedAt;

    Put m_put;                // what the window put last
    QHash<int, Put> m_layers; // what plays on beside it, by id (see LayerControl)
    int m_lastLayer = 0;
    quint64 m_generation = 0; // a pending start belongs to the put that scheduled it
};
