// The MIDI path against the kernel's own sequencer: pad controllers made here as sequencer
// clients, and raw bytes through the kernel's raw MIDI path. Needs /dev/snd/seq (and for the raw
// rows /dev/snd/midiC0D0 of snd-virmidi); scripts/midi-vm.sh gives a machine that has them.
#include "midi/alsamiditransport.h"
#include "midi/midibinding.h"
#include "midi/midicontrol.h"
#include "recordingsurface.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <alsa/asoundlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

const QString apc = QStringLiteral("APC MINI:APC MINI MIDI 1");
const QString virmidi = QStringLiteral("Virtual Raw MIDI 0-0:VirMIDI 0-0");
constexpr int kPad = 56; // the APC mini's top-left pad

MidiInput note(int number)
{
    return {MidiEvent::Kind::NoteOn, 0, number};
}

MidiBinding fire(const QString &device, int number, int slot)
{
    return {device, note(number), {MidiAction::Kind::Fire, 0, slot}};
}

// A controller as a sequencer client: one duplex port, or pads and lights apart, or a port
// that sends but that no one can subscribe to (a program, not a device).
class Controller
{
public:
    enum class Ports { Duplex, Split, Unlisted };

    Controller(const char *client, const char *port, Ports ports = Ports::Duplex)
    {
        snd_seq_t *seq = nullptr;
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) != 0)
            return;
        m_seq.reset(seq);
        snd_seq_set_client_name(seq, client);
        snd_seq_set_client_pool_output(seq, 2000);
        const unsigned int type = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE;
        const unsigned int in = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
        const unsigned int out = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
        if (ports == Ports::Split) {
            m_pads = snd_seq_create_simple_port(seq, "pads", in, type);
            m_lights = snd_seq_create_simple_port(seq, "lights", out, type);
        } else if (ports == Ports::Unlisted) {
            m_pads = m_lights = snd_seq_create_simple_port(seq, port, SND_SEQ_PORT_CAP_READ | out, type);
        } else {
            m_pads = m_lights = snd_seq_create_simple_port(seq, port, in | out, type);
        }
    }
    bool ok() const { return m_seq && m_pads >= 0; }
    int client() const { return snd_seq_client_id(m_seq.get()); }
    void close() { m_seq.reset(); }

    // To whoever subscribed to the pads port, or straight into Kelvo's input.
    bool post(snd_seq_event_t event, bool toKelvo = false)
    {
        snd_seq_ev_set_source(&event, static_cast<unsigned char>(m_pads));
        if (toKelvo) {
            snd_seq_addr_t kelvo{};
            if (snd_seq_parse_address(m_seq.get(), &kelvo, "Kelvo:0") != 0)
                return false;
            snd_seq_ev_set_dest(&event, kelvo.client, kelvo.port);
        } else {
            snd_seq_ev_set_subs(&event);
        }
        snd_seq_ev_set_direct(&event);
        return snd_seq_event_output_direct(m_seq.get(), &event) >= 0;
    }
    bool noteOn(int number, int velocity, bool toKelvo = false)
    {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_noteon(&event, 0, static_cast<unsigned char>(number), static_cast<unsigned char>(velocity));
        return post(event, toKelvo);
    }
    // The velocities of the notes that came to the lights port for number, in order.
    QList<int> lights(int number)
    {
        drain();
        QList<int> out;
        for (const auto &[note, velocity] : std::as_const(m_received)) {
            if (note == number)
                out << velocity;
        }
        return out;
    }
    // The last of them; -1 for none.
    int lastLight(int number)
    {
        const QList<int> all = lights(number);
        return all.isEmpty() ? -1 : all.last();
    }
    int received()
    {
        drain();
        return int(m_received.size());
    }

private:
    void drain()
    {
        snd_seq_event_t *in = nullptr;
        while (m_seq && snd_seq_event_input(m_seq.get(), &in) >= 0 && in) {
            if (in->type == SND_SEQ_EVENT_NOTEON && in->dest.port == m_lights)
                m_received.append({in->data.note.note, in->data.note.velocity});
        }
    }
    struct Close
    {
        void operator()(snd_seq_t *seq) const { snd_seq_close(seq); }
    };
    std::unique_ptr<snd_seq_t, Close> m_seq;
    int m_pads = -1;
    int m_lights = -1;
    QList<QPair<int, int>> m_received;
};

