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
// announcements (hot-plug) and reads on a thread of its own that sleeps in poll() while no MIDI
// arrives. What reaches the window is bounded: events beyond kMaxPending not yet handled are
// dropped and counted.
class AlsaMidiTransport : public MidiTransport
{
    Q_OBJECT

public:
    static constexpr int kMaxPending = 256;

    explicit AlsaMidiTransport(QObject *parent = nullptr);
    ~AlsaMidiTransport() override;

    bool start(QString *why) override;
    QStringList devices() const override;
    bool connectDevice(const QString &device) override;
    void send(const QString &device, const QByteArray &bytes) override;

private:
    struct Close
    {
        void operator()(snd_seq_t *seq) const;
    };
    struct Port
    {
        int client = 0;
        int port = 0;
    };
    // Every device by name, as the sequencer has them now; under m_lock.
    QHash<QString, Port> scan() const;
    void run();
    void deliver(const MidiEvent &event);

    std::unique_ptr<snd_seq_t, Close> m_seq;
    mutable std::mutex m_lock; // the sequencer handle, between the reader and the window
    int m_ownClient = -1;
    int m_inPort = -1;
    int m_lightsPort = -1;
    int m_wake[2] = {-1, -1}; // a pipe that ends the reader
    std::thread m_reader;
    QHash<QString, Port> m_connected;     // the window's: devices it listens to
    QHash<int, QString> m_names;          // the reader's: port address to device name
    std::atomic<int> m_pending{0};        // events posted, not yet handled
    std::atomic<qint64> m_dropped{0};     // events dropped since the last report
    std::atomic<bool> m_announced{false}; // a devicesChanged() is on its way
    struct FreeParser
    {
        void operator()(snd_midi_event *parser) const;
    };
    std::unique_ptr<snd_midi_event, FreeParser> m_output; // bytes to events, for send()
};
