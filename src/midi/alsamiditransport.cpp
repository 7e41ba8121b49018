#include "midi/alsamiditransport.h"

#include "common/diagnostics.h"
#include "platform/monotonicclock.h"

#include <alsa/asoundlib.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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
    m_reader = std::thread([this] { run(); });
    return true;
}

QHash<QString, AlsaMidiTransport::Port> AlsaMidiTransport::scan() const
{
    QHash<QString, Port> found;
    if (!m_seq)
        return found;
    snd_seq_client_info_t *client = nullptr;
    snd_seq_port_info_t *port = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq.get(), client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        const QString clientName = QString::fromUtf8(snd_seq_client_info_get_name(client));
        if (id == m_ownClient || isInfrastructure(clientName))
            continue;
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(m_seq.get(), port) >= 0) {
            const unsigned int caps = snd_seq_port_info_get_capability(port);
            if ((caps & SND_SEQ_PORT_CAP_READ) == 0 || (caps & SND_SEQ_PORT_CAP_SUBS_READ) == 0
                || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0)
                continue;
            const QString base = clientName + QLatin1Char(':') + QString::fromUtf8(snd_seq_port_info_get_name(port));
            QString name = base;
            // Two devices alike: the second is "#2", in the sequencer's own order.
            for (int ordinal = 2; found.contains(name); ++ordinal)
                name = base + QStringLiteral("#%1").arg(ordinal);
            found.insert(name, {id, snd_seq_port_info_get_port(port)});
        }
    }
    return found;
}

QStringList AlsaMidiTransport::devices() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    QStringList names = scan().keys();
    names.sort();
    return names;
}

bool AlsaMidiTransport::connectDevice(const QString &device)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const QHash<QString, Port> now = scan();
    const auto it = now.constFind(device);
    if (it == now.cend())
        return false;
    // Already subscribed (-EBUSY) is as good as done.
    const int result = snd_seq_connect_from(m_seq.get(), m_inPort, it->client, it->port);
    if (result < 0 && result != -EBUSY)
        return false;
    m_connected.insert(device, *it);
    return true;
}

void AlsaMidiTransport::send(const QString &device, const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_seq)
        return;
    std::optional<Port> to;
    if (!device.isEmpty()) {
        const auto it = m_connected.constFind(device);
        if (it == m_connected.cend())
            return;
        to = *it;
    }
    snd_midi_event_reset_encode(m_output.get());
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    long left = bytes.size();
    while (left > 0) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        const long used = snd_midi_event_encode(m_output.get(), data, left, &event);
        if (used <= 0)
            break;
        data += used;
        left -= used;
        if (event.type == SND_SEQ_EVENT_NONE)
            continue;
        snd_seq_ev_set_source(&event, static_cast<unsigned char>(m_lightsPort));
        if (to)
            snd_seq_ev_set_dest(&event, static_cast<unsigned char>(to->client), static_cast<unsigned char>(to->port));
        else
            snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        snd_seq_event_output_direct(m_seq.get(), &event);
    }
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
    for (;;) {
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0 && errno != EINTR)
            return;
        if (fds.back().revents != 0)
            return; // the window is going
        std::lock_guard<std::mutex> lock(m_lock);
        for (;;) {
            snd_seq_event_t *event = nullptr;
            const int result = snd_seq_event_input(m_seq.get(), &event);
            if (result == -ENOSPC) {
                m_dropped += 1; // the kernel's queue overran: what was in it is gone
                continue;
            }
            if (result < 0 || !event)
                break;
            if (event->source.client == m_ownClient)
                continue;
            if (event->type >= SND_SEQ_EVENT_CLIENT_START && event->type <= SND_SEQ_EVENT_PORT_UNSUBSCRIBED) {
                m_names.clear();
                if (!m_announced.exchange(true)) {
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            m_announced = false;
                            emit devicesChanged();
                        },
                        Qt::QueuedConnection);
                }
                continue;
            }
            const int from = address(event->source.client, event->source.port);
            if (!m_names.contains(from)) {
                const QHash<QString, Port> now = scan();
                for (auto it = now.cbegin(); it != now.cend(); ++it)
                    m_names.insert(address(it->client, it->port), it.key());
            }
            if (const std::optional<MidiEvent> message = MidiCodec::fromSequencer(*event, m_names.value(from)))
                deliver(*message);
        }
    }
}

void AlsaMidiTransport::deliver(const MidiEvent &event)
{
    if (!wanted(event))
        return;
    // A flood must not grow a queue without end: what the window has not caught up with is
    // dropped, and said once in a while.
    if (m_pending.load() >= kMaxPending) {
        if (m_dropped.fetch_add(1) == 0)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    Diagnostics::report(QStringLiteral("midi-flood"), QString(),
                                        QStringLiteral("MIDI arrives faster than it can be handled; %1 events dropped")
                                            .arg(m_dropped.exchange(0)));
                },
                Qt::QueuedConnection);
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