// Kelvo's side: the sequencer transport and the MIDI control over a recording surface.
struct Kelvo
{
    RecordingSurface surface;
    AlsaMidiTransport transport;
    MidiMap map;
    std::unique_ptr<MidiControl> midi;

    explicit Kelvo(const QList<MidiBinding> &bindings)
    {
        for (const MidiBinding &binding : bindings)
            map.bind(binding);
        midi = std::make_unique<MidiControl>(surface, transport, map);
    }
    bool start() { return midi->start(); }
};

// Presses until call turns up or withinMs pass; the time it took, or -1.
qint64 firesWithin(Controller &pad, int number, RecordingSurface &surface, const QString &call, int withinMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < withinMs) {
        pad.noteOn(number, 100);
        pad.noteOn(number, 0);
        QTest::qWait(40);
        if (surface.calls.contains(call))
            return timer.elapsed();
    }
    return -1;
}

bool haveSequencer()
{
    return QFile::exists(QStringLiteral("/dev/snd/seq"));
}

} // namespace

class TestMidiSeq : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void portsAsOtherProgramsSeeThem_data();
    void portsAsOtherProgramsSeeThem();
    void padFiresAndLightsFollow_data();
    void padFiresAndLightsFollow();
    void replugFoundAgain_data();
    void replugFoundAgain();
    void twoAlikeToldApart();
    void rawBytes_data();
    void rawBytes();
    void quietTraffic_data();
    void quietTraffic();
    void largeSysExLosesNothing_data();
    void largeSysExLosesNothing();
    void floodWhileTheWindowIsBusy();
};

void TestMidiSeq::initTestCase()
{
    if (!haveSequencer())
        QSKIP("no ALSA sequencer here (/dev/snd/seq is missing); scripts/midi-vm.sh runs these rows in a machine "
              "that has one");
    qInfo("on the kernel's sequencer");
}

void TestMidiSeq::portsAsOtherProgramsSeeThem_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("listing"); // aconnect's: -o writable ports, -i readable ones
    QTest::addColumn<bool>("listed");
    QTest::newRow("Kelvo in takes writes") << "Kelvo in"
                                           << "-o" << true;
    QTest::newRow("Kelvo in sends nothing") << "Kelvo in"
                                            << "-i" << false;
    QTest::newRow("Kelvo lights can be read") << "Kelvo lights"
                                              << "-i" << true;
    QTest::newRow("Kelvo lights takes nothing") << "Kelvo lights"
                                                << "-o" << false;
}

void TestMidiSeq::portsAsOtherProgramsSeeThem()
{
    QFETCH(QString, port);
    QFETCH(QString, listing);
    QFETCH(bool, listed);
    Kelvo kelvo({});
    QVERIFY(kelvo.start());
    QProcess aconnect;
    aconnect.start(QStringLiteral("aconnect"), {listing});
    QVERIFY2(aconnect.waitForFinished(10000), "aconnect (alsa-utils) did not run");
    const QString out = QString::fromUtf8(aconnect.readAllStandardOutput());
    const QString client = QStringLiteral("client %1: 'Kelvo'").arg(kelvo.transport.clientId());
    const qsizetype at = out.indexOf(client);
    const QString section = at < 0 ? QString() : out.mid(at, out.indexOf(QStringLiteral("client "), at + 1) - at);
    QVERIFY2(section.contains(QLatin1Char('\'') + port) == listed, qPrintable(out));
}

void TestMidiSeq::padFiresAndLightsFollow_data()
{
    QTest::addColumn<bool>("split"); // pads and lights on ports of their own
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("velocity"); // the APC mini's: 3 red, 1 green, 0 off
    for (const bool split : {false, true}) {
        const char *how = split ? "pads and lights apart" : "one duplex port";
        QTest::addRow("%s: playing", how) << split << "playing" << 3;
        QTest::addRow("%s: armed", how) << split << "armed" << 1;
        QTest::addRow("%s: off", how) << split << "off" << 0;
    }
}

