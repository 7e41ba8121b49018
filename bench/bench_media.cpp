// The media layer: probe times beside libmpg123's own open + scan, the latency from a put to
// the first sample played, CPU while playing beside mpg123, and peak memory for a short and a
// three-hour file. Needs a sound server (scripts/bench.sh starts a private one).
#include "audiotestsupport.h"
#include "platform/audiomediaplayer.h"

#include <mpg123.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

double cpuSeconds()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
    return 0;
#endif
}

double stockProbeMs(const QByteArray &path)
{
    QElapsedTimer clock;
    clock.start();
    int error = 0;
    mpg123_handle *h = mpg123_new(nullptr, &error);
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_open(h, path.constData());
    long rate = 0;
    int channels = 0, encoding = 0;
    mpg123_getformat(h, &rate, &channels, &encoding);
    mpg123_scan(h);
    volatile off_t length = mpg123_length(h);
    (void)length;
    mpg123_close(h);
    mpg123_delete(h);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Runs the event loop, idle, for a while: playback's own cost is all that is measured.
void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Plays a file for some seconds and prints the peak resident memory in KiB.
int playAndReportMemory(const QString &file, int seconds)
{
    AudioMediaPlayer player;
    player.setFileName(file);
    pump(seconds * 1000);
    player.stop();
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
#endif
    return 0;
}

long childPeakKiB(const QString &file, int seconds)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {"--play", file, QString::number(seconds)});
    child.waitForFinished(60000);
    return child.readAllStandardOutput().trimmed().toLong();
}

#ifdef Q_OS_LINUX
double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}
#endif

// Seconds from the first sample heard to position() == duration(), minus the duration.
double endLagSeconds(const QString &file)
{
    AudioMediaPlayer player;
    player.setFileName(file);
    const double duration = player.duration();
    QElapsedTimer clock;
    clock.start();
    qint64 firstNs = -1;
    while (player.position() != duration && clock.elapsed() < 20000) {
        if (firstNs < 0 && player.position() > 0)
            firstNs = clock.nsecsElapsed();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(1000);
    }
    return double(clock.nsecsElapsed() - firstNs) / 1e9 - duration;
}

// The longest run of silence, in ms, inside a tone played while the UI thread stalls once.
double gapDuringStallMs(int stallMs)
{
    SinkRecorder recorder;
    if (!recorder.start())
        return -1;
    AudioMediaPlayer player;
    player.setFileName(fixture("six_seconds.mp3"));
    pump(500);
    QThread::msleep(stallMs);
    pump(6500 - stallMs);
    player.stop();
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    return span.first < 0 ? -1 : double(longestQuietRun(samples, span)) * 1000.0 / 44100;
}

// CPU seconds per second of audio while Kelvo's media layer plays file.
double kelvoCpuPerSecond(const QString &file, int seconds)
{
    AudioMediaPlayer player;
    const double before = cpuSeconds();
    player.setFileName(file);
    pump(seconds * 1000);
    const double used = cpuSeconds() - before;
    player.stop();
    return used / seconds;
}

