#include "audiotestsupport.h"
#include "decoding/opendecoder.h"
#include "decoding/trimmeddecoder.h"
#include "engine/audiomediaplayer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

// A cart's settings as the engine plays them: the part of the file between its in and out
// points, sample-exact and looped without a seam, its level, its fade-in. The decoder's rows
// compare samples; the player's record what the private server's null sink heard.
class TestCartPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void partIsDecodedExactly_data();
    void partIsDecodedExactly();
    void fadeInRisesFromSilence();
    void trimmedCartIsHeardExactly_data();
    void trimmedCartIsHeardExactly();
    void loopHasNoSeam();
    void levelIsApplied_data();
    void levelIsApplied();
};

namespace {

constexpr int kRate = 44100;

// Every left-channel sample the decoder yields, up to limit.
QList<qint16> readLeft(AudioDecoder &decoder, qint64 limit)
{
    QList<qint16> left;
    std::vector<qint16> block(size_t(4096 * decoder.channels()));
    while (left.size() < limit) {
        const qint64 bytes = decoder.read(reinterpret_cast<char *>(block.data()), qint64(block.size()) * 2);
        if (bytes <= 0)
            break;
        for (qint64 i = 0; i < bytes / 2; i += decoder.channels())
            left.append(block[size_t(i)]);
    }
    return left.mid(0, limit);
}

// The peak of the recording's samples around at seconds after the sound began.
int levelAt(const QList<qint16> &samples, qsizetype first, double at)
{
    int peak = 0;
    const qsizetype centre = first + qsizetype(at * kRate);
    for (qsizetype i = centre - 300; i < centre + 300; ++i)
        peak = std::max(peak, std::abs(int(samples.value(i))));
    return peak;
}

} // namespace

void TestCartPlayback::initTestCase()
{
    QVERIFY2(QFileInfo::exists(fixture("three_tones.wav")), "run make_fixtures first");
}

void TestCartPlayback::partIsDecodedExactly_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<qint64>("in");
    QTest::addColumn<qint64>("out");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<qint64>("expected"); // frames in one pass; 0: refused
    // MPEG audio decoded from a seek rebuilds the decoder's overlap from earlier frames, which
    // may round a sample the other way: in the right place, within one step of the whole decode.
    QTest::addColumn<int>("tolerance");
    // In and out where the decoders must seek exactly, not to a block or a frame boundary.
    QTest::newRow("WAV") << fixture("three_tones.wav") << 88200LL << 176400LL << false << 88200LL << 0;
    QTest::newRow("FLAC") << fixture("three_tones.flac") << 88211LL << 176399LL << false << 88188LL << 0;
    QTest::newRow("mp3") << fixture("three_tones.mp3") << 88203LL << 176417LL << false << 88214LL << 1;
    QTest::newRow("Ogg Vorbis") << fixture("vorbis.ogg") << 10007LL << 50021LL << false << 40014LL << 0;
    QTest::newRow("in only") << fixture("three_tones.wav") << 220000LL << -1LL << false << 44600LL << 0;
    QTest::newRow("out past the end") << fixture("three_tones.wav") << 250000LL << 900000LL << false << 14600LL << 0;
    QTest::newRow("looped three times") << fixture("three_tones.flac") << 1000LL << 5410LL << true << 4410LL << 0;
    QTest::newRow("looped to the file's end") << fixture("three_tones.mp3") << 260000LL << -1LL << true << 4600LL << 1;
    QTest::newRow("in at out refused") << fixture("three_tones.wav") << 5000LL << 5000LL << false << 0LL << 0;
    QTest::newRow("in past the end refused") << fixture("three_tones.wav") << 300000LL << -1LL << false << 0LL << 0;
}

