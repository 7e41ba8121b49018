#include "platform/audiomediaplayer.h"

#include "platform/audiooutput.h"
#include "platform/audiodecoder.h"

#include <QMediaDevices>
#include <QTimer>

AudioMediaPlayer::AudioMediaPlayer(QObject *parent) : QObject(parent) {}

AudioMediaPlayer::~AudioMediaPlayer()
{
    stop();
    if (!m_audioOutput)
        return;
    // The output is deleted on its own thread as that thread finishes, and its sink with it.
    // m_audioOutput is gone then; its last word on the sink is read first.
    AudioOutput *output = m_audioOutput;
    qint64 lastReleaseNs = 0;
    QMetaObject::invokeMethod(output, [output, &lastReleaseNs] { lastReleaseNs = output->lastReleaseNs(); },
                              Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    // Qt hands a sink's stream back to the sound server without waiting for the server; the
    // program's exit tears the connection down, and PulseAudio's client aborts if a stream's
    // teardown is still in flight then (seen in about 1 exit in 25 right after a stop). Give
    // the last one time to finish.
    constexpr qint64 kTeardownNs = 100'000'000;
    const qint64 since = monotonicNs() - lastReleaseNs;
    if (lastReleaseNs > 0 && since < kTeardownNs)
        QThread::usleep(quint64((kTeardownNs - since) / 1000));
}

void AudioMediaPlayer::setFileName(const QString &fileName)
{
    stop();
    m_fileName = fileName;
    m_duration = 0;
    m_totalFrames = 0;
    m_rate = 0;

    // The duration must be known on the next line; the sound starts only from the event loop.
    std::optional<TrackLength> length = m_durations.find(fileName);
    if (!length) {
        std::unique_ptr<AudioDecoder> decoder = openDecoder(fileName);
        const std::optional<qint64> frames = decoder ? decoder->exactLength() : std::nullopt;
        length = TrackLength{frames.value_or(0), decoder ? decoder->rate() : 0};
        m_durations.insert(fileName, *length);
        if (length->frames > 0) {
            m_probedPath = fileName;
            m_probed = std::move(decoder);
        }
    }
    if (length->frames <= 0 || length->rate <= 0)
        return;
    m_totalFrames = length->frames;
    m_rate = length->rate;
    m_duration = double(m_totalFrames) / m_rate;
    m_output = Output::Pending;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] { startPlayback(generation); });
}

QString AudioMediaPlayer::fileName() const
{
    return m_fileName;
}

double AudioMediaPlayer::duration()
{
    return m_duration;
}

AudioOutput *AudioMediaPlayer::audioOutput()
{
    if (!m_audioOutput) {
        m_audioOutput = new AudioOutput;
        m_audioOutput->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, m_audioOutput, &QObject::deleteLater);
        m_thread.setObjectName(QStringLiteral("Kelvo audio"));
        m_thread.start(QThread::TimeCriticalPriority);
    }
    return m_audioOutput;
}

void AudioMediaPlayer::startPlayback(quint64 generation)
{
    if (generation != m_generation || m_output != Output::Pending)
        return;
    if (!m_device)
        m_device = QMediaDevices::defaultAudioOutput();
    if (m_device->isNull()) {
        startClock(0, monotonicNs());
        return;
    }
    std::unique_ptr<AudioDecoder> decoder;
    if (m_probed && m_probedPath == m_fileName)
        decoder = std::move(m_probed);
    m_status = std::make_shared<PlaybackStatus>();
    m_output = Output::Sink;
    // The decoder travels in a shared_ptr: a queued call's functor must be copyable.
    auto handOver = std::make_shared<std::unique_ptr<AudioDecoder>>(std::move(decoder));
    AudioOutput *output = audioOutput();
    QMetaObject::invokeMethod(
        output,
        [output, status = m_status, path = m_fileName, handOver, device = *m_device] {
            output->play(status, path, std::move(*handOver), device);
        },
        Qt::QueuedConnection);
}

void AudioMediaPlayer::startClock(qint64 fromFrame, qint64 sinceNs)
{
    m_output = Output::Clock;
    m_clockStartFrame = fromFrame;
    m_clockStartNs = sinceNs;
}

qint64 AudioMediaPlayer::playedFrames()
{
    qint64 frames = 0;
    bool ended = false;
    if (m_output == Output::Sink) {
        const PlaybackStatus &status = *m_status;
        if (status.unplayable.load()) {
            // The file vanished or broke since the probe: nothing to play, nothing to count.
            stop();
            m_duration = 0;
            m_totalFrames = 0;
            return 0;
        }
        if (const qint64 total = status.totalFrames.load(); total > 0 && total != m_totalFrames) {
            m_totalFrames = total; // the file changed since the probe: what plays is what counts
            m_duration = double(total) / m_rate;
        }
        if (status.failed.load()) {
            // Qt never finds a device again, so later tracks go straight to the silent clock.
            m_device = QAudioDevice();
            startClock(status.failedFrame.load(), status.failedAtNs.load());
            m_status.reset();
        } else {
            frames = status.playedFrames.load();
            ended = status.ended.load();
        }
    }
    switch (m_output) {
    case Output::None:
    case Output::Pending:
        return 0;
    case Output::Sink:
        break;
    case Output::Clock:
        frames = m_clockStartFrame + (monotonicNs() - m_clockStartNs) * m_rate / 1000000000;
        ended = frames >= m_totalFrames;
        break;
    }
    if (ended)
        return m_totalFrames;
    // Short of the end the position stays short of the duration, whatever the device reports.
    frames = std::clamp(frames, m_lastFrame, std::max<qint64>(m_totalFrames - 1, 0));
    m_lastFrame = frames;
    return frames;
}

double AudioMediaPlayer::position()
{
    if (m_rate <= 0)
        return 0;
    const qint64 frames = playedFrames();
    if (frames >= m_totalFrames)
        return m_duration; // the very value duration() returns, so their difference is 0
    return double(frames) / m_rate;
}

void AudioMediaPlayer::stop()
{
    ++m_generation;
    if (m_status) {
        m_status->cancelled.store(true);
        AudioOutput *output = m_audioOutput;
        QMetaObject::invokeMethod(
            output, [output, status = m_status] { output->stop(status); }, Qt::QueuedConnection);
        m_status.reset();
    }
    m_output = Output::None;
    m_lastFrame = 0;
    m_clockStartFrame = 0;
}