// The same for another player, run as a process; -1 where it cannot be measured.
double referenceCpuPerSecond(const QString &program, const QStringList &arguments, int seconds)
{
    double used = -1;
#ifdef Q_OS_LINUX
    QProcess reference;
    reference.start(program, arguments);
    if (reference.waitForStarted(3000)) {
        QThread::sleep(unsigned(seconds));
        used = processCpuSeconds(reference.processId()) / seconds;
        reference.kill();
        reference.waitForFinished(3000);
    }
#else
    Q_UNUSED(program);
    Q_UNUSED(arguments);
    Q_UNUSED(seconds);
#endif
    return used;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--play")
        return playAndReportMemory(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_media FIXTURES_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + "/";

    struct Probe { const char *label; const char *file; double targetMs; };
    const Probe probes[] = {
        {"10 min 320 kbps CBR, no tag", "ten_min_cbr_notag.mp3", 4},
        {"10 min 320 kbps CBR, LAME tag", "ten_min_cbr_tag.mp3", 0},
        {"10 min VBR V2", "ten_min_vbr.mp3", 0},
        {"3 h 64 kbps mono", "three_hours_mono.mp3", 25},
        {"10 min WAV", "ten_min.wav", 2},
        {"10 min FLAC", "ten_min.flac", 2},
        {"10 min Ogg Vorbis", "ten_min.ogg", 0},
    };
    std::printf("\nProbe: put + duration + stop (median of 15; stock libmpg123 open + scan, median of 5; warm cache)\n");
    std::printf("| %-30s | %10s | %12s | %12s | %8s |\n", "file", "Kelvo ms", "stock ms", "repeat us", "target");
    std::printf("|%s|%s|%s|%s|%s|\n", QByteArray(32, '-').constData(), QByteArray(12, '-').constData(),
                QByteArray(14, '-').constData(), QByteArray(14, '-').constData(), QByteArray(10, '-').constData());
    for (const Probe &probe : probes) {
        const QString path = dir + probe.file;
        QList<double> ours, stock, repeat;
        // Each method in its own run of calls, so neither pays for the other's cache misses.
        for (int i = 0; i < 16; ++i) {
            AudioMediaPlayer player;
            QElapsedTimer clock;
            clock.start();
            player.setFileName(path);
            volatile double d = player.duration();
            (void)d;
            player.stop();
            if (i > 0) // the first call warms the code paths
                ours << double(clock.nsecsElapsed()) / 1e6;
        }
        // libmpg123's own probe is the reference for mp3 files only.
        for (int i = 0; i < 5 && path.endsWith(QLatin1String(".mp3")); ++i)
            stock << stockProbeMs(path.toLocal8Bit());
        AudioMediaPlayer cached;
        cached.setFileName(path);
        cached.stop();
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer clock;
            clock.start();
            cached.setFileName(path);
            volatile double d = cached.duration();
            (void)d;
            cached.stop();
            repeat << double(clock.nsecsElapsed()) / 1e3;
        }
        const QByteArray target = probe.targetMs > 0 ? QByteArray::number(probe.targetMs) + " ms" : "-";
        const QByteArray stockText = stock.isEmpty() ? "-" : QByteArray::number(median(stock), 'f', 2);
        std::printf("| %-30s | %10.2f | %12s | %12.1f | %8s |\n", probe.label, median(ours), stockText.constData(),
                    median(repeat), target.constData());
    }
    std::printf("(target for a repeated probe of an unchanged file: <= 50 us)\n");

    // Latency: put to the first sample processed by the sink.
    QList<double> latency;
    bool silent = false;
    for (int i = 0; i < 7; ++i) {
        AudioMediaPlayer player;
        QElapsedTimer clock;
        clock.start();
        player.setFileName(dir + "ten_sec.mp3");
        while (player.position() <= 0 && clock.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QThread::usleep(200);
        }
        latency << double(clock.nsecsElapsed()) / 1e6;
        silent = silent || player.usesSilentClock();
        player.stop();
        pump(100);
    }
    std::printf("\nLatency, put to first sample processed (median of 7): %.1f ms (target <= 60 ms)%s\n",
                median(latency), silent ? "  [no sound device: silent clock]" : "");

    // CPU per second of audio while playing.
    const QString cpuFile = dir + "ten_min_cbr_tag.mp3";
    constexpr int kPlaySeconds = 8;
    const double oursCpu = kelvoCpuPerSecond(cpuFile, kPlaySeconds);
    const double theirsCpu = referenceCpuPerSecond("mpg123", {"-q", "-o", "pulse", cpuFile}, kPlaySeconds);
    std::printf("\nCPU while playing 320 kbps stereo (%d s)\n", kPlaySeconds);
    std::printf("| %-24s | %14s |\n", "player", "ms CPU per s");
    std::printf("|%s|%s|\n", QByteArray(26, '-').constData(), QByteArray(16, '-').constData());
    std::printf("| %-24s | %14.2f |\n", "Kelvo", oursCpu * 1000);
    std::printf("| %-24s | %14.2f |\n", "mpg123 -o pulse", theirsCpu * 1000);
    if (theirsCpu > 0)
        std::printf("| %-24s | %13.2fx |\n", "ratio (target <= 1.1x)", oursCpu / theirsCpu);

    std::printf("\nEnd lag: first sample heard to position() == duration(), minus the duration (target <= 20 ms)\n");
    std::printf("| %-34s | %10s |\n", "file", "lag ms");
    std::printf("|%s|%s|\n", QByteArray(36, '-').constData(), QByteArray(12, '-').constData());
    double worstLag = -1e9;
    for (const char *name : {"awkward_tag.mp3", "awkward_notag.mp3", "awkward_mono22.mp3", "stereo48.mp3",
                             "cbr_notag.mp3", "truncated.mp3", "joined.mp3"}) {
        const double lag = endLagSeconds(fixture(name));
        worstLag = std::max(worstLag, lag);
        std::printf("| %-34s | %10.1f |\n", name, lag * 1000);
    }
    std::printf("| %-34s | %10.1f |\n", "worst", worstLag * 1000);

    std::printf("\nStall tolerance: the UI thread blocked once mid-track; longest silence inside the tone\n");
    std::printf("| %-10s | %10s |\n", "stall ms", "gap ms");
    std::printf("|%s|%s|\n", QByteArray(12, '-').constData(), QByteArray(12, '-').constData());
    int longestClean = 0;
    bool allClean = true;
    for (int stallMs : {500, 1000, 1500, 2500, 4000}) {
        const double gap = gapDuringStallMs(stallMs);
        allClean = allClean && gap >= 0 && gap < 1;
        if (allClean)
            longestClean = stallMs;
        std::printf("| %10d | %10.1f |\n", stallMs, gap);
    }
    std::printf("Longest stall with no gap: %d ms (target >= 1500 ms)\n", longestClean);

    // CPU per format, beside paplay (libsndfile straight to the same sink).
    std::printf("\nCPU while playing other formats (%d s), beside paplay\n", kPlaySeconds);
    std::printf("| %-14s | %12s | %12s |\n", "file", "Kelvo ms/s", "paplay ms/s");
    std::printf("|%s|%s|%s|\n", QByteArray(16, '-').constData(), QByteArray(14, '-').constData(),
                QByteArray(14, '-').constData());
    for (const char *name : {"ten_min.wav", "ten_min.flac", "ten_min.ogg"}) {
        const double kelvo = kelvoCpuPerSecond(dir + name, kPlaySeconds);
        const double paplay = referenceCpuPerSecond("paplay", {dir + name}, kPlaySeconds);
        std::printf("| %-14s | %12.2f | %12.2f |\n", name, kelvo * 1000, paplay * 1000);
    }

    const long shortPeak = childPeakKiB(dir + "ten_sec.mp3", 3);
    const long longPeak = childPeakKiB(dir + "three_hours_mono.mp3", 3);
    std::printf("\nPeak memory while playing (3 s each)\n");
    std::printf("| %-24s | %10s |\n", "file", "peak MiB");
    std::printf("|%s|%s|\n", QByteArray(26, '-').constData(), QByteArray(12, '-').constData());
    std::printf("| %-24s | %10.1f |\n", "10 s", double(shortPeak) / 1024.0);
    std::printf("| %-24s | %10.1f |\n", "3 h", double(longPeak) / 1024.0);
    std::printf("| %-24s | %10.1f |\n", "difference (target <= 5)", double(longPeak - shortPeak) / 1024.0);
    return 0;
}
