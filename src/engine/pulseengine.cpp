#include "engine/pulseengine.h"

#include "engine/pulsevoice.h"
#include "engine/trackstream.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/proplist.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

#include <QThread>

#include <algorithm>
#include <utility>

// Every call from outside holds the server thread's lock for its length.
struct PulseEngine::Lock
{
    explicit Lock(pa_threaded_mainloop *loop)
        : m_loop(loop)
    {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    pa_threaded_mainloop *m_loop;
};

void PulseEngine::LoopDeleter::operator()(pa_threaded_mainloop *loop) const
{
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
}

void PulseEngine::ContextDeleter::operator()(pa_context *context) const
{
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
}

PulseEngine::PulseEngine()
    : m_loop(pa_threaded_mainloop_new())
{
    pa_threaded_mainloop_set_name(m_loop.get(), "Kelvo audio");
    // The thread only waits on the connection's socket: it costs nothing until a voice is armed.
    pa_threaded_mainloop_start(m_loop.get());
}

PulseEngine::~PulseEngine()
{
    {
        Lock lock(m_loop.get());
        const std::vector<std::shared_ptr<PulseVoice>> voices = m_voices;
        for (const std::shared_ptr<PulseVoice> &voice : voices)
            voice->release();
        m_context.reset();
    }
    m_loop.reset();
}

pa_mainloop_api *PulseEngine::api() const
{
    return pa_threaded_mainloop_get_api(m_loop.get());
}

void PulseEngine::connectContext()
{
    if (m_context) {
        const pa_context_state_t state = pa_context_get_state(m_context.get());
        if (state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED)
            return;
        m_context.reset(); // a server that went away: try afresh
    }
    m_serverKnown = false;
    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Kelvo");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "org.kelvo.Kelvo");
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "org.kelvo.Kelvo");
    m_context.reset(pa_context_new_with_proplist(api(), "Kelvo", props));
    pa_proplist_free(props);
    if (!m_context)
        return;
    pa_context_set_state_callback(
        m_context.get(), [](pa_context *, void *self) { static_cast<PulseEngine *>(self)->contextStateChanged(); },
        this);
    // No autospawn: a server that is not there is not started behind the user's back.
    if (pa_context_connect(m_context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        m_context.reset();
        m_noServer = true;
        outputMayHaveChanged();
    }
}

PulseEngine::Output PulseEngine::output()
{
    Lock lock(m_loop.get());
    if (!m_context)
        return m_noServer ? Output::NoServer : Output::Unknown;
    switch (pa_context_get_state(m_context.get())) {
    case PA_CONTEXT_READY:
        if (!m_serverKnown)
            return Output::Unknown;
        return m_sinkNames.empty() ? Output::NoSinks : Output::Ready;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        return Output::NoServer;
    default:
        return Output::Unknown;
    }
}

void PulseEngine::setOutputHandler(std::function<void()> handler)
{
    Lock lock(m_loop.get());
    m_outputHandler = std::move(handler);
}

void PulseEngine::outputMayHaveChanged()
{
    if (m_outputHandler)
        m_outputHandler();
}

void PulseEngine::contextStateChanged()
{
    const pa_context_state_t state = pa_context_get_state(m_context.get());
    if (state == PA_CONTEXT_READY) {
        // Voices are sized for the server they play on (see PulseVoice), and placed on the sink
        // they were meant for if it is there: its name and its sinks come first.
        pa_operation *asked = pa_context_get_server_info(
            m_context.get(),
            [](pa_context *, const pa_server_info *info, void *self) {
                auto *engine = static_cast<PulseEngine *>(self);
                engine->m_pipeWire = info && info->server_name && QByteArray(info->server_name).contains("PipeWire");
                engine->askForSinks(true);
            },
            this);
        if (asked)
            pa_operation_unref(asked);
        else
            askForSinks(true);
        pa_context_set_subscribe_callback(
            m_context.get(),
            [](pa_context *, pa_subscription_event_type_t, uint32_t, void *self) {
                static_cast<PulseEngine *>(self)->askForSinks(false);
            },
            this);
        subscribe();
    } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        // Every stream went with the connection. The context itself is let go at the next arm,
        // not inside its own callback.
        const std::vector<std::shared_ptr<PulseVoice>> voices = m_voices;
        for (const std::shared_ptr<PulseVoice> &voice : voices)
            voice->fail();
        m_noServer = true;
        outputMayHaveChanged();
    }
}

std::shared_ptr<PulseVoice> PulseEngine::arm(std::unique_ptr<TrackStream> stream, const QString &mediaName, double gain,
                                             const QString &device, bool deviceRequired)
{
    auto voice = std::make_shared<PulseVoice>(
        api(), [this](PulseVoice *gone) { forget(gone); }, std::move(stream), mediaName, gain, device, deviceRequired);
    Lock lock(m_loop.get());
    m_voices.push_back(voice);
    connectContext();
    if (!m_context) {
        voice->fail();
        return voice;
    }
    switch (pa_context_get_state(m_context.get())) {
    case PA_CONTEXT_READY:
        if (m_serverKnown)
            connectVoice(*voice);
        break; // otherwise once the server has said what it is
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        voice->fail();
        break;
    default:
        break; // connected once the context is ready
    }
    return voice;
}

void PulseEngine::start(const std::shared_ptr<PulseVoice> &voice)
{
    Lock lock(m_loop.get());
    voice->start();
}

void PulseEngine::stop(const std::shared_ptr<PulseVoice> &voice)
{
    Lock lock(m_loop.get());
    voice->stop();
}

