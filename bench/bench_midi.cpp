// MIDI on the kernel's sequencer (scripts/bench-midi.sh runs this inside scripts/midi-vm.sh's
// machine): the whole program's CPU while a controller sends clock, against none; while it sends
// bound releases, against aseqdump reading the same stream; and a note written to the raw MIDI
// port to the first sample at the sink, against kelvoctl fire from its start. Needs a sound
// server with a null sink named test_null. KELVO_BENCH_SECONDS sets each CPU run (20 by default).
#include "benchclock.h"
#include "stampedmonitor.h"

#include <alsa/asoundlib.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

const char *const kVirmidi = "Virtual Raw MIDI 0-0:VirMIDI 0-0";
const char *const kPad = "APC MINI:APC MINI MIDI 1";

void pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

// A process's CPU so far, user and system, in ms; -1 when it is gone.
double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// The controller: a duplex port named as an APC mini's, sending to whoever subscribed.
class Pad
{
public:
    Pad()
    {
        snd_seq_t *seq = nullptr;
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) != 0)
            return;
        m_seq.reset(seq);
        snd_seq_set_client_name(seq, "APC MINI");
        m_port = snd_seq_create_simple_port(seq, "APC MINI MIDI 1",
                                            SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE
                                                | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
    }
    bool ok() const { return m_seq && m_port >= 0; }
    int client() const { return snd_seq_client_id(m_seq.get()); }

    // Sends kind ("clock", "releases") at 1,000 events a second, evenly, until stop().
    void stream(const QString &kind)
    {
        m_stop = false;
        m_sender = std::thread([this, kind] {
            auto next = std::chrono::steady_clock::now();
            while (!m_stop) {
                next += std::chrono::microseconds(1000);
                std::this_thread::sleep_until(next);
                snd_seq_event_t event;
                snd_seq_ev_clear(&event);
                if (kind == QLatin1String("clock"))
                    event.type = SND_SEQ_EVENT_CLOCK;
                else
                    snd_seq_ev_set_noteon(&event, 0, 60, 0);
                snd_seq_ev_set_source(&event, static_cast<unsigned char>(m_port));
                snd_seq_ev_set_subs(&event);
                snd_seq_ev_set_direct(&event);
                snd_seq_event_output_direct(m_seq.get(), &event);
                snd_seq_event_t *in = nullptr;
                while (snd_seq_event_input(m_seq.get(), &in) >= 0 && in) { } // the lights, unread
            }
        });
    }
    void stop()
    {
        m_stop = true;
        if (m_sender.joinable())
            m_sender.join();
    }
    ~Pad() { stop(); }

private:
    struct Close
    {
        void operator()(snd_seq_t *seq) const { snd_seq_close(seq); }
    };
    std::unique_ptr<snd_seq_t, Close> m_seq;
    int m_port = -1;
    std::thread m_sender;
    std::atomic<bool> m_stop{false};
};

// pid's CPU in ms a second over seconds while pad streams kind ("" for nothing).
double cpuWhile(qint64 pid, Pad &pad, const QString &kind, int seconds)
{
    if (!kind.isEmpty())
        pad.stream(kind);
    pump(500);
    const double before = cpuMs(pid);
    pump(seconds * 1000);
    const double after = cpuMs(pid);
    pad.stop();
    pump(300);
    return before < 0 || after < 0 ? -1 : (after - before) / seconds;
}

