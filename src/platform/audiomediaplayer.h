#pragma once

#include "platform/durationcache.h"
#include "platform/mediaplayer.h"

#include <QAudioDevice>
#include <QObject>
#include <QThread>

#include <memory>
#include <optional>

class AudioOutput;
class AudioDecoder;
struct PlaybackStatus;

// The real media player: libmpg123 decodes and a QAudioSink plays, both away from the
// user-interface thread (see AudioOutput). This side only probes lengths and reads the
// output's atomics, so none of its calls can be re-entered by Qt's event processing.
// Where there is no sound output (no device, or it goes away mid-track) a silent clock at the
// file's rate stands in, so the track still counts down and ends exactly at its duration.
class AudioMediaPlayer : public QObject, public MediaPlayer
{
    Q_OBJECT

public:
    explicit AudioMediaPlayer(QObject *parent = nullptr);
    // Stops playback and waits until the output has let its sink go.
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
    AudioOutput *audioOutput();
    void startClock(qint64 fromFrame, qint64 sinceNs);
    qint64 playedFrames();

    QString m_fileName;
    double m_duration = 0;
    qint64 m_totalFrames = 0;
    int m_rate = 0;
    DurationCache m_durations;
    // The last file probed, opened and scanned: playback takes it rather than scan again.
    QString m_probedPath;
    std::unique_ptr<AudioDecoder> m_probed;

    Output m_output = Output::None;
    quint64 m_generation = 0; // a pending start belongs to the put that scheduled it
    std::shared_ptr<PlaybackStatus> m_status;
    qint64 m_clockStartFrame = 0;
    qint64 m_clockStartNs = 0;
    qint64 m_lastFrame = 0;
    std::optional<QAudioDevice> m_device; // asked once: Qt never re-detects devices

    QThread m_thread;
    AudioOutput *m_audioOutput = nullptr; // lives on m_thread, deleted there when it finishes
};
