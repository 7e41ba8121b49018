#include "platform/audiomediaplayer.h"

#include "platform/decoderdevice.h"
#include "platform/mpg123decoder.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>

AudioMediaPlayer::AudioMediaPlayer(QObject *parent) : QObject(parent) {}

AudioMediaPlayer::~AudioMediaPlayer()
{
    releaseSink();
}

void AudioMediaPlayer::setFileName(const QString &fileName)
{
    stop();
    m_fileName = fileName;
    m_duration = 0;
    m_totalFrames = 0;
    m_rate = 0;

    // The duration must be known on the next line; the sound starts only from the event loop.
    std::optional<double> seconds = m_durations.find(fileName);
    if (!seconds) {
        seconds = probeDuration(fileName);
        m_durations.insert(fileName, seconds.value_or(0.0));
    }
    if (!seconds || *seconds <= 0)
        return;
    m_duration = *seconds;
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

void AudioMediaPlayer::startPlayback(quint64 generation)
{
    if (generation != m_generation || m_output != Output::Pending)
        return;
    // Scanned like the probe, so that what plays is exactly the duration shown.
    auto decoder = std::make_unique<Mpg123Decoder>();
    const std::optional<qint64> length = decoder->open(m_fileName) ? decoder->exactLength() : std::nullopt;
    if (!length || *length <= 0) {
        // The file vanished or broke since the probe: nothing to play, nothing to count.
        m_output = Output::None;
        m_duration = 0;
        return;
    }
    m_rate = decoder->rate();
    m_totalFrames = *length;
    const int channels = decoder->channels();
    auto device = std::make_unique<DecoderDevice>(std::move(decoder));

    if (!m_haveOutputDevice)
        m_haveOutputDevice = !QMediaDevices::defaultAudioOutput().isNull();
    if (!*m_haveOutputDevice || !startSink(std::move(device), m_rate, channels))
        startClock(0);
}

bool AudioMediaPlayer::startSink(std::unique_ptr<DecoderDevice> device, int rate, int channels)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    m_sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format);
    m_device = std::move(device);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &AudioMediaPlayer::onSinkStateChanged);
    m_output = Output::Sink;
    m_sink->start(m_device.get());
    // A failing start may report through the state handler at once, which has then already
    // moved the track to the silent clock.
    if (m_output != Output::Sink)
        return true;
    // A sink that cannot open may instead only show it in its state, with no signal.
    if (m_sink->state() == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        m_haveOutputDevice = false;
        releaseSink();
        return false;
    }
    return true;
}

void AudioMediaPlayer::startClock(qint64 fromFrame)
{
    m_output = Output::Clock;
    m_clockStartFrame = fromFrame;
    m_clock.start();
}

void AudioMediaPlayer::onSinkStateChanged(QAudio::State state)
{
    if (m_output != Output::Sink || !m_sink)
        return;
    if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError) {
        // The output went away: go on counting silently from what was heard. Qt never finds a
        // device again, so later tracks go straight to the silent clock.
        m_haveOutputDevice = false;
        const qint64 heard = playedFrames();
        // The sink is inside its own signal: it goes later, and its source goes with it.
        QAudioSink *dead = m_sink.release();
        dead->disconnect(this);
        m_device.release()->setParent(dead);
        dead->deleteLater();
        startClock(heard);
    }
}

qint64 AudioMediaPlayer::playedFrames()
{
    qint64 frames = 0;
    bool ended = false;
    switch (m_output) {
    case Output::None:
    case Output::Pending:
        return 0;
    case Output::Sink: {
        const qint64 handed = m_device->framesHandedOver();
        const qint64 processed = m_sink->processedUSecs() * m_rate / 1000000;
        frames = std::min(processed, handed);
        if (m_device->finished()) {
            // The end is when the last frame handed over has been played. Should an output never
            // report that far, the queued audio's own length plus a margin ends it anyway.
            if (!m_drainClock.isValid()) {
                m_drainClock.start();
                m_drainMs = (handed - frames) * 1000 / m_rate + 500;
            }
            ended = processed >= handed || m_drainClock.elapsed() > m_drainMs;
        }
        break;
    }
    case Output::Clock:
        frames = m_clockStartFrame + m_clock.nsecsElapsed() * m_rate / 1000000000;
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
    releaseSink();
    m_output = Output::None;
    m_lastFrame = 0;
    m_clockStartFrame = 0;
    m_drainClock.invalidate();
}

void AudioMediaPlayer::releaseSink()
{
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->reset();
        m_sink->stop();
        m_sink.reset();
    }
    m_device.reset();
}