void TestCartPlayback::partIsDecodedExactly()
{
    QFETCH(QString, file);
    QFETCH(qint64, in);
    QFETCH(qint64, out);
    QFETCH(bool, loop);
    QFETCH(qint64, expected);
    QFETCH(int, tolerance);
    const auto same = [tolerance](const QList<qint16> &a, const QList<qint16> &b) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (std::abs(int(a[i]) - int(b[i])) > tolerance)
                return false;
        }
        return true;
    };
    const QList<qint16> whole = decodedLeft(file);
    std::unique_ptr<AudioDecoder> decoder = openDecoder(file);
    QVERIFY(decoder && decoder->exactLength());
    std::unique_ptr<AudioDecoder> part = TrimmedDecoder::wrap(std::move(decoder), TrimFrames{in, out, loop, 0});
    if (expected == 0) {
        // Refused when made, or yields nothing: never a pass of no length looped for ever.
        QVERIFY(!part || readLeft(*part, 10).isEmpty());
        return;
    }
    QVERIFY(part);
    const QList<qint16> heard = readLeft(*part, expected * 3 + 1);
    const QList<qint16> once = whole.mid(in, expected);
    QCOMPARE(once.size(), expected);
    if (!loop) {
        QCOMPARE(heard.size(), expected);
        QVERIFY(same(heard, once));
        return;
    }
    // Pass after pass, each the very same frames: nothing missing or repeated at the seam.
    QCOMPARE(heard.size(), expected * 3 + 1);
    for (int pass = 0; pass < 3; ++pass)
        QVERIFY2(same(heard.mid(pass * expected, expected), once), qPrintable(QStringLiteral("pass %1").arg(pass + 1)));
    QVERIFY(std::abs(int(heard.last()) - int(once.first())) <= tolerance);
}

void TestCartPlayback::fadeInRisesFromSilence()
{
    const QString file = fixture("loop441.wav");
    const QList<qint16> whole = decodedLeft(file);
    const qint64 fade = 4410;
    std::unique_ptr<AudioDecoder> part = TrimmedDecoder::wrap(openDecoder(file), TrimFrames{100, 20000, true, fade});
    QVERIFY(part);
    const QList<qint16> heard = readLeft(*part, 40000);
    QCOMPARE(heard.size(), 40000);
    // Silent at first, rising through each period, whole from the fade's end on; the second pass
    // (a loop fades in once) is the file as it is.
    QCOMPARE(heard.first(), qint16(0));
    const auto peakOf = [&heard](qint64 from) {
        int peak = 0;
        for (qint64 i = from; i < from + 100; ++i)
            peak = std::max(peak, std::abs(int(heard[i])));
        return peak;
    };
    QVERIFY(peakOf(0) < 16384 / 50);
    QVERIFY(peakOf(fade / 2 - 50) > 16384 * 4 / 10 && peakOf(fade / 2 - 50) < 16384 * 6 / 10);
    for (qint64 from = 0; from + 200 <= fade; from += 100)
        QVERIFY(peakOf(from + 100) >= peakOf(from));
    QVERIFY(heard.mid(fade, 19900 - fade) == whole.mid(100 + fade, 19900 - fade));
    QVERIFY(heard.mid(19900, 19900) == whole.mid(100, 19900));
}

void TestCartPlayback::trimmedCartIsHeardExactly_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("WAV") << fixture("three_tones.wav");
    QTest::newRow("mp3") << fixture("three_tones.mp3");
}

void TestCartPlayback::trimmedCartIsHeardExactly()
{
    REQUIRE_AUDIO();
    QFETCH(QString, file);
    AudioMediaPlayer player;
    CartPlayback playback;
    playback.in = 2.0;
    playback.out = 4.0;
    player.prepare({{file, QStringLiteral("Middle"), playback}});
    QTRY_VERIFY(player.isArmed(file));
    SinkRecorder recorder;
    QVERIFY(recorder.start());

    QElapsedTimer clock;
    clock.start();
    player.setNextPlayback(playback);
    player.setFileName(file);
    QCOMPARE(player.duration(), 2.0);
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), 2.0, 5000);
    QVERIFY2(clock.elapsed() >= 1995 && clock.elapsed() <= 2250, qPrintable(QString::number(clock.elapsed())));
    player.stop();
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY2(span.first >= 0, "nothing was heard");
    QVERIFY2(qAbs(span.seconds() - 2.0) <= 0.001, qPrintable(QStringLiteral("heard %1 s").arg(span.seconds())));
    QVERIFY(qAbs(toneFrequency(samples, span) - 800) < 800 * 0.01);

    // The settings were the one put's: the next put without them plays the whole file.
    player.setFileName(file);
    QVERIFY(qAbs(player.duration() - 6.0) < 0.03);
    player.stop();
}

