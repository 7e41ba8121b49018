#include "engine/pulsevoice.h"

#include "decoding/samplegain.h"
#include "engine/trackstream.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

// The server holds this much ahead of what is heard. A stop or a fade does not wait for it to
// play out: it rewrites what the server holds.
constexpr qint64 kTargetMs = 1000;
// The size of the server's requests: large, for few wake-ups. PipeWire sizes its processing
// cycle by it, and a stop cannot splice closer than three cycles ahead there (see splicePoint),
// so there it stays short.
constexpr qint64 kRequestMs = 340;
constexpr qint64 kPipeWireRequestMs = 25;
// Playback starts once this much is queued, and pauses (rather than skip ahead) should the
// queue ever run dry; the drain at the end lets the rest play whatever its length.
constexpr qint64 kStartMs = 20;
// The ramp down a stop writes: long enough that the cut makes no click.
constexpr qint64 kRampMs = 5;
// How often the server is asked for timing while playing; between answers it is interpolated.
constexpr qint64 kTimingEveryNs = 1'000'000'000;
// Where a stop's ramp starts, ahead of the device's read position: at least this, and at most
// this much for the device's block.
constexpr qint64 kLeastAheadUs = 5'000;
constexpr qint64 kLongestBlockUs = 50'000;
// How soon to look again when the decoder has not kept up with a request.
constexpr qint64 kRetryUs = 10'000;

void dropOperation(pa_operation *operation)
{
    // Fire and forget: nothing waits for it, and a stream already gone returns none.
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PulseVoice::StreamDeleter::operator()(pa_stream *stream) const
{
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

void PulseVoice::OperationDeleter::operator()(pa_operation *operation) const
{
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
}

void PulseVoice::TimeEventDeleter::operator()(pa_time_event *event) const
{
    api->time_free(event);
}

PulseVoice::PulseVoice(pa_mainloop_api *api, std::function<void(PulseVoice *)> released,
                       std::unique_ptr<TrackStream> stream, const QString &mediaName, double gain,
                       const QString &device, bool deviceRequired)
    : m_api(api),
      m_released(std::move(released)),
      m_stream(std::move(stream)),
      m_mediaName(mediaName),
      m_gain(gain),
      m_device(device),
      m_deviceRequired(deviceRequired),
      m_rate(m_stream->rate()),
      m_channels(m_stream->channels()),
      m_float(m_stream->sampleFormat() == SampleFormat::Float32),
      m_frameBytes(m_stream->frameBytes())
{
    m_history.resize(size_t(2 * kTargetMs * m_rate / 1000 * m_frameBytes + m_frameBytes));
}

PulseVoice::~PulseVoice() = default;

void PulseVoice::connect(pa_context *context, bool pipeWire, bool deviceAvailable)
{
    if (m_state != State::Waiting)
        return;
    m_context = context;
    m_pipeWire = pipeWire;
    pa_sample_spec format{};
    // What the file holds: more than 16 bits go as float, so a quiet 24-bit passage is heard.
    format.format = m_float ? PA_SAMPLE_FLOAT32LE : PA_SAMPLE_S16LE;
    format.rate = quint32(m_rate);
    format.channels = quint8(m_channels);
    const QByteArray name = m_mediaName.toUtf8();
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, name.constData());
    m_pa.reset(pa_stream_new_with_proplist(context, name.constData(), &format, nullptr, props));
    pa_proplist_free(props);
    if (!m_pa) {
        fail();
        return;
    }
    pa_stream_set_state_callback(
        m_pa.get(), [](pa_stream *, void *self) { static_cast<PulseVoice *>(self)->streamStateChanged(); }, this);
    pa_stream_set_write_callback(
        m_pa.get(), [](pa_stream *, size_t bytes, void *self) { static_cast<PulseVoice *>(self)->write(bytes); }, this);

    const auto bytes = [this](qint64 ms) { return quint32(std::max<qint64>(1, ms * m_rate / 1000) * m_frameBytes); };
    pa_buffer_attr attr{};
    attr.maxlength = quint32(-1);
    attr.tlength = bytes(kTargetMs);
    attr.prebuf = bytes(kStartMs);
    attr.minreq = bytes(m_pipeWire ? kPipeWireRequestMs : kRequestMs);
    attr.fragsize = quint32(-1);
    // Corked: armed, it waits filled until a start uncorks it. No automatic timing updates:
    // they would wake this process every second and a half while it waits.
    const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING);
    // A sink the server does not have (unplugged) would fail the stream: the default plays it.
    m_connectedDevice = deviceAvailable ? m_device : QString();
    if (m_deviceRequired && m_connectedDevice.isEmpty()) {
        fail();
        return;
    }
    const QByteArray device = m_connectedDevice.toUtf8();
    if (pa_stream_connect_playback(m_pa.get(), device.isEmpty() ? nullptr : device.constData(), &attr, flags, nullptr,
                                   nullptr)
        < 0) {
        fail();
        return;
    }
    m_state = State::Connecting;
}

