#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct pa_context;
struct pa_mainloop_api;
struct pa_threaded_mainloop;
class PulseVoice;
class TrackStream;

// Kelvo's sound output: one connection to the sound server (PulseAudio, or PipeWire through its
// PulseAudio service) on one thread of its own, and one server stream per voice. A voice is
// armed ahead (connected corked, already holding the start of its track), so that a start only
// uncorks it. Nothing of the engine wakes while no voice plays.
//
// Every call comes from one thread (the user-interface thread), never from the server's.
// Without a server, or once it has gone, voices report failure at once; the next voice armed
// tries to connect again, so a server that starts or restarts later is used from then on.
class PulseEngine
{
public:
    PulseEngine();
    // Lets every stream go, then the connection, then stops the thread: in that order, so no
    // teardown is still in flight when the program exits.
    ~PulseEngine();
    PulseEngine(const PulseEngine &) = delete;
    PulseEngine &operator=(const PulseEngine &) = delete;

    // A voice for stream, shown in the desktop's mixer as mediaName, every sample scaled by gain
    // (1: bit for bit): connected corked and filled ahead as soon as the server is ready. The
    // voice reports failure when there is no server.
    std::shared_ptr<PulseVoice> arm(std::unique_ptr<TrackStream> stream, const QString &mediaName, double gain = 1.0);
    // Starts an armed voice; one not yet connected starts as soon as it is.
    void start(const std::shared_ptr<PulseVoice> &voice);
    // Silences a voice within a few milliseconds (a short ramp down, no click) and lets it go.
    void stop(const std::shared_ptr<PulseVoice> &voice);
    // Fades a playing voice out along a smooth curve applied to its samples, reaching silence
    // frames after what is heard now; its status then says fadedOut, and it lets itself go.
    void fadeOut(const std::shared_ptr<PulseVoice> &voice, qint64 frames);
    // Lets a voice go without a sound (an armed voice no longer wanted).
    void release(const std::shared_ptr<PulseVoice> &voice);
    // Frames of a started voice heard so far, from the server's own timing; nothing before
    // the server has said.
    std::optional<qint64> heardFrames(const std::shared_ptr<PulseVoice> &voice);

    // True while a connection to a server is up.
    bool connected();
    // True when the server is PipeWire's PulseAudio service (known once connected).
    bool isPipeWire();

private:
    friend class PulseVoice;
    struct Lock;
    void connectContext();              // lock held
    void contextStateChanged();         // lock held, on the server's thread
    void forget(PulseVoice *voice);     // lock held: the voice has let its stream go
    pa_context *context() const { return m_context.get(); }
    pa_mainloop_api *api() const;

    struct LoopDeleter
    {
        void operator()(pa_threaded_mainloop *loop) const;
    };
    struct ContextDeleter
    {
        void operator()(pa_context *context) const;
    };
    std::unique_ptr<pa_threaded_mainloop, LoopDeleter> m_loop;
    // Null until a voice is first armed, and after the connection failed.
    std::unique_ptr<pa_context, ContextDeleter> m_context;
    std::vector<std::shared_ptr<PulseVoice>> m_voices; // those holding a server stream
    bool m_pipeWire = false;
    bool m_serverKnown = false; // its name has come since the connection was made
};
