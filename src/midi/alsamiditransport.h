#pragma once

#include "midi/midicodec.h"
#include "midi/miditransport.h"

#include <QHash>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

typedef struct _snd_seq snd_seq_t;

// MIDI through the ALSA sequencer: one client named "Kelvo" with an input port "Kelvo in" and a
// lights port "Kelvo lights" that other programs can connect to. It follows the sequencer's
// announcements (hot-plug) and reads on a thread of its own that sleeps in poll() while nothing
// it acts on arrives: the client's event filter lets only channel messages, SysEx and
// announcements in, so clock and active sensing never wake it. What
// reaches the window is bounded: events beyond kMaxPending not yet handled are dropped, counted
// and said; an overrun of the kernel's input queue is said too.
class AlsaMidiTransport : public MidiTransport
{
    Q_OBJECT

public:
    static constexpr int kMaxPending = 256;
    static constexpr int kInputPool = 2000;     // the kernel's largest input queue, in events
    static constexpr int kOverrunCheckMs = 100; // how often an overrun nothing woke for is looked for

    // What the reader did since start(), for tests and benchmarks.
    struct Statistics
    {
        qint64 wakeups = 0;  // times something arrived
        qint64 events = 0;   // events read
        qint64 scans = 0;    // walks over every client and port
        qint64 overruns = 0; // the kernel's input queue overran
        qint64 dropped = 0;  // events the window had no room for
    };

    explicit AlsaMidiTransport(QObject *parent = nullptr);
    ~AlsaMidiTransport() override;

    bool start(QString *why) override;
    QStringList devices() const override;
    Link connectDevice(const QString &device) override;
    void disconnectDevice(const QString &device) override;
    bool send(const QString &device, const QByteArray &bytes) override;

    // Kelvo's own client number; -1 before start().
    int clientId() const { return m_ownClient; }
    Statistics statistics() const;

private:
    struct Close
    {
        void operator()(snd_seq_t *seq) const;
    };
    struct Port
    {
        int client = 0;
        int port = 0;    // the port it sends from
        int lights = -1; // the port of its client that takes writes; -1: none
    };
    using Names = QHash<int, QString>; // port address to device name

    // Every device by name as the sequencer has them now, kept for send() and told to the
    // reader; takes m_lock for each call into the sequencer, not across the walk.
    QHash<QString, Port> scan() const;
    void run();
    void deliver(const MidiEvent &event);
    void reportLater(std::atomic<bool> &pending, const QString &kind, std::function<QString()> text);

    std::unique_ptr<snd_seq_t, Close> m_seq;
    mutable std::mutex m_lock; // the sequencer handle, held for one call at a time
    int m_ownClient = -1;
    int m_inPort = -1;
    int m_lightsPort = -1;
    int m_wake[2] = {-1, -1}; // a pipe that ends the reader
    std::thread m_reader;
    mutable QHash<QString, Port> m_devices; // the window's: the last scan; emptied by announcements

    // The reader's view of the names, replaced whole by each scan.
    mutable std::mutex m_namesLock;
    mutable std::shared_ptr<const Names> m_names;
    mutable std::atomic<int> m_namesVersion{0};

    std::atomic<int> m_pending{0};        // events posted, not yet handled
    std::atomic<bool> m_announced{false}; // a devicesChanged() is on its way
    std::atomic<bool> m_floodSaid{false}; // a flood line is on its way
    std::atomic<bool> m_overrunSaid{false};
    std::atomic<bool> m_pollSaid{false};
    std::atomic<qint64> m_droppedSinceSaid{0};
    std::atomic<qint64> m_overrunsSinceSaid{0};
    std::atomic<qint64> m_wakeups{0};
    std::atomic<qint64> m_events{0};
    mutable std::atomic<qint64> m_scans{0};
    std::atomic<qint64> m_overruns{0};
    std::atomic<qint64> m_dropped{0};
    struct FreeParser
    {
        void operator()(snd_midi_event *parser) const;
    };
    std::unique_ptr<snd_midi_event, FreeParser> m_output; // bytes to events, for send()
};
