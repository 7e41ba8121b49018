#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

struct pa_context;
struct pa_mainloop_api;
struct pa_operation;
struct pa_stream;
struct pa_time_event;
class TrackStream;

// What a voice reports to the player, written on the server's thread and read on any other.
struct VoiceStatus
{
    std::atomic<bool> failed{false};     // no server, or it went away: time is kept from failedFrame
    std::atomic<qint64> failedFrame{0};  // heard when it failed
    std::atomic<qint64> failedAtNs{0};   // when, on monotonicNs()'s clock
    std::atomic<bool> ended{false};      // the last frame has been heard
    std::atomic<bool> fadedOut{false};   // a fade-out has reached silence and been heard
    std::atomic<qint64> totalFrames{-1}; // what the track holds, once it has all been decoded
};

// Nanoseconds on a monotonic clock that every thread shares.
qint64 monotonicNs();

// One track on one server stream. It is connected corked and filled ahead with the track's
// start (armed); a start uncorks it, the server's requests feed it from the track's decode-ahead
// ring in large writes, and it drains at the end. Samples go to the server as the stream holds
// them: 16-bit, or 32-bit float for files of more than 16 bits. A stop rewrites the audio the server still
// holds, from just past what the device has taken: the same samples ramped down to silence, so
// the cut makes no click. Everything else plays bit-exact.
//
// Only the engine calls it, with the engine's lock held or on the server's thread. It knows
// nothing of the engine but what it is handed: the server loop's timers, and whom to tell once
// it has let its stream go.
class PulseVoice
{
public:
    // api: the server loop's, for timers. released: called once the voice has let its stream go
    // (it may destroy the voice). gain scales every sample (1: bit for bit as decoded).
    // device: the sink meant for it (empty: the server's default); when it is missing the
    // default plays it, or, with deviceRequired, the voice fails.
    PulseVoice(pa_mainloop_api *api, std::function<void(PulseVoice *)> released, std::unique_ptr<TrackStream> stream,
               const QString &mediaName, double gain, const QString &device = {}, bool deviceRequired = false);
    ~PulseVoice();
    PulseVoice(const PulseVoice &) = delete;
    PulseVoice &operator=(const PulseVoice &) = delete;

    const VoiceStatus &status() const { return m_status; }
    int rate() const { return m_rate; }

private:
    friend class PulseEngine;
    enum class State { Waiting, Connecting, Ready, Stopping, Gone };

    struct StreamDeleter
    {
        void operator()(pa_stream *stream) const;
    };
    struct OperationDeleter
    {
        void operator()(pa_operation *operation) const;
    };
    struct TimeEventDeleter
    {
        pa_mainloop_api *api; // value-initialised (null) in an empty handle
        void operator()(pa_time_event *event) const;
    };
    using TimeEvent = std::unique_ptr<pa_time_event, TimeEventDeleter>;
    using Operation = std::unique_ptr<pa_operation, OperationDeleter>;

    // Connects on context. pipeWire: the server is PipeWire's (shorter requests, a later splice);
    // deviceAvailable: the server has the sink meant for it.
    void connect(pa_context *context, bool pipeWire, bool deviceAvailable);
    const QString &device() const { return m_device; }
    void start();
    void stop();
    void fadeOut(qint64 frames);
    void duck(double gain, qint64 frames);
    void fail();
    // Lets the stream go; the engine forgets the voice, which may then be destroyed: nothing
    // may touch it after this returns.
    void release();
    qint64 heardFrames();

    void streamStateChanged();
    void write(size_t bytes);
    // Runs what waits for the server's read position (a stop's ramp, a fade's or a duck's
    // splice) once it is known.
    void whenReadPositionKnown();
    void afterTiming();
    void rampDown();
    void spliceFade();
    void spliceDuck();
    double duckGain(qint64 frame) const;
    // What is written beyond the voice's own gain: the duck's level and the fade.
    void applyEnvelope(char *samples, qint64 frames, qint64 firstFrame) const;
    qint64 splicePoint() const;
    std::vector<char> queuedFrom(qint64 from) const;
    void rewrite(qint64 from, const std::vector<char> &bytes);
    double fadeGain(qint64 frame) const;
    void applyFade(char *samples, qint64 frames, qint64 firstFrame) const;
    void applyGain(char *samples, qint64 frames) const;
    bool fadedToSilence() const { return m_fadeFrom >= 0 && writtenFrames() >= m_fadeEndFrame; }
    bool fedAll() const;
    TimeEvent after(qint64 microseconds,
                    void (*callback)(pa_mainloop_api *, pa_time_event *, const struct timeval *, void *));
    void drainIfDone();
    void drained(bool success);
    void endTimingKnown();
    void remember(const char *data, qint64 bytes);
    qint64 writtenFrames() const { return m_writtenBytes / m_frameBytes; }

    pa_mainloop_api *const m_api;
    const std::function<void(PulseVoice *)> m_released;
    pa_context *m_context = nullptr; // the connection its stream is on
    bool m_pipeWire = false;
    std::unique_ptr<TrackStream> m_stream;
    const QString m_mediaName;
    const double m_gain;
    const QString m_device;
    const bool m_deviceRequired;
    QString m_connectedDevice; // what it was connected to: m_device while the server has it
    const int m_rate;
    const int m_channels;
    const bool m_float; // 32-bit float samples; 16-bit otherwise
    const qint64 m_frameBytes;
    VoiceStatus m_status;
    State m_state = State::Waiting;
    bool m_startWanted = false;
    bool m_started = false;
    bool m_draining = false;
    qint64 m_writtenBytes = 0;
    qint64 m_fadeEndFrame = -1; // where a fade asked for reaches silence
    qint64 m_fadeFrom = -1;     // where it starts, once spliced
    qint64 m_fadeFrames = 0;
    bool m_rampWanted = false; // a stop waits for the read position
    bool m_fadeWanted = false; // a fade likewise
    bool m_duckWanted = false; // a duck likewise
    // A duck's level from frame from: start to end along a raised cosine of frames, then end.
    struct DuckRamp
    {
        qint64 from = 0;
        double start = 1;
        double end = 1;
        qint64 frames = 1;
    };
    std::vector<DuckRamp> m_ducks; // the latest last; before the first: 1
    double m_duckTarget = 1;
    qint64 m_duckFrames = 1;
    qint64 m_lastTimingRequestNs = 0;
    qint64 m_lastHeard = 0; // the last answer of heardFrames(), and when it was given
    qint64 m_lastHeardNs = 0;
    // The last audio written, by its position in the stream, at the voice's own gain (before
    // the duck and the fade), for the splices that rewrite what the server holds.
    std::vector<char> m_history;
    // Declared after what their callbacks use, and the stream last: it goes first.
    TimeEvent m_retry;
    TimeEvent m_endTimer;
    Operation m_drain;
    Operation m_timing;
    Operation m_sinkInfo;
    qint64 m_sinkBlockUs = 0; // the device's configured latency, asked for at a stop
    std::unique_ptr<pa_stream, StreamDeleter> m_pa;
};