void PulseVoice::streamStateChanged()
{
    switch (pa_stream_get_state(m_pa.get())) {
    case PA_STREAM_READY:
        if (m_state != State::Connecting)
            return;
        m_state = State::Ready;
        if (m_startWanted)
            start();
        return;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        fail();
        return;
    default:
        return;
    }
}

void PulseVoice::start()
{
    m_startWanted = true;
    if (m_state != State::Ready || m_started)
        return;
    m_started = true;
    dropOperation(pa_stream_cork(m_pa.get(), 0, nullptr, nullptr));
    m_lastTimingRequestNs = monotonicNs();
    m_lastHeardNs = m_lastTimingRequestNs;
    dropOperation(pa_stream_update_timing_info(m_pa.get(), nullptr, nullptr));
    drainIfDone();
}

void PulseVoice::write(size_t bytes)
{
    if (m_state != State::Ready)
        return;
    while (bytes > 0) {
        void *buffer = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(m_pa.get(), &buffer, &size) < 0 || !buffer)
            break;
        qint64 got = m_stream->read(static_cast<char *>(buffer), qint64(size));
        if (m_fadeEndFrame >= 0 && m_fadeFrom >= 0)
            got = std::min(got, std::max<qint64>(0, m_fadeEndFrame - writtenFrames()) * m_frameBytes);
        if (got <= 0) {
            pa_stream_cancel_write(m_pa.get());
            break;
        }
        auto *samples = static_cast<char *>(buffer);
        applyGain(samples, got / m_frameBytes);
        remember(static_cast<const char *>(buffer), got);
        applyEnvelope(samples, got / m_frameBytes, writtenFrames());
        pa_stream_write(m_pa.get(), buffer, size_t(got), nullptr, 0, PA_SEEK_RELATIVE);
        m_writtenBytes += got;
        bytes -= size_t(got);
    }
    if (m_started && monotonicNs() - m_lastTimingRequestNs > kTimingEveryNs) {
        m_lastTimingRequestNs = monotonicNs();
        dropOperation(pa_stream_update_timing_info(m_pa.get(), nullptr, nullptr));
    }
    if (fedAll()) {
        drainIfDone();
    } else if (bytes > 0 && !m_retry) {
        // The decoder is behind (a slow disk): the server will not ask again for what it lacks.
        m_retry = after(kRetryUs, [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
            auto *voice = static_cast<PulseVoice *>(self);
            voice->m_retry.reset();
            voice->write(pa_stream_writable_size(voice->m_pa.get()));
        });
    }
}

PulseVoice::TimeEvent PulseVoice::after(qint64 microseconds, pa_time_event_cb_t callback)
{
    pa_time_event *event = pa_context_rttime_new(m_context, pa_rtclock_now() + pa_usec_t(microseconds), callback, this);
    return TimeEvent(event, TimeEventDeleter{m_api});
}

void PulseVoice::remember(const char *data, qint64 bytes)
{
    const auto capacity = qint64(m_history.size());
    for (qint64 done = 0; done < bytes;) {
        const qint64 at = (m_writtenBytes + done) % capacity;
        const qint64 n = std::min(bytes - done, capacity - at);
        std::memcpy(m_history.data() + at, data + done, size_t(n));
        done += n;
    }
}

void PulseVoice::drainIfDone()
{
    if (!m_started || m_draining || m_state != State::Ready || !fedAll())
        return;
    m_draining = true;
    if (!fadedToSilence())
        m_status.totalFrames.store(writtenFrames());
    m_drain.reset(pa_stream_drain(
        m_pa.get(),
        [](pa_stream *, int success, void *self) { static_cast<PulseVoice *>(self)->drained(success != 0); }, this));
}