void PulseEngine::fadeOut(const std::shared_ptr<PulseVoice> &voice, qint64 frames)
{
    Lock lock(m_loop.get());
    voice->fadeOut(frames);
}

void PulseEngine::duck(const std::shared_ptr<PulseVoice> &voice, double gain, qint64 frames)
{
    Lock lock(m_loop.get());
    voice->duck(gain, frames);
}

void PulseEngine::release(const std::shared_ptr<PulseVoice> &voice)
{
    Lock lock(m_loop.get());
    voice->release();
}

std::optional<qint64> PulseEngine::heardFrames(const std::shared_ptr<PulseVoice> &voice)
{
    Lock lock(m_loop.get());
    const qint64 frames = voice->heardFrames();
    if (frames < 0)
        return std::nullopt;
    return frames;
}

void PulseEngine::askForSinks(bool thenConnect)
{
    m_connectAfterSinks = m_connectAfterSinks || thenConnect;
    m_sinksComing.clear();
    pa_operation *asked = pa_context_get_sink_info_list(
        m_context.get(),
        [](pa_context *, const pa_sink_info *info, int eol, void *self) {
            auto *engine = static_cast<PulseEngine *>(self);
            if (info && eol == 0) {
                engine->m_sinksComing.push_back(QString::fromUtf8(info->name));
                return;
            }
            engine->m_sinkNames = std::move(engine->m_sinksComing);
            engine->m_sinksComing.clear();
            engine->m_noServer = false;
            if (std::exchange(engine->m_connectAfterSinks, false))
                engine->connectWaitingVoices();
            engine->outputMayHaveChanged();
        },
        this);
    if (asked) {
        pa_operation_unref(asked);
        return;
    }
    if (std::exchange(m_connectAfterSinks, false))
        connectWaitingVoices();
}

void PulseEngine::connectWaitingVoices()
{
    m_serverKnown = true;
    const std::vector<std::shared_ptr<PulseVoice>> voices = m_voices;
    for (const std::shared_ptr<PulseVoice> &voice : voices)
        connectVoice(*voice);
}

void PulseEngine::connectVoice(PulseVoice &voice)
{
    voice.connect(m_context.get(), m_pipeWire, deviceAvailable(voice.device()));
}

std::vector<PulseEngine::Sink> PulseEngine::sinks()
{
    struct Ask
    {
        pa_threaded_mainloop *loop;
        std::vector<Sink> sinks;
        bool done = false;
    } ask{m_loop.get(), {}};
    Lock lock(m_loop.get());
    connectContext();
    if (!m_context)
        return {};
    // A connection just made answers once it is ready; a dead one at once.
    for (int i = 0; i < 200 && pa_context_get_state(m_context.get()) != PA_CONTEXT_READY; ++i) {
        const pa_context_state_t state = pa_context_get_state(m_context.get());
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
            return {};
        pa_threaded_mainloop_unlock(m_loop.get());
        QThread::msleep(5);
        pa_threaded_mainloop_lock(m_loop.get());
    }
    pa_operation *asked = pa_context_get_sink_info_list(
        m_context.get(),
        [](pa_context *, const pa_sink_info *info, int eol, void *data) {
            auto *asking = static_cast<Ask *>(data);
            if (info && eol == 0)
                asking->sinks.push_back({QString::fromUtf8(info->name), QString::fromUtf8(info->description)});
            else
                asking->done = true;
            pa_threaded_mainloop_signal(asking->loop, 0);
        },
        &ask);
    if (!asked)
        return {};
    while (!ask.done && pa_operation_get_state(asked) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(m_loop.get());
    pa_operation_unref(asked);
    return ask.sinks;
}

void PulseEngine::followSinks(bool follow)
{
    Lock lock(m_loop.get());
    if (follow == m_followSinks)
        return;
    m_followSinks = follow;
    if (m_context && pa_context_get_state(m_context.get()) == PA_CONTEXT_READY) {
        subscribe();
        if (follow)
            askForSinks(false);
    }
}

void PulseEngine::subscribe()
{
    // Sinks that come and go (a USB interface plugged in) are heard of as they do. The server
    // also tells of every change to a sink (PipeWire does as one idles after playing), which
    // wakes the engine: only while a particular sink is wanted.
    const auto mask = pa_subscription_mask_t(m_followSinks ? PA_SUBSCRIPTION_MASK_SINK : PA_SUBSCRIPTION_MASK_NULL);
    if (pa_operation *subscribed = pa_context_subscribe(m_context.get(), mask, nullptr, nullptr))
        pa_operation_unref(subscribed);
}

QString PulseEngine::sinkFor(const QString &device)
{
    Lock lock(m_loop.get());
    return deviceAvailable(device) ? device : QString();
}

QString PulseEngine::sinkOf(const std::shared_ptr<PulseVoice> &voice)
{
    Lock lock(m_loop.get());
    return voice->m_connectedDevice;
}

bool PulseEngine::isPipeWire()
{
    Lock lock(m_loop.get());
    return m_pipeWire;
}

bool PulseEngine::connected()
{
    Lock lock(m_loop.get());
    return m_context && pa_context_get_state(m_context.get()) == PA_CONTEXT_READY;
}

void PulseEngine::forget(PulseVoice *voice)
{
    // Moved out first: the voice may be destroyed with its last reference, and its destructor
    // must not run while the list is being changed.
    std::shared_ptr<PulseVoice> last;
    const auto found = std::find_if(m_voices.begin(), m_voices.end(),
                                    [voice](const std::shared_ptr<PulseVoice> &held) { return held.get() == voice; });
    if (found != m_voices.end()) {
        last = std::move(*found);
        m_voices.erase(found);
    }
}
