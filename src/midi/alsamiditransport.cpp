#include "midi/alsamiditransport.h"

#include "common/diagnostics.h"
#include "platform/monotonicclock.h"

#include <alsa/asoundlib.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

// alsa-lib writes its own complaints to stderr (a machine without a sequencer, say); Kelvo says
// what matters in its MIDI menu instead.
void quiet(const char *, int, const char *, int, const char *, ...)
{ }

int address(int client, int port)
{
    return (client << 8) | port;
}

// Clients that are never devices: the kernel's own, the loop-back, and PipeWire's bridge.
bool isInfrastructure(const QString &client)
{
    return client == QLatin1String("System") || client == QLatin1String("Midi Through")
        || client.startsWith(QLatin1String("PipeWire-"));
}

} // namespace

void AlsaMidiTransport::Close::operator()(snd_seq_t *seq) const
{
    snd_seq_close(seq);
}

void AlsaMidiTransport::FreeParser::operator()(snd_midi_event *parser) const
{
    snd_midi_event_free(parser);
}

AlsaMidiTransport::AlsaMidiTransport(QObject *parent)
    : MidiTransport(parent)
{ }

AlsaMidiTransport::~AlsaMidiTransport()
{
    if (m_reader.joinable()) {
        const char stop = 1;
        if (::write(m_wake[1], &stop, 1) != 1)
            qWarning("the MIDI reader could not be woken");
        m_reader.join();
    }
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool AlsaMidiTransport::start(QString *why)
{
    if (m_seq)
        return true;
    snd_lib_error_set_handler(quiet);
    snd_seq_t *seq = nullptr;
    const int opened = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (opened < 0) {
        *why = opened == -ENOENT
            ? tr("no MIDI sequencer on this machine (/dev/snd/seq is missing)")
            : tr("the MIDI sequencer cannot be opened (%1)").arg(QString::fromLocal8Bit(snd_strerror(opened)));
        return false;
    }
    m_seq.reset(seq);
    snd_seq_set_client_name(seq, "Kelvo");
    m_ownClient = snd_seq_client_id(seq);
    // Only what Kelvo acts on is let in, and the announcements: the kernel drops the rest before
    // it is queued, so a controller's clock, active sensing or aftertouch cost no wake-up. SysEx
    // is let in all the same: a kernel raw MIDI port (snd-virmidi) stops sending to everyone at
    // the first event a subscriber refuses, and a device's SysEx dump would stall it for good.
    for (const int type :
         {SND_SEQ_EVENT_NOTEON, SND_SEQ_EVENT_NOTEOFF, SND_SEQ_EVENT_CONTROLLER, SND_SEQ_EVENT_PGMCHANGE,
          SND_SEQ_EVENT_SYSEX, SND_SEQ_EVENT_CLIENT_START, SND_SEQ_EVENT_CLIENT_EXIT, SND_SEQ_EVENT_CLIENT_CHANGE,
          SND_SEQ_EVENT_PORT_START, SND_SEQ_EVENT_PORT_EXIT, SND_SEQ_EVENT_PORT_CHANGE})
        snd_seq_set_client_event_filter(seq, type);
    // The default queue (about 200 events) overruns under a burst the reader would catch up with.
    if (snd_seq_set_client_pool_input(seq, kInputPool) < 0)
        snd_seq_set_client_pool_input(seq, kInputPool / 2);
    // Typed as an application's MIDI port, so that other programs' port lists show them.
    const unsigned int type = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;
    m_inPort = snd_seq_create_simple_port(seq, "Kelvo in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE, type);
    m_lightsPort = snd_seq_create_simple_port(seq, "Kelvo lights", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                              type);
    snd_midi_event *parser = nullptr;
    if (m_inPort < 0 || m_lightsPort < 0 || snd_midi_event_new(4096, &parser) < 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        *why = tr("the MIDI ports cannot be made");
        m_seq.reset();
        return false;
    }
    m_output.reset(parser);
    // Every client's and port's coming and going, on the input port.
    snd_seq_connect_from(seq, m_inPort, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    scan(); // the reader starts knowing who is there
    m_reader = std::thread([this] { run(); });
    return true;
}

AlsaMidiTransport::Statistics AlsaMidiTransport::statistics() const
{
    return {m_wakeups.load(), m_events.load(), m_scans.load(), m_overruns.load(), m_dropped.load()};
}

QHash<QString, AlsaMidiTransport::Port> AlsaMidiTransport::scan() const
{
    QHash<QString, Port> found;
    if (!m_seq)
        return found;
    ++m_scans;
    snd_seq_client_info_t *client = nullptr;
    snd_seq_port_info_t *port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    const auto next = [this](auto query, auto *info) {
        std::lock_guard<std::mutex> lock(m_lock);
        return query(m_seq.get(), info) >= 0;
    };
    while (next(snd_seq_query_next_client, client)) {
        const int id = snd_seq_client_info_get_client(client);
        const QString clientName = QString::fromUtf8(snd_seq_client_info_get_name(client));
        if (id == m_ownClient || isInfrastructure(clientName))
            continue;
        QList<QPair<QString, int>> senders; // port name and number, in the client's order
        QList<int> takers;                  // ports that take writes
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (next(snd_seq_query_next_port, port)) {
            const unsigned int caps = snd_seq_port_info_get_capability(port);
            if ((caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0)
                continue;
            const int number = snd_seq_port_info_get_port(port);
            if ((caps & SND_SEQ_PORT_CAP_READ) != 0 && (caps & SND_SEQ_PORT_CAP_SUBS_READ) != 0)
                senders.append({QString::fromUtf8(snd_seq_port_info_get_name(port)), number});
            if ((caps & SND_SEQ_PORT_CAP_WRITE) != 0 && (caps & SND_SEQ_PORT_CAP_SUBS_WRITE) != 0)
                takers.append(number);
        }
        for (qsizetype i = 0; i < senders.size(); ++i) {
            const auto &[portName, number] = senders[i];
            // Lights go back to the port pads come from where it takes them; else, where a
            // device has ports apart for pads and lights, to its client's like-placed taker.
            const int lights = takers.contains(number) ? number
                : takers.isEmpty()                     ? -1
                                                       : takers[std::min(i, takers.size() - 1)];
            const QString base = clientName + QLatin1Char(':') + portName;
            QString name = base;
            // Two devices alike: the second is "#2", in the sequencer's own order.
            for (int ordinal = 2; found.contains(name); ++ordinal)
                name = base + QStringLiteral("#%1").arg(ordinal);
            found.insert(name, {id, number, lights});
        }
    }
    m_devices = found;
    auto names = std::make_shared<Names>();
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        names->insert(address(it->client, it->port), it.key());
    {
        std::lock_guard<std::mutex> lock(m_namesLock);
        m_names = std::move(names);
    }
    ++m_namesVersion;
    return found;
}

QStringList AlsaMidiTransport::devices() const
{
    QStringList names = scan().keys();
    names.sort();
    return names;
}

MidiTransport::Link AlsaMidiTransport::connectDevice(const QString &device)
{
    if (!m_seq)
        return Link::Missing;
    const QHash<QString, Port> now = scan();
    const auto it = now.constFind(device);
    if (it == now.cend())
        return Link::Missing;
    snd_seq_addr_t sender{static_cast<unsigned char>(it->client), static_cast<unsigned char>(it->port)};
    snd_seq_addr_t dest{static_cast<unsigned char>(m_ownClient), static_cast<unsigned char>(m_inPort)};
    snd_seq_port_subscribe_t *subscription = nullptr;
    snd_seq_port_subscribe_alloca(&subscription);
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &dest);
    std::lock_guard<std::mutex> lock(m_lock);
    // The kernel's own word on the link: one that went with a client that quit and came back
    // under the same name (and maybe the same number) must be made again.
    if (snd_seq_get_port_subscription(m_seq.get(), subscription) == 0)
        return Link::Kept;
    const int result = snd_seq_subscribe_port(m_seq.get(), subscription);
    if (result == -EBUSY)
        return Link::Kept;
    return result < 0 ? Link::Missing : Link::Made;
}

void AlsaMidiTransport::disconnectDevice(const QString &device)
{
    const auto it = m_devices.constFind(device);
    if (!m_seq || it == m_devices.cend())
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    snd_seq_disconnect_from(m_seq.get(), m_inPort, it->client, it->port);
}

bool AlsaMidiTransport::send(const QString &device, const QByteArray &bytes)
{
    if (!m_seq)
        return false;
    std::optional<Port> to;
    if (!device.isEmpty()) {
        if (m_devices.isEmpty())
            scan(); // the last announcement made what was known stale
        const auto it = m_devices.constFind(device);
        if (it == m_devices.cend() || it->lights < 0)
            return false;
        to = *it;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    snd_midi_event_reset_encode(m_output.get());
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    long left = bytes.size();
    bool all = true;
    while (left > 0) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        const long used = snd_midi_event_encode(m_output.get(), data, left, &event);
        if (used <= 0)
            return false;
        data += used;
        left -= used;
        if (event.type == SND_SEQ_EVENT_NONE)
            continue;
        snd_seq_ev_set_source(&event, static_cast<unsigned char>(m_lightsPort));
        if (to)
            snd_seq_ev_set_dest(&event, static_cast<unsigned char>(to->client), static_cast<unsigned char>(to->lights));
        else
            snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        if (snd_seq_event_output_direct(m_seq.get(), &event) < 0)
            all = false;
    }
    return all;
}

void AlsaMidiTransport::run()
{
    std::vector<pollfd> fds;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const int count = snd_seq_poll_descriptors_count(m_seq.get(), POLLIN);
        fds.resize(size_t(std::max(count, 0)) + 1);
        snd_seq_poll_descriptors(m_seq.get(), fds.data(), unsigned(count), POLLIN);
        fds.back() = {m_wake[0], POLLIN, 0};
    }
    std::shared_ptr<const Names> names;
    int namesVersion = -1;
    for (;;) {
        // One event larger than the whole input queue (a SysEx dump) is refused by the kernel
        // without waking anyone, and the next read then empties the queue: read now and then,
        // so that what comes after it is not lost with it.
        const int ready = ::poll(fds.data(), nfds_t(fds.size()), kOverrunCheckMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            reportLater(m_pollSaid, QStringLiteral("midi-poll"), [error] {
                return QStringLiteral("MIDI input cannot wait for events (%1); trying again")
                    .arg(QString::fromLocal8Bit(strerror(error)));
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (fds.back().revents != 0)
            return; // the window is going
        if (ready > 0)
            ++m_wakeups;
        bool failed = false;
        for (size_t i = 0; i + 1 < fds.size(); ++i)
            failed = failed || (fds[i].revents & (POLLERR | POLLNVAL)) != 0;
        if (failed) {
            // Said, and tried again at a pace that cannot spin: the read below clears what it can.
            reportLater(m_pollSaid, QStringLiteral("midi-poll"),
                        [] { return QStringLiteral("the MIDI sequencer reports an error; trying again"); });
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (namesVersion != m_namesVersion.load()) {
            std::lock_guard<std::mutex> lock(m_namesLock);
            names = m_names;
            namesVersion = m_namesVersion.load();
        }
        for (;;) {
            snd_seq_event_t event;
            int result = 0;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                snd_seq_event_t *in = nullptr;
                result = snd_seq_event_input(m_seq.get(), &in);
                if (result >= 0 && in)
                    event = *in;
                else if (result >= 0)
                    result = -EAGAIN;
            }
            if (result == -ENOSPC) {
                // The kernel's queue overran and was emptied: what was in it is gone.
                ++m_overruns;
                ++m_overrunsSinceSaid;
                reportLater(m_overrunSaid, QStringLiteral("midi-overrun"), [this] {
                    return QStringLiteral("MIDI input overran; what was waiting was lost (%1 times)")
                        .arg(m_overrunsSinceSaid.exchange(0));
                });
                continue;
            }
            if (result < 0)
                break;
            ++m_events;
            if (event.source.client == m_ownClient)
                continue;
            const bool announcement = event.source.client == SND_SEQ_CLIENT_SYSTEM
                && event.source.port == SND_SEQ_PORT_SYSTEM_ANNOUNCE;
            if (announcement) {
                if (!m_announced.exchange(true)) {
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            m_announced = false;
                            m_devices.clear();
                            emit devicesChanged();
                        },
                        Qt::QueuedConnection);
                }
                continue;
            }
            const QString device = names ? names->value(address(event.source.client, event.source.port)) : QString();
            if (const std::optional<MidiEvent> message = MidiCodec::fromSequencer(event, device))
                deliver(*message);
        }
    }
}

void AlsaMidiTransport::reportLater(std::atomic<bool> &pending, const QString &kind, std::function<QString()> text)
{
    if (pending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [&pending, kind, text = std::move(text)] {
            pending = false;
            Diagnostics::report(kind, QString(), text());
        },
        Qt::QueuedConnection);
}

void AlsaMidiTransport::deliver(const MidiEvent &event)
{
    if (!wanted(event))
        return;
    // A flood must not grow a queue without end: what the window has not caught up with is
    // dropped, and said once in a while.
    if (m_pending.load() >= kMaxPending) {
        ++m_dropped;
        ++m_droppedSinceSaid;
        reportLater(m_floodSaid, QStringLiteral("midi-flood"), [this] {
            return QStringLiteral("MIDI arrives faster than it can be handled; %1 events dropped")
                .arg(m_droppedSinceSaid.exchange(0));
        });
        return;
    }
    ++m_pending;
    MidiEvent stamped = event;
    stamped.arrivedAtMs = monotonicMs(); // read here, while the window may be busy
    QMetaObject::invokeMethod(
        this,
        [this, event = stamped] {
            --m_pending;
            emit received(event);
        },
        Qt::QueuedConnection);
}