void TestCartPlayback::loopHasNoSeam()
{
    REQUIRE_AUDIO();
    const QString file = fixture("loop441.wav");
    AudioMediaPlayer player;
    CartPlayback playback;
    playback.in = 1.0;
    playback.out = 3.0;
    playback.loop = true;
    player.prepare({{file, QStringLiteral("Bed"), playback}});
    QTRY_VERIFY(player.isArmed(file));
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    player.setNextPlayback(playback);
    player.setFileName(file);
    QCOMPARE(player.duration(), 2.0);
    // The countdown starts again with each pass, and after 7 s the cart still plays.
    QElapsedTimer clock;
    clock.start();
    int restarts = 0;
    double last = 0;
    while (clock.elapsed() < 7200) {
        const double now = player.position();
        QVERIFY(now < 2.0);
        restarts += now < last - 1.0 ? 1 : 0;
        last = now;
        QTest::qWait(50);
    }
    QCOMPARE(restarts, 3);
    player.stop();
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY2(span.seconds() > 7.0, qPrintable(QStringLiteral("heard %1 s").arg(span.seconds())));
    // No gap and no step the tone itself does not have: the seam is inaudible.
    QVERIFY2(longestQuietRun(samples, span) < 20, qPrintable(QString::number(longestQuietRun(samples, span))));
    const QList<qint16> played = samples.mid(span.first + 441, qsizetype(6.9 * kRate));
    const int ownStep = largestStep(decodedLeft(file));
    QVERIFY2(largestStep(played) <= ownStep + 2,
             qPrintable(
                 QStringLiteral("a step of %1 where the tone's largest is %2").arg(largestStep(played)).arg(ownStep)));
    QVERIFY(qAbs(toneFrequency(samples, span) - 441) < 441 * 0.005);
}

void TestCartPlayback::levelIsApplied_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("gainDb");
    QTest::addColumn<double>("fadeIn");
    QTest::newRow("-6 dB: half the amplitude") << fixture("loop441.wav") << -6.0206 << 0.0;
    QTest::newRow("+12 dB held at -1 dBTP") << fixture("peak3.wav") << 12.0 << 0.0;
    QTest::newRow("a one-second fade-in") << fixture("loop441.wav") << 0.0 << 1.0;
}

void TestCartPlayback::levelIsApplied()
{
    REQUIRE_AUDIO();
    QFETCH(QString, file);
    QFETCH(double, gainDb);
    QFETCH(double, fadeIn);
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit()); // measured afresh
    AudioMediaPlayer player;
    CartPlayback playback;
    playback.out = 1.5;
    playback.gainDb = gainDb;
    playback.fadeIn = fadeIn;
    player.prepare({{file, QStringLiteral("Level"), playback}});
    // Raised only once its true peak is known.
    QTRY_VERIFY(!player.loudnessText(file).isEmpty() && player.loudnessText(file) != QLatin1String("measuring"));
    QTRY_VERIFY(player.isArmed(file));
    const double held = player.heldGainDb(file, gainDb);
    QVERIFY(held <= gainDb + 1e-9);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    player.setNextPlayback(playback);
    player.setFileName(file);
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), 1.5, 5000);
    player.stop();
    const QList<qint16> samples = recorder.stop(true);
    QList<qint16> left;
    for (qsizetype i = 0; i < samples.size(); i += 2)
        left.append(samples[i]);
    const SoundSpan span = soundSpan(left, 30);
    QVERIFY2(span.first >= 0, "nothing was heard");
    const int own = levelAt(decodedLeft(file), 0, 1.2);
    if (fadeIn > 0) {
        // A raised cosine from silence: a tenth of the way in, half-way, then whole.
        QVERIFY(levelAt(left, span.first, 0.01) < own / 10);
        QVERIFY(qAbs(levelAt(left, span.first, 0.5) - own / 2) < own / 10);
        QVERIFY(qAbs(levelAt(left, span.first, 1.2) - own) <= own / 100 + 2);
    } else if (gainDb < 0) {
        QVERIFY2(qAbs(levelAt(left, span.first, 0.7) - own / 2.0) <= own * 0.02,
                 qPrintable(QStringLiteral("%1 of %2").arg(levelAt(left, span.first, 0.7)).arg(own)));
    } else {
        // Raised, and as far as -1 dBTP allows, as an independent meter reads it.
        QVERIFY2(held > 1.0 && held < 2.5, qPrintable(QString::number(held)));
        QTemporaryDir dir;
        QVERIFY(writeMonoWav(dir.filePath("heard.wav"), samples, kRate, 2));
        const double peak = ffmpegLoudness(dir.filePath("heard.wav")).peak;
        QVERIFY2(peak <= -0.95 && peak > -1.6, qPrintable(QStringLiteral("%1 dBTP").arg(peak)));
    }
}

QTEST_GUILESS_MAIN(TestCartPlayback)
#include "tst_cartplayback.moc"