void PulseVoice::drained(bool success)
{
    m_drain.reset();
    if (m_state == State::Stopping) {
        release(); // the ramp and the silence after it have played
        return;
    }
    if (!success || m_state != State::Ready)
        return;
    if (fadedToSilence()) {
        m_status.fadedOut.store(true);
        release();
        return;
    }
    // The server has played out its queue; ask what is heard now, in case a device still holds
    // some of it.
    m_timing.reset(pa_stream_update_timing_info(
        m_pa.get(), [](pa_stream *, int, void *self) { static_cast<PulseVoice *>(self)->endTimingKnown(); }, this));
    if (!m_timing) {
        m_status.ended.store(true);
        release();
    }
}

void PulseVoice::endTimingKnown()
{
    m_timing.reset();
    pa_usec_t heard = 0;
    // The server's resampler (a stream at another rate than the device's) holds about this many
    // of the stream's frames when the drain completes: at 2048 Hz, 8 ms still to be heard.
    constexpr qint64 kResamplerFrames = 16;
    const auto totalUs = pa_usec_t(((writtenFrames() + kResamplerFrames) * 1'000'000 + m_rate - 1) / m_rate);
    if (pa_stream_get_time(m_pa.get(), &heard) == 0 && heard < totalUs) {
        m_endTimer = after(qint64(totalUs - heard),
                           [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
                               auto *voice = static_cast<PulseVoice *>(self);
                               voice->m_status.ended.store(true);
                               voice->release();
                           });
        if (m_endTimer)
            return;
    }
    m_status.ended.store(true);
    release();
}

qint64 PulseVoice::heardFrames()
{
    if (m_status.ended.load())
        return writtenFrames();
    pa_usec_t heard = 0;
    if (!m_started || m_state != State::Ready || pa_stream_get_time(m_pa.get(), &heard) < 0)
        return -1;
    m_lastHeard = std::min(qint64(heard) * m_rate / 1'000'000, writtenFrames());
    m_lastHeardNs = monotonicNs();
    return m_lastHeard;
}

void PulseVoice::stop()
{
    m_startWanted = false;
    if (m_state != State::Ready || !m_started) {
        release();
        return;
    }
    // Nothing more is fed; the ramp goes where the server will read next.
    m_state = State::Stopping;
    m_retry.reset();
    m_endTimer.reset();
    m_drain.reset();
    m_rampWanted = true;
    whenReadPositionKnown();
}

void PulseVoice::fadeOut(qint64 frames)
{
    if (m_state != State::Ready || !m_started || m_fadeEndFrame >= 0)
        return;
    // Timed from what is heard now, so silence comes the fade's length after it was asked for,
    // however far ahead the splice has to go.
    m_fadeEndFrame = std::max<qint64>(heardFrames(), 0) + std::max<qint64>(frames, 1);
    m_fadeWanted = true;
    whenReadPositionKnown();
}

void PulseVoice::duck(double gain, qint64 frames)
{
    if (m_state != State::Ready || !m_started)
        return;
    m_duckTarget = std::clamp(gain, 0.0, 1.0);
    m_duckFrames = std::max<qint64>(frames, 1);
    m_duckWanted = true;
    whenReadPositionKnown();
}

void PulseVoice::afterTiming()
{
    // A stop supersedes whatever else waited; a fade and a duck may both have been asked for.
    if (m_rampWanted) {
        m_rampWanted = m_fadeWanted = m_duckWanted = false;
        rampDown();
        return;
    }
    if (std::exchange(m_fadeWanted, false))
        spliceFade();
    if (std::exchange(m_duckWanted, false))
        spliceDuck();
}

