#pragma once

#include <QAudio>
#include <QAudioDevice>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class DecoderDevice;
class AudioDecoder;
class QAudioSink;

// What the sound output reports of one track, written on the output's thread and read on the
// player's: plain atomics, so the player never calls into the output to ask.
struct PlaybackStatus
{
    std::atomic<bool> cancelled{false};   // set by the player: the track is to stop
    std::atomic<qint64> totalFrames{0};   // what will play, once the output has opened the file
    std::atomic<qint64> playedFrames{0};  // heard so far, never more than handed to the sink
    std::atomic<bool> ended{false};       // the last frame has been heard
    std::atomic<bool> unplayable{false};  // the file could not be opened when it was to play
    std::atomic<bool> failed{false};      // no sound output: time is kept from the two below
    std::atomic<qint64> failedFrame{0};
    std::atomic<qint64> failedAtNs{0};    // on monotonicNs()'s clock
};

// Nanoseconds on a monotonic clock that every thread shares.
qint64 monotonicNs();

// The sound output: owns the audio sink and the track it pulls from. It lives on a thread of
// its own, so that a busy user interface never starves the sink, and so that Qt's teardown of
// a sink (which runs this thread's events) never re-enters the player.
class AudioOutput : public QObject
{
    Q_OBJECT

public:
    explicit AudioOutput(QObject *parent = nullptr);
    ~AudioOutput() override;

    // Plays the file on device, reporting through status; decoder, when given, is the file
    // already opened and scanned at its start. Any earlier track stops first.
    void play(const std::shared_ptr<PlaybackStatus> &status, const QString &path,
              std::unique_ptr<AudioDecoder> decoder, const QAudioDevice &device);
    // Stops the track that reports through status, if it still plays.
    void stop(const std::shared_ptr<PlaybackStatus> &status);

    // When the last sink was let go, on monotonicNs()'s clock; 0 when none ever was. Any thread.
    qint64 lastReleaseNs() const { return m_lastReleaseNs.load(); }

private:
    void poll();
    void onStateChanged(QAudio::State state);
    void fail();
    void release();

    std::shared_ptr<PlaybackStatus> m_status;
    // Declared before the sink that pulls from it, so the sink goes first.
    std::unique_ptr<DecoderDevice> m_device;
    std::unique_ptr<QAudioSink> m_sink;
    qint64 m_drainStartNs = -1; // when the last frame was handed over
    std::atomic<qint64> m_lastReleaseNs{0};
    QTimer m_poll;
};