void row(const char *what, double msPerSecond, double reference)
{
    std::printf("| %-44s | %9.2f | %7.2fx |\n", what, msPerSecond, reference > 0 ? msPerSecond / reference : 0.0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_midi BENCH_FIXTURES_DIR TEST_FIXTURES_DIR\n");
        return 2;
    }
    if (!QFile::exists(QStringLiteral("/dev/snd/seq")) || !QFile::exists(QStringLiteral("/dev/snd/midiC0D0"))) {
        std::printf("MIDI: no kernel sequencer with a virtual raw MIDI port here (scripts/bench-midi.sh has one)\n");
        return 0;
    }
    const int seconds = qEnvironmentVariableIsSet("KELVO_BENCH_SECONDS")
        ? std::max(5, qEnvironmentVariableIntValue("KELVO_BENCH_SECONDS"))
        : 20;
    const QString flac = QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("ten_min.flac"));
    const QString wav = QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("wav44_stereo.wav"));
    QTemporaryDir folder;
    const QString kelvo = folder.filePath(QStringLiteral("kelvo"));
    const QString kelvoctl = folder.filePath(QStringLiteral("kelvoctl"));
    QFile list(folder.filePath(QStringLiteral("Quorbel")));
    StampedMonitor monitor(3000);
    Pad pad;
    if (!QFile::copy(QStringLiteral(KELVO_BINARY), kelvo) || !QFile::copy(QStringLiteral(KELVOCTL_BINARY), kelvoctl)
        || !list.open(QIODevice::WriteOnly) || !monitor.start() || !pad.ok()) {
        std::printf("MIDI: no programs to copy, no test_null sink or no controller client\n");
        return 1;
    }
    list.write("\"" + wav.toUtf8() + "\",\"Short\"\r\n\"" + flac.toUtf8() + "\",\"Long\"\r\n");
    list.close();
    // The raw port's note 60 fires cart 1; the pad's note 60 is bound too, so its releases are
    // handed as far as Kelvo lets them go.
    QDir(folder.path()).mkpath(QStringLiteral("config/kelvo"));
    QFile conf(folder.filePath(QStringLiteral("config/kelvo/kelvo.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return 1;
    conf.write(QByteArray("[midi]\nbindings\\size=2\nbindings\\1\\device=") + kVirmidi
               + "\nbindings\\1\\input=note:1:60\nbindings\\1\\action=fire:1\nbindings\\2\\device=" + kPad
               + "\nbindings\\2\\input=note:1:60\nbindings\\2\\action=fire:1\n");
    conf.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const auto run = [&env](const QString &program, const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        process.waitForFinished(10000);
    };
    QProcess player;
    player.setProcessEnvironment(env);
    player.start(kelvo, {});
    if (!player.waitForStarted(10000))
        return 1;
    // Started, its carts armed, its MIDI devices connected, and done with what it reads of the
    // files at start (the long FLAC's waveform: tens of seconds on an emulated machine).
    pump(2000);
    QElapsedTimer settling;
    settling.start();
    for (double last = cpuMs(player.processId());;) {
        pump(2000);
        const double now = cpuMs(player.processId());
        if (now - last < 40 || settling.elapsed() > 300'000)
            break;
        last = now;
    }
    std::printf("(Kelvo settled after %.0f s)\n", double(settling.elapsed()) / 1000);

    std::printf("\nMIDI on the kernel's sequencer: the whole program's CPU, ms a second (%d s a row)\n", seconds);
    std::printf("| %-44s | %9s | %8s |\n", "what", "CPU ms/s", "ratio");
    std::printf("|%s|%s|%s|\n", QByteArray(46, '-').constData(), QByteArray(11, '-').constData(),
                QByteArray(10, '-').constData());
    run(kelvoctl, {QStringLiteral("fire"), QStringLiteral("2")});
    const double playing = cpuWhile(player.processId(), pad, QString(), seconds);
    row("Kelvo playing a FLAC, no MIDI", playing, playing);
    row("Kelvo playing a FLAC, 1,000 clock a second",
        cpuWhile(player.processId(), pad, QStringLiteral("clock"), seconds), playing);
    run(kelvoctl, {QStringLiteral("stop")});
    pump(500);
    const double rest = cpuWhile(player.processId(), pad, QString(), seconds);
    row("Kelvo at rest, no MIDI", rest, rest);
    row("Kelvo at rest, 1,000 clock a second", cpuWhile(player.processId(), pad, QStringLiteral("clock"), seconds),
        rest);
    const double releases = cpuWhile(player.processId(), pad, QStringLiteral("releases"), seconds);
    QProcess dump;
    dump.setProcessEnvironment(env);
    dump.setStandardOutputFile(QProcess::nullDevice());
    dump.start(QStringLiteral("aseqdump"), {QStringLiteral("-p"), QStringLiteral("%1:0").arg(pad.client())});
    double aseqdump = -1;
    if (dump.waitForStarted(5000)) {
        pump(500);
        aseqdump = cpuWhile(dump.processId(), pad, QStringLiteral("releases"), seconds);
        dump.terminate();
        dump.waitForFinished(3000);
    }
    row("aseqdump, 1,000 bound releases a second", aseqdump, aseqdump);
    row("Kelvo at rest, the same releases", releases, aseqdump);
    row("Kelvo at rest, the same releases, less its rest", releases - rest, aseqdump);
    std::printf("(targets: clock at most 1.10x no MIDI while playing; releases at most 1.50x aseqdump)\n");

    // A note into the raw port, as a USB pad's bytes arrive, against kelvoctl from its start.
    const int raw = ::open("/dev/snd/midiC0D0", O_WRONLY | O_CLOEXEC);
    QList<double> notes, ctl;
    for (int i = 0; i < 20 && raw >= 0; ++i) {
        monitor.reset();
        qint64 t0 = monotonicNs();
        const unsigned char press[] = {0x90, 0x3C, 0x7F, 0x90, 0x3C, 0x00};
        if (::write(raw, press, sizeof press) != qint64(sizeof press))
            break;
        notes << waitOnsetMs(monitor, t0);
        pump(200);
        run(kelvoctl, {QStringLiteral("stop")});
        pump(400);
        monitor.reset();
        t0 = monotonicNs();
        QProcess fire;
        fire.setProcessEnvironment(env);
        fire.start(kelvoctl, {QStringLiteral("fire"), QStringLiteral("1")});
        ctl << waitOnsetMs(monitor, t0);
        fire.waitForFinished(5000);
        pump(200);
        run(kelvoctl, {QStringLiteral("stop")});
        pump(400);
    }
    if (raw >= 0)
        ::close(raw);
    std::printf("\nMIDI on the kernel's sequencer: to the first sample above 3000 in the sink's monitor, ms "
                "(20 runs, alternating)\n");
    std::printf("| %-44s | %8s | %s\n", "what", "median", "every run, first to last");
    std::printf("|%s|%s|%s\n", QByteArray(46, '-').constData(), QByteArray(10, '-').constData(),
                QByteArray(30, '-').constData());
    std::printf("| %-44s | %8.1f | %s\n", "note written to /dev/snd/midiC0D0", median(notes),
                qPrintable(listOf(notes)));
    std::printf("| %-44s | %8.1f | %s\n", "kelvoctl fire 1 (process start)", median(ctl), qPrintable(listOf(ctl)));
    std::printf("(target: the note no slower than kelvoctl; the machine is emulated, so only the comparison counts)\n");
    player.terminate();
    player.waitForFinished(5000);
    return 0;
}
