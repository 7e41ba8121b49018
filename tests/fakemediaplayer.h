#pragma once

#include "platform/cartplayback.h"
#include "platform/fadecontrol.h"
#include "platform/layercontrol.h"
#include "platform/lookaheadcontrol.h"
#include "platform/loudnesscontrol.h"
#include "platform/mediaplayer.h"
#include "platform/outputcontrol.h"
#include "platform/prelistencontrol.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <utility>

// A scripted media player: the test sets each file's duration and the position, and reads back
// the calls made.
class FakeMediaPlayer : public MediaPlayer,
                        public FadeControl,
                        public LoudnessControl,
                        public OutputControl,
                        public PreListenControl,
                        public LookAheadControl,
                        public CartPlaybackControl,
                        public LayerControl
{
public:
    // A put kept playing beside the next (see LayerControl): what the test says of it.
    struct Layer
    {
        QString fileName;
        double duration = 0;
        double played = 0; // what layerPosition() reports
        bool faded = false;
    };
    QHash<int, Layer> layers;
    int lastLayer = 0;

    QHash<QString, double> durations; // unknown files have duration 0, as unplayable ones do
    double playedSeconds = 0;         // what position() reports while a file is loaded
    QStringList calls;                // "put:<name>" and "stop", in order
    bool playing = false;
    bool pending = false; // what durationPending() reports
    std::function<void()> durationKnown;
    QList<MediaCue> prepared;             // the last cues handed over
    int prepareCount = 0;                 // how often cues were handed over
    bool faded = false;                   // what fadedOut() reports
    std::optional<double> loudnessTarget; // as the window last set it
    QHash<QString, QString> notes;        // what loudnessText() says of each file
    QList<MediaOutput> outputList;        // what outputs() reports
    QString airOutput, preListenOutput;   // as the window last set them
    QString preListened;                  // the file last pre-listened
    bool preListenPlays = false;          // what preListening() reports
    std::optional<QString> problem;       // what soundProblem() reports
    std::function<void()> problemChanged;
    QList<QStringList> lookedAhead;                // every list handed over to look at
    QStringList unplayable;                        // what knownUnplayable() says yes to
    std::function<void(const QString &)> lookedAt; // the window's handler
    QList<CartPlayback> playbacks;                 // the playback of each put, in order
    double mostGainDb = 100;                       // what heldGainDb() holds a level to
    QList<CartPlayback> preListenedParts;          // every part pre-listened

    void setFileName(const QString &fileName) override
    {
        m_fileName = fileName;
        m_playback = std::exchange(m_next, CartPlayback{});
        playbacks << m_playback;
        playing = true;
        playedSeconds = 0;
        calls << QStringLiteral("put:") + fileName;
    }
    QString fileName() const override { return m_fileName; }
    double duration() override
    {
        // The part a cart plays, as the real player counts it.
        const double whole = durations.value(m_fileName, 0.0);
        const double end = m_playback.out ? std::min(*m_playback.out, whole) : whole;
        return m_playback.in < end ? end - m_playback.in : whole;
    }
    double position() override { return playing ? playedSeconds : 0.0; }
    void stop() override
    {
        playing = false;
        calls << QStringLiteral("stop");
    }
    bool durationPending() const override { return pending; }
    void setDurationKnownHandler(std::function<void()> handler) override { durationKnown = std::move(handler); }
    void prepare(const QList<MediaCue> &cues) override
    {
        prepared = cues;
        ++prepareCount;
    }
    void fadeOut(double seconds) override { calls << QStringLiteral("fade:%1").arg(seconds); }
    bool fadedOut() override { return faded; }
    void setLoudnessTarget(std::optional<double> lufs) override { loudnessTarget = lufs; }
    QString loudnessText(const QString &fileName) override { return notes.value(fileName); }
    QList<MediaOutput> outputs() override { return outputList; }
    void setOutputs(const QString &air, const QString &preListen) override
    {
        airOutput = air;
        preListenOutput = preListen;
    }
    bool preListen(const QString &fileName) override
    {
        preListened = fileName;
        preListenPlays = !preListenOutput.isEmpty();
        return preListenPlays;
    }
    std::optional<QString> soundProblem() override { return problem; }
    void setSoundProblemHandler(std::function<void()> handler) override { problemChanged = std::move(handler); }
    void stopPreListen() override { preListenPlays = false; }
    bool preListening() override { return preListenPlays; }
    void lookAhead(const QStringList &fileNames) override { lookedAhead << fileNames; }
    bool knownUnplayable(const QString &fileName) override { return unplayable.contains(fileName); }
    std::optional<double> knownLength(const QString &fileName) override
    {
        return durations.value(fileName, 0.0) > 0 ? std::optional<double>(durations.value(fileName)) : std::nullopt;
    }
    void setLookedAtHandler(std::function<void(const QString &)> handler) override { lookedAt = std::move(handler); }
    void setNextPlayback(const CartPlayback &playback) override { m_next = playback; }
    double heldGainDb(const QString &, double gainDb) override { return std::min(gainDb, mostGainDb); }
    bool preListenPart(const QString &fileName, const CartPlayback &playback) override
    {
        preListenedParts << playback;
        return preListen(fileName);
    }

    int keepPlaying() override
    {
        if (!playing)
            return 0;
        playing = false;
        layers.insert(++lastLayer, {m_fileName, duration(), 0, false});
        calls << QStringLiteral("keep:%1").arg(lastLayer);
        return lastLayer;
    }
    double layerDuration(int id) override { return layers.value(id).duration; }
    double layerPosition(int id) override { return layers.value(id).played; }
    void stopLayer(int id) override
    {
        if (layers.remove(id))
            calls << QStringLiteral("stop-layer:%1").arg(id);
    }
    void fadeLayer(int id, double seconds) override
    {
        if (layers.contains(id))
            calls << QStringLiteral("fade-layer:%1:%2").arg(id).arg(seconds);
    }
    bool layerFadedOut(int id) override { return layers.value(id).faded; }
    void duckLayer(int id, double db, double seconds) override
    {
        if (layers.contains(id))
            calls << QStringLiteral("duck-layer:%1:%2:%3").arg(id).arg(db).arg(seconds);
    }

private:
    QString m_fileName;
    CartPlayback m_next;
    CartPlayback m_playback;
};