void PulseVoice::whenReadPositionKnown()
{
    // Asked for already: what waits now is done with what is already on its way.
    if (m_timing || m_sinkInfo)
        return;
    // Where a splice may go needs the server's read position as it is now, not as it was at the
    // last update, and the device's block: ask for both, and go on when both have answered.
    m_timing.reset(pa_stream_update_timing_info(
        m_pa.get(),
        [](pa_stream *, int, void *self) {
            auto *voice = static_cast<PulseVoice *>(self);
            voice->m_timing.reset();
            if (!voice->m_sinkInfo)
                voice->afterTiming();
        },
        this));
    m_sinkInfo.reset(pa_context_get_sink_info_by_index(
        m_context, pa_stream_get_device_index(m_pa.get()),
        [](pa_context *, const pa_sink_info *info, int eol, void *self) {
            auto *voice = static_cast<PulseVoice *>(self);
            if (info && eol == 0) {
                voice->m_sinkBlockUs = qint64(info->configured_latency);
                return;
            }
            voice->m_sinkInfo.reset();
            if (!voice->m_timing)
                voice->afterTiming();
        },
        this));
    if (!m_timing && !m_sinkInfo)
        afterTiming();
}

void PulseVoice::rampDown()
{
    const qint64 from = splicePoint();
    std::vector<char> queued = queuedFrom(from);
    // The same samples as the server holds from there, ramped down along a raised cosine, then
    // silence: continuous wherever the device picks it up.
    const qint64 frames = qint64(queued.size()) / m_frameBytes;
    applyEnvelope(queued.data(), frames, from);
    const qint64 ramp = std::min(std::max<qint64>(1, kRampMs * m_rate / 1000), frames);
    scaleFrames(queued.data(), frames, m_channels, m_float, [ramp](qint64 f) {
        return f < ramp ? 0.5 * (1.0 + std::cos(M_PI * double(f + 1) / double(ramp + 1))) : 0.0;
    });
    rewrite(from, queued);
    // The stream goes once the server has played the ramp out.
    m_drain.reset(pa_stream_drain(
        m_pa.get(),
        [](pa_stream *, int success, void *self) { static_cast<PulseVoice *>(self)->drained(success != 0); }, this));
    if (!m_drain)
        release();
}

void PulseVoice::spliceFade()
{
    if (m_state != State::Ready)
        return;
    const qint64 from = splicePoint();
    m_fadeFrom = from;
    m_fadeFrames = std::max<qint64>(1, m_fadeEndFrame - from);
    m_fadeEndFrame = m_fadeFrom + m_fadeFrames;
    std::vector<char> queued = queuedFrom(from);
    applyEnvelope(queued.data(), qint64(queued.size()) / m_frameBytes, from);
    rewrite(from, queued);
    if (writtenFrames() >= m_fadeEndFrame)
        drainIfDone();
}

void PulseVoice::spliceDuck()
{
    if (m_state != State::Ready)
        return;
    const qint64 from = splicePoint();
    // From the level it has there, so the curve has no step.
    m_ducks.push_back({from, duckGain(from), m_duckTarget, m_duckFrames});
    // Ramps older than anything a splice can reach again are forgotten, all but the one in force.
    const qint64 oldest = writtenFrames() - qint64(m_history.size()) / m_frameBytes;
    while (m_ducks.size() > 1 && m_ducks[1].from <= oldest)
        m_ducks.erase(m_ducks.begin());
    std::vector<char> queued = queuedFrom(from);
    applyEnvelope(queued.data(), qint64(queued.size()) / m_frameBytes, from);
    rewrite(from, queued);
}

double PulseVoice::duckGain(qint64 frame) const
{
    for (auto ramp = m_ducks.rbegin(); ramp != m_ducks.rend(); ++ramp) {
        if (ramp->from > frame)
            continue;
        if (frame >= ramp->from + ramp->frames)
            return ramp->end;
        const double t = double(frame - ramp->from + 1) / double(ramp->frames);
        return ramp->start + (ramp->end - ramp->start) * 0.5 * (1.0 - std::cos(M_PI * t));
    }
    return m_ducks.empty() ? 1.0 : m_ducks.front().start;
}

void PulseVoice::applyEnvelope(char *samples, qint64 frames, qint64 firstFrame) const
{
    if (m_ducks.empty()) {
        applyFade(samples, frames, firstFrame); // bit for bit, but for a fade
        return;
    }
    scaleFrames(samples, frames, m_channels, m_float,
                [this, firstFrame](qint64 f) { return duckGain(firstFrame + f) * fadeGain(firstFrame + f); });
}