void TestMidiSeq::padFiresAndLightsFollow()
{
    QFETCH(bool, split);
    QFETCH(QString, state);
    QFETCH(int, velocity);
    Controller pad("APC MINI", "APC MINI MIDI 1", split ? Controller::Ports::Split : Controller::Ports::Duplex);
    QVERIFY(pad.ok());
    const QString device = split ? QStringLiteral("APC MINI:pads") : apc;
    Kelvo kelvo({fire(device, kPad, 1)});
    kelvo.midi->setProfile(device, QStringLiteral("apc-mini"));
    QVERIFY(kelvo.start());
    QVERIFY(kelvo.midi->isPresent(device));
    // At rest the loaded cart is armed: green, on the port that takes lights.
    QTRY_COMPARE(pad.lastLight(kPad), 1);
    QVERIFY(firesWithin(pad, kPad, kelvo.surface, QStringLiteral("fire:1"), 3000) >= 0);
    const qsizetype sent = pad.lights(kPad).size();
    if (state == QLatin1String("playing")) {
        kelvo.surface.now.slot = 1;
        kelvo.surface.now.playingPage = 1;
        kelvo.surface.now.playing = true;
        kelvo.surface.tell(CommandSurface::Change::Started);
    } else if (state == QLatin1String("off")) {
        kelvo.surface.now.carts[0].loaded = false;
        kelvo.surface.tell(CommandSurface::Change::Carts);
    } else {
        kelvo.surface.tell(CommandSurface::Change::Carts);
        QTest::qWait(200);
        QCOMPARE(pad.lights(kPad).size(), sent); // unchanged: nothing sent again
        return;
    }
    QTRY_COMPARE(pad.lastLight(kPad), velocity);
    QCOMPARE(pad.lights(kPad).size(), sent + 1);
}

void TestMidiSeq::replugFoundAgain_data()
{
    QTest::addColumn<int>("awayMs");       // how long the controller is gone
    QTest::addColumn<bool>("numberTaken"); // another program takes its client number meanwhile
    QTest::newRow("back at once") << 0 << false;
    QTest::newRow("back after 30 ms") << 30 << false;
    QTest::newRow("back after 400 ms") << 400 << false;
    QTest::newRow("its number taken by another program") << 30 << true;
}

void TestMidiSeq::replugFoundAgain()
{
    QFETCH(int, awayMs);
    QFETCH(bool, numberTaken);
    auto pad = std::make_unique<Controller>("APC MINI", "APC MINI MIDI 1");
    QVERIFY(pad->ok());
    Kelvo kelvo({fire(apc, kPad, 1)});
    QVERIFY(kelvo.start());
    QVERIFY(firesWithin(*pad, kPad, kelvo.surface, QStringLiteral("fire:1"), 3000) >= 0);
    QTRY_COMPARE(pad->lastLight(kPad), 1);
    const int before = pad->client();
    kelvo.surface.calls.clear();
    pad->close();
    std::unique_ptr<Controller> other;
    if (numberTaken) {
        other = std::make_unique<Controller>("Some program", "out");
        QCOMPARE(other->client(), before);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(awayMs)); // the window reads nothing meanwhile
    pad = std::make_unique<Controller>("APC MINI", "APC MINI MIDI 1");
    QVERIFY(pad->ok());
    if (numberTaken)
        QVERIFY(pad->client() != before);
    // Found again by name, with no one touching Kelvo, and lit afresh at its new address.
    const qint64 took = firesWithin(*pad, kPad, kelvo.surface, QStringLiteral("fire:1"), 1000);
    QVERIFY2(took >= 0, "the replugged pad fired nothing within a second");
    QTRY_COMPARE(pad->lastLight(kPad), 1);
    if (other)
        QCOMPARE(other->received(), 0);
}

