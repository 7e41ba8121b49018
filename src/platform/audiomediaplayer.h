#pragma once

#include "platform/durationcache.h"
#include "platform/mediaplayer.h"

#include <QAudio>
#include <QElapsedTimer>
#include <QObject>

#include <memory>
#include <optional>

class DecoderDevice;
class QAudioSink;

// The real media player: libmpg123 decodes on demand and a QAudioSink plays the samples.
// Where there is no sound output (no device, or it goes away mid-track) a silent clock at the
// file's rate stands in, so the track still counts down and ends exactly at its duration.
class AudioMediaPlayer : public QObject, public MediaPlayer
{
public:
    explicit AudioMediaPlayer(QObject *parent = nullptr);
    ~AudioMediaPlayer() override;

    void setFileName(const QString &fileName) override;
    QString fileName() const override;
    double duration() override;
    double position() override;
    void stop() override;

    // True while the current track is timed by the silent clock rather than a sound device.
    bool usesSilentClock() const { return m_output == Output::Clock; }

private:
    enum class Output { None, Pending, Sink, Clock };

    void startPlayback(quint64 generation);
    bool startSink(std::unique_ptr<DecoderDevice> device, int rate, int channels);
    void startClock(qint64 fromFrame);
    void onSinkStateChanged(QAudio::State state);
    qint64 playedFrames();
    void releaseSink();

    QString m_fileName;
    double m_duration = 0;
    qint64 m_totalFrames = 0;
    int m_rate = 0;
    DurationCache m_durations;

    Output m_output = Output::None;
    quint64 m_generation = 0; // a pending start belongs to the put that scheduled it
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<DecoderDevice> m_device;
    QElapsedTimer m_clock;
    qint64 m_clockStartFrame = 0;
    qint64 m_lastFrame = 0;
    QElapsedTimer m_drainClock; // since the decoder handed over its last frame
    qint64 m_drainMs = 0;
    std::optional<bool> m_haveOutputDevice; // asked once: Qt never re-detects devices
};
