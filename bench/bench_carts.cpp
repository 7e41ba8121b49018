// Cart settings: what a waveform costs against a plain decode of the same file by ffmpeg, and
// what a loop's seam sounds like at the sink over a hundred passes. Prints tables.
#include "audiotestsupport.h"
#include "benchclock.h"
#include "engine/audiomediaplayer.h"
#include "waveform/peaksummary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include <sys/resource.h>

namespace {

double ffmpegDecodeCpu(const QString &file)
{
    const double before = childrenCpuSeconds();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("quiet"), QStringLiteral("-threads"),
                  QStringLiteral("1"), QStringLiteral("-i"), file, QStringLiteral("-f"), QStringLiteral("null"),
                  QStringLiteral("-")});
    ffmpeg.waitForFinished(600000);
    return childrenCpuSeconds() - before;
}

void peaksTable(const QString &dir)
{
    std::printf("\nWaveform: CPU seconds to summarise a 60-minute file, against ffmpeg's plain decode of it\n"
                "(one thread each; 3 runs, alternating; every run listed first to last)\n");
    std::printf("| %-16s | %10s | %10s | %6s | %-24s | %-24s |\n", "file", "Kelvo s", "ffmpeg s", "ratio", "Kelvo runs",
                "ffmpeg runs");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", QByteArray(18, '-').constData(), QByteArray(12, '-').constData(),
                QByteArray(12, '-').constData(), QByteArray(8, '-').constData(), QByteArray(26, '-').constData(),
                QByteArray(26, '-').constData());
    for (const char *name : {"sixty_min.flac", "sixty_min.mp3"}) {
        const QString file = dir + QLatin1String(name);
        if (!QFileInfo::exists(file)) {
            std::printf("| %-16s | missing: run scripts/make-bench-fixtures.sh\n", name);
            continue;
        }
        QList<double> ours, theirs;
        for (int run = 0; run < 3; ++run) {
            const double before = threadCpuSeconds();
            const std::optional<PeakSummary> summary = PeakSummaries::summarise(file);
            ours << threadCpuSeconds() - before;
            if (!summary)
                std::printf("(%s could not be summarised)\n", name);
            theirs << ffmpegDecodeCpu(file);
        }
        std::printf("| %-16s | %10.2f | %10.2f | %5.2fx | %-24s | %-24s |\n", name, median(ours), median(theirs),
                    median(ours) / std::max(median(theirs), 1e-9), qPrintable(listOf(ours, 2)),
                    qPrintable(listOf(theirs, 2)));
    }
    std::printf("(target: at most 1.2x)\n");
}

void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A loop of 4400 frames (44 periods of a 441 Hz tone) from 1 s into the file, played 100 times
// over and recorded at the sink: each pass compared sample by sample with the file's own.
void loopTable(const QString &fixtures)
{
    const QString file = fixtures + QStringLiteral("loop441.wav");
    constexpr qint64 kIn = 44100;
    constexpr qint64 kLoop = 4400;
    constexpr int kPasses = 100;
    std::printf("\nLoop seam: %d passes of %lld frames at the sink\n", kPasses, kLoop);
    if (!audioServerAvailable() || !QFileInfo::exists(file)) {
        std::printf("(no sound server with a test_null sink, or no fixtures)\n");
        return;
    }
    const QList<qint16> whole = decodedLeft(file);
    const QList<qint16> pass = whole.mid(kIn, kLoop);
    AudioMediaPlayer player;
    CartPlayback playback;
    playback.in = double(kIn) / 44100;
    playback.out = double(kIn + kLoop) / 44100;
    playback.loop = true;
    player.prepare({{file, QStringLiteral("Loop"), playback}});
    pump(500);
    SinkRecorder recorder;
    if (!recorder.start()) {
        std::printf("(the sink could not be recorded)\n");
        return;
    }
    player.setNextPlayback(playback);
    player.setFileName(file);
    pump(int(kPasses * kLoop * 1000 / 44100) + 600);
    player.stop();
    const QList<qint16> heard = recorder.stop();
    // Where the first pass begins: its first 100 samples, found in the recording.
    qsizetype start = -1;
    for (qsizetype i = 0; i + 100 < heard.size() && start < 0; ++i) {
        if (heard.mid(i, 100) == pass.mid(0, 100))
            start = i;
    }
    if (start < 0) {
        std::printf("(the loop was not found in the recording)\n");
        return;
    }
    int exact = 0;
    int shifted = 0;
    int seamStep = 0;
    qsizetype at = start;
    for (int n = 0; n < kPasses && at + kLoop < heard.size(); ++n) {
        if (heard.mid(at, kLoop) == pass) {
            ++exact;
        } else {
            ++shifted;
        }
        if (n > 0)
            seamStep = std::max(seamStep, std::abs(int(heard[at]) - int(heard[at - 1])));
        at += kLoop;
    }
    std::printf("| %-40s | %10s |\n", "what", "value");
    std::printf("|%s|%s|\n", QByteArray(42, '-').constData(), QByteArray(12, '-').constData());
    std::printf("| %-40s | %10d |\n", "passes heard bit for bit", exact);
    std::printf("| %-40s | %10d |\n", "passes with a frame missing or repeated", shifted);
    std::printf("| %-40s | %10d |\n", "largest step at a seam", seamStep);
    std::printf("| %-40s | %10d |\n", "largest step within the tone", largestStep(pass));
    std::printf("(target: every pass bit for bit, none shifted; no step at a seam larger than within the tone)\n");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_carts BENCH_FIXTURES_DIR [--peaks | --loop]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    if (only.isEmpty() || only == "--peaks")
        peaksTable(dir);
    if (only.isEmpty() || only == "--loop")
        loopTable(QStringLiteral(KELVO_FIXTURES_DIR "/"));
    return 0;
}