void TestMidiSeq::twoAlikeToldApart()
{
    Controller first("APC MINI", "APC MINI MIDI 1");
    Controller second("APC MINI", "APC MINI MIDI 1");
    QVERIFY(first.ok() && second.ok());
    const QString secondName = apc + QStringLiteral("#2");
    Kelvo kelvo({fire(apc, kPad, 1), fire(secondName, kPad, 2)});
    QVERIFY(kelvo.start());
    QVERIFY(kelvo.midi->isPresent(apc));
    QVERIFY(kelvo.midi->isPresent(secondName));
    QVERIFY(firesWithin(second, kPad, kelvo.surface, QStringLiteral("fire:2"), 3000) >= 0);
    QVERIFY(!kelvo.surface.calls.contains(QStringLiteral("fire:1")));
    QVERIFY(firesWithin(first, kPad, kelvo.surface, QStringLiteral("fire:1"), 3000) >= 0);
    // Each lit on its own: cart 2 playing is red on the second alone.
    QTRY_VERIFY(first.lastLight(kPad) == 1 && second.lastLight(kPad) == 1);
    const qsizetype firstSent = first.lights(kPad).size();
    kelvo.surface.now.slot = 2;
    kelvo.surface.now.playingPage = 1;
    kelvo.surface.tell(CommandSurface::Change::Started);
    QTRY_COMPARE(second.lastLight(kPad), 3);
    QCOMPARE(first.lights(kPad).size(), firstSent);
}

void TestMidiSeq::rawBytes_data()
{
    QTest::addColumn<QByteArray>("bytes"); // into /dev/snd/midiC0D0, as a USB pad's arrive
    QTest::addColumn<int>("fires");        // how often cart 1 (note 60) fires
    QTest::newRow("a press") << QByteArray::fromHex("903c7f") << 1;
    QTest::newRow("running status: the release after it") << QByteArray::fromHex("903c7f3c00") << 1;
    QTest::newRow("running status on notes not bound") << QByteArray::fromHex("903d7f3d003e7f") << 0;
    QTest::newRow("stray data bytes") << QByteArray::fromHex("3c7f3c7f") << 0;
    for (const int size : {8 * 1024, 64 * 1024}) {
        QByteArray sysex(size, char(0x01));
        sysex[0] = char(0xF0);
        sysex[size - 1] = char(0xF7);
        QTest::addRow("a %d KB SysEx", size / 1024) << sysex << 0;
        QTest::addRow("a %d KB SysEx, then a press", size / 1024) << sysex + QByteArray::fromHex("903c7f") << 1;
    }
}

void TestMidiSeq::rawBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, fires);
    if (!QFile::exists(QStringLiteral("/dev/snd/midiC0D0")))
        QSKIP("no virtual raw MIDI port (snd-virmidi) here");
    Kelvo kelvo({fire(virmidi, 60, 1)});
    QVERIFY(kelvo.start());
    QVERIFY(kelvo.midi->isPresent(virmidi));
    const int raw = ::open("/dev/snd/midiC0D0", O_WRONLY | O_CLOEXEC);
    QVERIFY(raw >= 0);
    const auto write = [raw](const QByteArray &what) {
        for (qsizetype done = 0; done < what.size();) {
            const ssize_t n = ::write(raw, what.constData() + done, size_t(what.size() - done));
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    QVERIFY(write(bytes));
    QTest::qWait(400);
    QCOMPARE(kelvo.surface.calls.count(QStringLiteral("fire:1")), fires);
    // Nothing broke: the next press, after a release, fires.
    kelvo.surface.calls.clear();
    QVERIFY(write(QByteArray::fromHex("803c00903c7f")));
    QTRY_COMPARE(kelvo.surface.calls, QStringList{"fire:1"});
    ::close(raw);
    QCOMPARE(kelvo.transport.statistics().overruns, 0);
}

void TestMidiSeq::quietTraffic_data()
{
    QTest::addColumn<QString>("traffic");
    QTest::newRow("clock at 24 ticks a beat, and active sensing") << "clock";
    QTest::newRow("notes from a program that is no device") << "unlisted";
    QTest::newRow("announcements sent by a client") << "announcements";
}

void TestMidiSeq::quietTraffic()
{
    // Traffic Kelvo does not act on costs it no wake-up (clock), no walk over every client
    // (a sender that is no device), and no reconnect (announcements not from the System).
    QFETCH(QString, traffic);
    Controller pad("APC MINI", "APC MINI MIDI 1");
    Controller program("Sequencer program", "out", Controller::Ports::Unlisted);
    QVERIFY(pad.ok() && program.ok());
    Kelvo kelvo({fire(apc, kPad, 1), fire(QString(), 61, 2)});
    QVERIFY(kelvo.start());
    QVERIFY(firesWithin(pad, kPad, kelvo.surface, QStringLiteral("fire:1"), 3000) >= 0);
    QTest::qWait(300);
    QSignalSpy changed(&kelvo.transport, &MidiTransport::devicesChanged);
    const AlsaMidiTransport::Statistics before = kelvo.transport.statistics();
    for (int i = 0; i < 1000; ++i) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        if (traffic == QLatin1String("clock")) {
            event.type = i % 100 == 0 ? SND_SEQ_EVENT_SENSING : SND_SEQ_EVENT_CLOCK;
            pad.post(event, true); // refused: Kelvo's client takes none
        } else if (traffic == QLatin1String("unlisted")) {
            snd_seq_ev_set_noteon(&event, 0, 61, 0); // bound, but a release
            QVERIFY(program.post(event, true));
        } else {
            event.type = SND_SEQ_EVENT_PORT_START;
            event.data.addr.client = static_cast<unsigned char>(pad.client());
            QVERIFY(program.post(event, true));
        }
    }
    QTest::qWait(500);
    const AlsaMidiTransport::Statistics after = kelvo.transport.statistics();
    QCOMPARE(after.overruns, 0);
    QCOMPARE(after.scans, before.scans);
    QCOMPARE(changed.count(), 0);
    if (traffic == QLatin1String("clock"))
        QCOMPARE(after.wakeups, before.wakeups);
    if (traffic == QLatin1String("unlisted")) {
        QVERIFY(program.noteOn(61, 100, true)); // a binding for any device hears it
        QTRY_VERIFY(kelvo.surface.calls.contains(QStringLiteral("fire:2")));
    }
}