double PulseVoice::fadeGain(qint64 frame) const
{
    if (m_fadeFrom < 0 || frame < m_fadeFrom)
        return 1.0;
    if (frame >= m_fadeFrom + m_fadeFrames)
        return 0.0;
    // A raised cosine: no corner where it starts, and true silence where it ends.
    return 0.5 * (1.0 + std::cos(M_PI * double(frame - m_fadeFrom + 1) / double(m_fadeFrames)));
}

void PulseVoice::applyFade(char *samples, qint64 frames, qint64 firstFrame) const
{
    if (m_fadeFrom < 0)
        return;
    scaleFrames(samples, frames, m_channels, m_float,
                [this, firstFrame](qint64 f) { return fadeGain(firstFrame + f); });
}

void PulseVoice::applyGain(char *samples, qint64 frames) const
{
    if (m_gain == 1.0)
        return; // bit for bit as decoded
    scaleFrames(samples, frames, m_channels, m_float, [this](qint64) { return m_gain; });
}

qint64 PulseVoice::splicePoint() const
{
    const qint64 written = writtenFrames();
    // Where the device will take audio next: the server's fresh word on its read position, plus
    // one of the device's blocks, so the splice never lands in audio the device has taken. A
    // device that can rewind (most hardware) takes such audio back anyway, so a long block
    // counts only up to kLongestBlockUs. PipeWire reports the read position of its protocol
    // thread, which trails its processing thread by a cycle or two, each about the request size
    // (seen: the splice landed late with two cycles once in some thirty stops; never with three).
    const pa_timing_info *timing = pa_stream_get_timing_info(m_pa.get());
    qint64 from = written;
    if (timing && !timing->read_index_corrupt) {
        const qint64 blockUs = std::max(
            {qint64(timing->sink_usec), std::min(m_sinkBlockUs, kLongestBlockUs), kLeastAheadUs});
        qint64 aheadUs = blockUs + qint64(pa_timeval_age(&timing->timestamp));
        if (m_pipeWire) {
            const pa_buffer_attr *attr = pa_stream_get_buffer_attr(m_pa.get());
            aheadUs += 3 * qint64(attr ? attr->minreq : 0) / m_frameBytes * 1'000'000 / m_rate;
        }
        from = timing->read_index / m_frameBytes + aheadUs * m_rate / 1'000'000;
    }
    const qint64 oldest = std::max<qint64>(0, written - qint64(m_history.size()) / m_frameBytes);
    return std::clamp(from, oldest, written);
}

std::vector<char> PulseVoice::queuedFrom(qint64 from) const
{
    const qint64 written = writtenFrames();
    std::vector<char> queued(size_t(std::max<qint64>(0, written - from) * m_frameBytes));
    const auto capacity = qint64(m_history.size());
    for (qint64 done = 0; done < qint64(queued.size());) {
        const qint64 at = (from * m_frameBytes + done) % capacity;
        const qint64 n = std::min(qint64(queued.size()) - done, capacity - at);
        std::memcpy(queued.data() + done, m_history.data() + at, size_t(n));
        done += n;
    }
    return queued;
}

void PulseVoice::rewrite(qint64 from, const std::vector<char> &bytes)
{
    if (bytes.empty())
        return;
    // The history keeps the samples before the duck and the fade, which every splice applies
    // afresh: a stop during a fade ramps down from what is really queued.
    pa_stream_write(m_pa.get(), bytes.data(), bytes.size(), nullptr, from * m_frameBytes, PA_SEEK_ABSOLUTE);
}

void PulseVoice::fail()
{
    if (m_state == State::Gone)
        return;
    // The stream can no longer say what was heard: carry on from its last word.
    qint64 heard = 0;
    if (m_started && m_lastHeardNs > 0)
        heard = std::min(writtenFrames(), m_lastHeard + (monotonicNs() - m_lastHeardNs) * m_rate / 1'000'000'000);
    m_status.failedFrame.store(heard);
    m_status.failedAtNs.store(monotonicNs());
    m_status.failed.store(true);
    release();
}

void PulseVoice::release()
{
    if (m_state == State::Gone)
        return;
    m_state = State::Gone;
    m_retry.reset();
    m_endTimer.reset();
    m_drain.reset();
    m_timing.reset();
    m_sinkInfo.reset();
    m_pa.reset();
    m_released(this); // may destroy this voice
}

bool PulseVoice::fedAll() const
{
    return m_stream->finished() || fadedToSilence();
}
