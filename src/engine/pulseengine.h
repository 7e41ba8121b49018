#pragma once

#include <QString>

#include <algorithm>
#include <functional>
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
    // (1: bit for bit), on the sink named device (empty, or a sink the server does not have: the
    // server's default): connected corked and filled ahead as soon as the server is ready. The
    // voice reports failure when there is no server.
    // With deviceRequired, a missing device fails the voice instead (a pre-listen must never
    // reach the default).
    std::shared_ptr<PulseVoice> arm(std::unique_ptr<TrackStream> stream, const QString &mediaName, double gain = 1.0,
                                    const QString &device = {}, bool deviceRequired = false);

    // A sound server's output: its name (what is stored) and its description (what people read).
    struct Sink
    {
        QString name;
        QString description;
    };
    // The server's sinks now, asked of it (a short wait); none without a server.
    std::vector<Sink> sinks();
    // The sink a voice meant for device plays on: device while the server has it, else the
    // default (empty). Known from the server's own word on sinks coming and going.
    QString sinkFor(const QString &device);
    // Follow the server's sinks as they come and go (for sinkFor), or stop following them:
    // needed only while a particular sink is wanted; the server's events wake the engine.
    void followSinks(bool follow);
    // The sink a voice was connected to (empty: the default), once it is connected.
    QString sinkOf(const std::shared_ptr<PulseVoice> &voice);
    // Starts an armed voice; one not yet connected starts as soon as it is.
    void start(const std::shared_ptr<PulseVoice> &voice);
    // Silences a voice within a few milliseconds (a short ramp down, no click) and lets it go.
    void stop(const std::shared_ptr<PulseVoice> &voice);
    // Fades a playing voice out along a smooth curve applied to its samples, reaching silence
    // frames after what is heard now; its status then says fadedOut, and it lets itself go.
    void fadeOut(const std::shared_ptr<PulseVoice> &voice, qint64 frames);
    // Brings a playing voice's level to gain (1: its own) along a smooth curve of frames, from
    // the next sample the device takes: what plays beside a voice-over goes down, then back.
    void duck(const std::shared_ptr<PulseVoice> &voice, double gain, qint64 frames);
    // Lets a voice go without a sound (an armed voice no longer wanted).
    void release(const std::shared_ptr<PulseVoice> &voice);
    // Frames of a started voice heard so far, from the server's own timing; nothing before
    // the server has said.
    std::optional<qint64> heardFrames(const std::shared_ptr<PulseVoice> &voice);

    // True while a connection to a server is up.
    bool connected();

    // Whether anything can be heard: Unknown while a connection is being made (or none was
    // tried yet), Ready once the server has said it has an output.
    enum class Output { Unknown, Ready, NoServer, NoSinks };
    Output output();
    // Called whenever output() may have changed, on the server's thread or the caller's (with
    // the engine's lock held: it must only hand the news on). Set it before the first arm.
    void setOutputHandler(std::function<void()> handler);
    // True when the server is PipeWire's PulseAudio service (known once connected).
    bool isPipeWire();

private:
    struct Lock;
    void connectContext();                            // lock held
    void contextStateChanged();                       // lock held, on the server's thread
    void askForSinks(bool thenConnect);               // lock held
    void connectWaitingVoices();                      // lock held
    void connectVoice(PulseVoice &voice);             // lock held
    bool deviceAvailable(const QString &device) const // lock held
    {
        return !device.isEmpty() && std::find(m_sinkNames.begin(), m_sinkNames.end(), device) != m_sinkNames.end();
    }
    void forget(PulseVoice *voice); // lock held: the voice has let its stream go
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
    bool m_serverKnown = false;         // its name and its sinks have come since the connection was made
    std::vector<QString> m_sinkNames;   // kept up to date by the server's sink events
    std::vector<QString> m_sinksComing; // an answer being read
    bool m_connectAfterSinks = false;
    bool m_followSinks = false;
    bool m_noServer = false; // the last connection failed, or was lost
    std::function<void()> m_outputHandler;
    void outputMayHaveChanged(); // lock held
    void subscribe();            // lock held: as m_followSinks says
};
