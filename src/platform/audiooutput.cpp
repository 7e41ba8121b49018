#include "platform/audiooutput.h"

#include "platform/decoderdevice.h"
#include "platform/audiodecoder.h"
#include "platform/trackstream.h"

#include <QAudioFormat>
#include <QAudioSink>

#include <chrono>

namespace {

// How often what was heard is published: the player's end lags the last sample by at most this.
constexpr int kPollMs = 10;

} // namespace

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

AudioOutput::AudioOutput(QObject *parent) : QObject(parent), m_poll(this)
{
    m_poll.setInterval(kPollMs);
    m_poll.setTimerType(Qt::PreciseTimer);
    connect(&m_poll, &QTimer::timeout, this, &AudioOutput::poll);
}

AudioOutput::~AudioOutput()
{
    release();
}

void AudioOutput::play(const std::shared_ptr<PlaybackStatus> &status, const QString &path,
                       std::unique_ptr<AudioDecoder> decoder, const QAudioDevice &device)
{
    release();
    if (status->cancelled.load())
        return;
    if (!decoder) {
        // Scanned as the probe was, so that what plays is exactly the duration shown.
        decoder = openDecoder(path);
        const std::optional<qint64> length = decoder ? decoder->exactLength() : std::nullopt;
        if (!length || *length <= 0) {
            status->unplayable.store(true); // vanished or broken since the probe
            return;
        }
        status->totalFrames.store(*length);
    }
    QAudioFormat format;
    format.setSampleRate(decoder->rate());
    format.setChannelCount(decoder->channels());
    format.setSampleFormat(QAudioFormat::Int16);

    m_status = status;
    m_drainStartNs = -1;
    m_device = std::make_unique<DecoderDevice>(std::make_unique<TrackStream>(std::move(decoder)));
    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &AudioOutput::onStateChanged);
    m_sink->start(m_device.get());
    // A sink that cannot open may say so through its state alone, with no signal.
    if (m_sink && m_sink->state() == QAudio::StoppedState && m_sink->error() != QAudio::NoError)
        fail();
    if (m_sink)
        m_poll.start();
}

void AudioOutput::stop(const std::shared_ptr<PlaybackStatus> &status)
{
    if (status == m_status)
        release();
}

void AudioOutput::poll()
{
    if (!m_sink || !m_status)
        return;
    const qint64 rate = m_sink->format().sampleRate();
    const qint64 handed = m_device->framesHandedOver();
    const qint64 processedUs = m_sink->processedUSecs();
    // Frames up from microseconds: the sink reports whole microseconds, truncated, and never
    // more than it was given; rounding up recognises all of it as played.
    const qint64 played = std::min(handed, (processedUs * rate + 999999) / 1000000);
    m_status->playedFrames.store(played);

    if (!m_device->finished()) {
        // A sink that ran dry (the disk was slow) stops pulling until told there is more.
        if (m_sink->state() == QAudio::IdleState && m_device->hasData())
            emit m_device->readyRead();
        return;
    }
    if (m_drainStartNs < 0)
        m_drainStartNs = monotonicNs();
    // A guard for an output that never reports the end: the queued audio's length and a margin.
    const qint64 drainLimitNs = (handed - played) * 1000000000 / rate + 500000000;
    if (played >= handed || monotonicNs() - m_drainStartNs > drainLimitNs) {
        m_status->playedFrames.store(handed);
        m_status->ended.store(true);
        release();
    }
}

void AudioOutput::onStateChanged(QAudio::State state)
{
    if (m_sink && state == QAudio::StoppedState && m_sink->error() != QAudio::NoError)
        fail();
}

void AudioOutput::fail()
{
    // The output is gone (no server, or it died): the player keeps time from what was heard.
    const std::shared_ptr<PlaybackStatus> status = m_status;
    if (status) {
        status->failedFrame.store(status->playedFrames.load());
        status->failedAtNs.store(monotonicNs());
        status->failed.store(true);
    }
    m_poll.stop();
    m_status.reset();
    // Possibly inside the sink's own signal: it goes later, and its source goes with it.
    QAudioSink *sink = m_sink.release();
    sink->disconnect(this);
    m_device.release()->setParent(sink);
    sink->deleteLater();
    m_lastReleaseNs.store(monotonicNs());
}

void AudioOutput::release()
{
    m_poll.stop();
    m_status.reset();
    // Moved out first: Qt runs this thread's events while a sink is destroyed, and a play that
    // arrives then must find nothing half torn down.
    std::unique_ptr<QAudioSink> sink = std::move(m_sink);
    std::unique_ptr<DecoderDevice> device = std::move(m_device);
    const bool hadSink = bool(sink);
    if (sink) {
        sink->disconnect(this);
        sink->stop();
    }
    sink.reset();
    device.reset();
    if (hadSink)
        m_lastReleaseNs.store(monotonicNs());
}