void TestMidiSeq::largeSysExLosesNothing_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("8 KB") << 8 * 1024;
    QTest::newRow("64 KB") << 64 * 1024;
}

void TestMidiSeq::largeSysExLosesNothing()
{
    // One SysEx event larger than the kernel's input queue, then a press well after it.
    QFETCH(int, size);
    Controller pad("APC MINI", "APC MINI MIDI 1");
    QVERIFY(pad.ok());
    Kelvo kelvo({fire(apc, kPad, 1)});
    QVERIFY(kelvo.start());
    QVERIFY(firesWithin(pad, kPad, kelvo.surface, QStringLiteral("fire:1"), 3000) >= 0);
    kelvo.surface.calls.clear();
    QByteArray sysex(size, char(0x01));
    sysex[0] = char(0xF0);
    sysex[size - 1] = char(0xF7);
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_sysex(&event, unsigned(size), sysex.data());
    pad.post(event); // larger than Kelvo's input queue, the kernel may refuse it
    QTest::qWait(500);
    QVERIFY(pad.noteOn(kPad, 100));
    QTRY_COMPARE(kelvo.surface.calls, QStringList{"fire:1"});
}

void TestMidiSeq::floodWhileTheWindowIsBusy()
{
    // The window stalls while presses pour in: what it has no room for is dropped and counted,
    // each time, and the next press after fires.
    Controller pad("APC MINI", "APC MINI MIDI 1");
    QVERIFY(pad.ok());
    Kelvo kelvo({fire(apc, kPad, 1)});
    QVERIFY(kelvo.start());
    QVERIFY(firesWithin(pad, kPad, kelvo.surface, QStringLiteral("fire:1"), 3000) >= 0);
    qint64 dropped = 0;
    for (int round = 0; round < 2; ++round) {
        // Presses (a release is dropped where it is read), while the window takes no events
        // until the reader has read them all.
        const qint64 read = kelvo.transport.statistics().events;
        for (int i = 0; i < 800; ++i)
            pad.noteOn(kPad, 100);
        QElapsedTimer busy;
        busy.start();
        while (kelvo.transport.statistics().events - read < 800 && busy.elapsed() < 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QTest::qWait(300);
        const AlsaMidiTransport::Statistics now = kelvo.transport.statistics();
        QVERIFY2(now.dropped > dropped, "a second flood was not counted");
        QCOMPARE(now.overruns, 0);
        dropped = now.dropped;
        kelvo.surface.calls.clear();
        QVERIFY(pad.noteOn(kPad, 100));
        QTRY_COMPARE(kelvo.surface.calls, QStringList{"fire:1"});
    }
}

QTEST_MAIN(TestMidiSeq)
#include "tst_midiseq.moc"
