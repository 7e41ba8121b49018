#include "audiotestsupport.h"
#include "engine/audiomediaplayer.h"
#include "decoding/fileidentity.h"
#include "loudness/loudnesscache.h"
#include "loudness/loudnessmeter.h"
#include "decoding/mpg123decoder.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTest>

#include <csignal>

// The real media player: exact durations from libmpg123, bad files, the duration cache, and
// (against the private PulseAudio server) what is really heard through the null sink.
class TestAudioMediaPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void layersPlayTogether();
    void layerPlaysToItsExactEnd();
    void layerDucksSmoothly();
    void exactDuration_data();
    void exactDuration();
    void largeId3PictureIsSkipped();
    void badFiles_data();
    void badFiles();
    void fuzzInputsReplayed_data();
    void fuzzInputsReplayed();
    void fileNameIsTextLastPut();
    void changedFileIsProbedAgain_data();
    void changedFileIsProbedAgain();
    void playsTheTrackToItsExactEnd_data();
    void playsTheTrackToItsExactEnd();
    void playsBitExact_data();
    void playsBitExact();
    void wideSamplesPlayBitExact_data();
    void wideSamplesPlayBitExact();
    void putThenStopIsSilent();
    void stopSilencesAtOnce_data();
    void stopSilencesAtOnce();
    void silentClockWithoutDevice();
    void serverGoesAwayMidTrack();
    void serversComeAndGo();
    void fadeEndsWhateverTheServerDoes_data();
    void fadeEndsWhateverTheServerDoes();
    void nothingWakesAtRest();
    void fadeOutFallsToSilence_data();
    void fadeOutFallsToSilence();
    void loudnessIsMatched_data();
    void loudnessIsMatched();
    void poisonedLoudnessIsMeasuredAgain_data();
    void poisonedLoudnessIsMeasuredAgain();
    void shortCartsAreMeasuredFirst();
    void lookAheadOpensNoStream_data();
    void lookAheadOpensNoStream();
    void outputsAndPreListen_data();
    void outputsAndPreListen();
    void stallsOfTheUserInterfaceAreNotHeard();
    void quitIsClean_data();
    void quitIsClean();
};

namespace {

// Child mode: arm the file, play it (unless the way is "armed"), and after delayMs quit at once
// as "E&xit" does, stopping first when the way is "stop".
int playAndQuit(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[2]);
    const QByteArray way = argv[4];
    int code = 0;
    {
        AudioMediaPlayer player;
        player.prepare({{file, QStringLiteral("Cart")}, {fixture("cbr_tag.mp3"), QStringLiteral("Other")}});
        if (way != "armed")
            player.setFileName(file);
        QTimer::singleShot(atoi(argv[3]), &app, [&player, way] {
            if (way == "stop")
                player.stop();
            QCoreApplication::exit(0);
        });
        code = app.exec();
    }
    return code;
}

// Context switches of each of this process's threads but the main one, by thread id and name.
QMap<QString, qint64> threadSwitches()
{
    QMap<QString, qint64> switches;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (tid.toLongLong() == QCoreApplication::applicationPid())
            continue;
        const QString name = QString::fromUtf8(readBytes(tasks.filePath(tid + "/comm"))).trimmed();
        qint64 count = 0;
        for (const QByteArray &line : readBytes(tasks.filePath(tid + "/status")).split('\n')) {
            if (line.contains("ctxt_switches:"))
                count += line.split(':').last().trimmed().toLongLong();
        }
        switches.insert(tid + QLatin1Char(' ') + name, count);
    }
    return switches;
}

} // namespace

void TestAudioMediaPlayer::initTestCase()
{
    QVERIFY2(QFile::exists(fixture("cbr_tag.mp3")), "fixtures missing: run scripts/make-fixtures.sh");
}

void TestAudioMediaPlayer::exactDuration_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("nominal"); // the tone's length before encoding
    QTest::newRow("CBR with LAME tag") << fixture("cbr_tag.mp3") << 2.0;
    QTest::newRow("CBR without tag") << fixture("cbr_notag.mp3") << 2.0;
    QTest::newRow("VBR with tag") << fixture("vbr_tag.mp3") << 3.0;
    QTest::newRow("VBR without tag") << fixture("vbr_notag.mp3") << 3.0;
    QTest::newRow("MPEG-2 22.05 kHz mono") << fixture("mpeg2_mono.mp3") << 1.5;
    QTest::newRow("truncated") << fixture("truncated.mp3") << 1.0;
    QTest::newRow("2.345 s with LAME tag") << fixture("awkward_tag.mp3") << 2.345;
    QTest::newRow("2.345 s without tag") << fixture("awkward_notag.mp3") << 2.345;
    QTest::newRow("22.05 kHz mono 1.234 s") << fixture("awkward_mono22.mp3") << 1.234;
    QTest::newRow("48 kHz stereo 2.3457 s") << fixture("stereo48.mp3") << 2.3457;
    QTest::newRow("format changes after 2 s") << fixture("joined.mp3") << 2.0;
    // Other formats, through libsndfile.
    QTest::newRow("WAV 44.1 kHz stereo") << fixture("wav44_stereo.wav") << 1.5;
    QTest::newRow("WAV 48 kHz mono 24-bit") << fixture("wav48_mono24.wav") << 1.3;
    QTest::newRow("WAV 32-bit float") << fixture("wav_float.wav") << 1.0;
    QTest::newRow("FLAC 44.1 kHz stereo") << fixture("flac44_stereo.flac") << 1.7;
    QTest::newRow("FLAC 48 kHz mono") << fixture("flac48_mono.flac") << 1.2;
    QTest::newRow("FLAC written to a pipe") << fixture("flac_nototal.flac") << 1.7;
    QTest::newRow("Ogg Vorbis") << fixture("vorbis.ogg") << 1.6;
    QTest::newRow("Opus") << fixture("opus48.opus") << 1.4;
    QTest::newRow("truncated WAV") << fixture("truncated.wav") << 0.75;
    QTest::newRow("WAV at 1000 Hz") << fixture("rate1000.wav") << 1.5;
    QTest::newRow("WAV at 2047 Hz") << fixture("rate2047.wav") << 1.5;
    QTest::newRow("WAV at 2048 Hz") << fixture("rate2048.wav") << 1.5;
}

void TestAudioMediaPlayer::exactDuration()
{
    QFETCH(QString, file);
    QFETCH(double, nominal);
    int rate = 0;
    const qint64 frames = decodedFrames(file, &rate);
    QVERIFY(frames > 0);
    AudioMediaPlayer player;
    player.setFileName(file);
    // A length the header does not state is counted in the background, never on this thread.
    QCOMPARE(player.durationPending(), file.contains("nototal"));
    QTRY_VERIFY(!player.durationPending());
    QCOMPARE(player.duration(), double(frames) / rate); // exact, not fuzzy
    QVERIFY(qAbs(player.duration() - nominal) < 0.1);
    // A complete file decodes to the same count without the scan's help. (A truncated or joined
    // one holds other than its tag says; playback scans it, so what plays equals the duration.)
    if (!file.contains("truncated") && !file.contains("joined"))
        QCOMPARE(decodedFrames(file, nullptr, false), frames);
    player.stop();
}

void TestAudioMediaPlayer::largeId3PictureIsSkipped()
{
    // An ID3v2.3 tag holding a 1 MB picture, in front of a valid file.
    const QByteArray picture(1024 * 1024, '\x5A');
    QByteArray frame = "APIC";
    const quint32 frameSize = quint32(picture.size() + 14);
    for (int shift : {24, 16, 8, 0})
        frame += char((frameSize >> shift) & 0xFF);
    frame += QByteArray(2, '\0');
    frame += QByteArray("\0image/jpeg\0\x03\0", 14);
    frame += picture;
    QByteArray tag = "ID3\x03";
    tag += QByteArray(2, '\0');
    const quint32 tagSize = quint32(frame.size());
    for (int shift : {21, 14, 7, 0})
        tag += char((tagSize >> shift) & 0x7F); // syncsafe
    QTemporaryDir dir;
    const QString path = dir.filePath("picture.mp3");
    QVERIFY(writeBytes(path, tag + frame + readBytes(fixture("cbr_tag.mp3"))));

    AudioMediaPlayer player;
    player.setFileName(path);
    int rate = 0;
    const qint64 frames = decodedFrames(fixture("cbr_tag.mp3"), &rate);
    QCOMPARE(player.duration(), double(frames) / rate);
}

void TestAudioMediaPlayer::badFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("empty path") << QString();
    QTest::newRow("missing file") << fixture("no_such_file.mp3");
    QTest::newRow("a folder") << QStringLiteral(KELVO_FIXTURES_DIR);
    QTest::newRow("zero bytes") << fixture("empty.mp3");
    QTest::newRow("text renamed .mp3") << fixture("not_audio.mp3");
    QTest::newRow("Windows default path") << QStringLiteral("c:\\mp3_music\\track4.mp3");
#ifdef Q_OS_UNIX
    QTest::newRow("a device") << QStringLiteral("/dev/zero");
#endif
    QTest::newRow("six channels (refused)") << fixture("six_channels.wav");
    QTest::newRow("1 Hz WAV (refused)") << fixture("rate1.wav");
    QTest::newRow("49 Hz WAV (refused)") << fixture("rate49.wav");
}

void TestAudioMediaPlayer::badFiles()
{
    QFETCH(QString, file);
    AudioMediaPlayer player;
    player.setFileName(file);
    QCOMPARE(player.fileName(), file);
    QCOMPARE(player.duration(), 0.0);
    QCOMPARE(player.position(), 0.0);
    QTest::qWait(50); // let the deferred start run
    QCOMPARE(player.position(), 0.0);
    QCOMPARE(player.duration() - player.position(), 0.0); // the player's next tick returns to rest
}

void TestAudioMediaPlayer::fuzzInputsReplayed_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : fuzzInputs("media"))
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void TestAudioMediaPlayer::fuzzInputsReplayed()
{
    QFETCH(QString, file);
    AudioMediaPlayer player;
    player.setFileName(file);
    QVERIFY(std::isfinite(player.duration()) && player.duration() >= 0);
    player.stop();
    QVERIFY(decodedFrames(file) >= -1); // decoding to the end returns
}

void TestAudioMediaPlayer::fileNameIsTextLastPut()
{
    AudioMediaPlayer player;
    const QString odd = QStringLiteral("  ./relative/../Name With Spaces.MP3 ");
    player.setFileName(odd);
    QCOMPARE(player.fileName(), odd);
    player.setFileName(fixture("cbr_tag.mp3"));
    player.stop();
    QCOMPARE(player.fileName(), fixture("cbr_tag.mp3")); // stop keeps the name
}

void TestAudioMediaPlayer::changedFileIsProbedAgain_data()
{
    QTest::addColumn<bool>("sameSizeAndTime");
    QTest::newRow("newer modification time") << false;
    // A copying tool that keeps times, over a file of the same size.
    QTest::newRow("same size, modification time put back") << true;
}

void TestAudioMediaPlayer::changedFileIsProbedAgain()
{
    QFETCH(bool, sameSizeAndTime);
    QTemporaryDir dir;
    const QString path = dir.filePath("changing.mp3");
    QVERIFY(QFile::copy(fixture("short880.mp3"), path));
    const QFileInfo before(path);
    AudioMediaPlayer player;
    player.setFileName(path);
    const double first = player.duration();
    player.setFileName(path);
    QCOMPARE(player.duration(), first);

    QByteArray replacement = readBytes(fixture("vbr_tag.mp3"));
    QVERIFY(replacement.size() > before.size());
    if (sameSizeAndTime)
        replacement.truncate(before.size());
    QVERIFY(QFile::remove(path));
    QVERIFY(writeBytes(path, replacement));
    QFile touched(path);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    const QDateTime stamp = sameSizeAndTime ? before.lastModified() : QDateTime::currentDateTime().addSecs(10);
    QVERIFY(touched.setFileTime(stamp, QFileDevice::FileModificationTime));
    touched.close();
    QCOMPARE(QFileInfo(path).size() == before.size(), sameSizeAndTime);
    player.setFileName(path);
    int rate = 0;
    QCOMPARE(player.duration(), double(decodedFrames(path, &rate)) / rate);
    QVERIFY(player.duration() != first);
    player.stop();
}

void TestAudioMediaPlayer::playsTheTrackToItsExactEnd_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("silentTail"); // seconds at the end that decode as silence, or not at all
    QTest::newRow("CBR 440 Hz") << fixture("cbr_tag.mp3") << 440.0 << 0.0;
    QTest::newRow("short 880 Hz") << fixture("short880.mp3") << 880.0 << 0.0;
    QTest::newRow("MPEG-2 mono 330 Hz") << fixture("mpeg2_mono.mp3") << 330.0 << 0.0;
    // Lengths that are no whole number of microseconds: the end must still be recognised.
    // Without a LAME tag the encoder's padding cannot be trimmed and plays as silence.
    QTest::newRow("2.345 s tagged 523 Hz") << fixture("awkward_tag.mp3") << 523.0 << 0.0;
    QTest::newRow("2.345 s untagged 523 Hz") << fixture("awkward_notag.mp3") << 523.0 << 0.05;
    QTest::newRow("22.05 kHz mono 392 Hz") << fixture("awkward_mono22.mp3") << 392.0 << 0.0;
    QTest::newRow("48 kHz stereo 587 Hz") << fixture("stereo48.mp3") << 587.0 << 0.0;
    QTest::newRow("untagged CBR 440 Hz") << fixture("cbr_notag.mp3") << 440.0 << 0.05;
    QTest::newRow("format change ends it") << fixture("joined.mp3") << 440.0 << 0.0;
    QTest::newRow("truncated 440 Hz") << fixture("truncated.mp3") << 440.0 << 0.05;
    QTest::newRow("WAV 700 Hz") << fixture("wav44_stereo.wav") << 700.0 << 0.0;
    QTest::newRow("WAV 48 kHz mono 24-bit 600 Hz") << fixture("wav48_mono24.wav") << 600.0 << 0.0;
    QTest::newRow("WAV float 750 Hz") << fixture("wav_float.wav") << 750.0 << 0.0;
    QTest::newRow("FLAC 500 Hz") << fixture("flac44_stereo.flac") << 500.0 << 0.0;
    QTest::newRow("FLAC without total 500 Hz") << fixture("flac_nototal.flac") << 500.0 << 0.0;
    QTest::newRow("Ogg Vorbis 620 Hz") << fixture("vorbis.ogg") << 620.0 << 0.03;
    QTest::newRow("Opus 680 Hz") << fixture("opus48.opus") << 680.0 << 0.03;
    QTest::newRow("truncated WAV 700 Hz") << fixture("truncated.wav") << 700.0 << 0.0;
    // Rates around the decode chunk: the decode-ahead ring always holds two chunks.
    QTest::newRow("1000 Hz WAV 200 Hz") << fixture("rate1000.wav") << 200.0 << 0.0;
    QTest::newRow("2047 Hz WAV 300 Hz") << fixture("rate2047.wav") << 300.0 << 0.0;
    QTest::newRow("2048 Hz WAV 300 Hz") << fixture("rate2048.wav") << 300.0 << 0.0;
    // Decoding stops at the damage: it plays up to there, and the track ends as it goes silent.
    QTest::newRow("corrupted FLAC 500 Hz") << fixture("corrupted.flac") << 500.0 << 1.2;
}

void TestAudioMediaPlayer::playsTheTrackToItsExactEnd()
{
    REQUIRE_AUDIO();
#if defined(__SANITIZE_THREAD__)
    // Every format runs through the same threads: a few of them show how those threads meet.
    static const QStringList threadRows{"CBR 440 Hz", "WAV 48 kHz mono 24-bit 600 Hz", "FLAC without total 500 Hz",
                                        "Ogg Vorbis 620 Hz", "corrupted FLAC 500 Hz"};
    if (!threadRows.contains(QLatin1String(QTest::currentDataTag())))
        QSKIP("the other formats' threads are these: the plain and AddressSanitizer runs play them all");
#endif
    QFETCH(QString, file);
    QFETCH(double, frequency);
    QFETCH(double, silentTail);
    SinkRecorder recorder;
    QVERIFY(recorder.start());

    AudioMediaPlayer player;
    QElapsedTimer clock;
    clock.start();
    player.setFileName(file);
    QTRY_VERIFY(!player.durationPending()); // counted in the background while it plays
    const double duration = player.duration();
    double last = 0;
    while (player.position() != duration && clock.elapsed() < 10000) {
        const double now = player.position();
        QVERIFY2(now >= last, "position ran backwards");
        QVERIFY(now <= duration);
        last = now;
        QTest::qWait(10);
    }
    QCOMPARE(player.position(), duration);
    QVERIFY(!player.usesSilentClock());
    // Not before the whole track could have been heard, and within one of the player's 250 ms
    // ticks of its last sample (the time from put to first sound included).
    QVERIFY2(clock.elapsed() >= qint64((duration - silentTail) * 1000) - 5,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() <= qint64(duration * 1000) + 250,
             qPrintable(QStringLiteral("ended %1 ms after a %2 s track was put").arg(clock.elapsed()).arg(duration)));
    player.stop();

    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY2(span.first >= 0, "nothing was heard");
    QVERIFY2(span.seconds() < duration + 0.02 && span.seconds() > duration - silentTail - 0.02,
             qPrintable(QStringLiteral("heard %1 s of %2 s").arg(span.seconds()).arg(duration)));
    QVERIFY(qAbs(toneFrequency(samples, span) - frequency) < frequency * 0.02);
}

void TestAudioMediaPlayer::playsBitExact_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("armed"); // got ready ahead (the list loaded), or put cold
    QTest::newRow("mp3, armed") << fixture("cbr_tag.mp3") << true;
    QTest::newRow("mp3, put cold") << fixture("cbr_tag.mp3") << false;
    QTest::newRow("WAV, armed") << fixture("wav44_stereo.wav") << true;
    QTest::newRow("FLAC, armed") << fixture("flac44_stereo.flac") << true;
    QTest::newRow("FLAC without total, put cold") << fixture("flac_nototal.flac") << false;
}

void TestAudioMediaPlayer::playsBitExact()
{
    REQUIRE_AUDIO();
    QFETCH(QString, file);
    QFETCH(bool, armed);
    AudioMediaPlayer player;
    if (armed) {
        player.prepare({{file, QStringLiteral("Cart")}});
        QTRY_VERIFY(player.isArmed(file));
    }
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    player.setFileName(file);
    QCOMPARE(player.isArmed(file), false); // taken to play
    if (armed) {
        // The desktop's mixer names who plays what.
        QTRY_VERIFY(player.position() > 0.1);
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
        QVERIFY(pactl.waitForFinished(5000));
        const QByteArray inputs = pactl.readAllStandardOutput();
        for (const char *property : {"application.name = \"Kelvo\"", "application.icon_name = \"org.kelvo.Kelvo\"",
                                     "media.role = \"music\"", "media.name = \"Cart\""})
            QVERIFY2(inputs.contains(property), property);
    }
    QTRY_VERIFY(!player.durationPending());
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 8000);
    player.stop();

    // The sink runs at the file's own format, so what it heard is the decoded audio itself.
    const QList<qint16> heard = recorder.stop();
    const QList<qint16> decoded = decodedLeft(file);
    const auto firstSound = [](const QList<qint16> &samples) {
        return std::find_if(samples.begin(), samples.end(), [](qint16 v) { return v != 0; }) - samples.begin();
    };
    const qsizetype h = firstSound(heard);
    const qsizetype d = firstSound(decoded);
    QVERIFY2(h < heard.size(), "nothing was heard");
    QVERIFY2(heard.size() - h >= decoded.size() - d, "the end was not heard");
    for (qsizetype i = 0; i < decoded.size() - d; ++i) {
        if (heard[h + i] != decoded[d + i])
            QFAIL(qPrintable(
                QStringLiteral("sample %1 heard as %2, decoded as %3").arg(i).arg(heard[h + i]).arg(decoded[d + i])));
    }
    QCOMPARE(player.isArmed(file), armed); // armed again for the next put
}

void TestAudioMediaPlayer::wideSamplesPlayBitExact_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("format"); // what goes to the server
    QTest::newRow("24-bit at -100 dBFS") << fixture("quiet24.wav") << QByteArray("float32le");
    QTest::newRow("32-bit float") << fixture("wav_float.wav") << QByteArray("float32le");
    QTest::newRow("16-bit stays 16-bit") << fixture("wav44_stereo.wav") << QByteArray("s16le");
}

void TestAudioMediaPlayer::wideSamplesPlayBitExact()
{
    // More than 16 bits reach a float sink as the file holds them: a quiet 24-bit passage is
    // heard, not rounded away to digital silence.
    REQUIRE_AUDIO();
    QFETCH(QString, file);
    QFETCH(QByteArray, format);
    NullSink sink(QStringLiteral("test_float"), QStringLiteral("float32le"));
    QVERIFY(sink.loaded());
    AudioMediaPlayer player;
    player.setOutputs(QStringLiteral("test_float"), {});
    QProcess recorder;
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("-d"), QStringLiteral("test_float.monitor"), QStringLiteral("--raw"),
                    QStringLiteral("--format=float32le"), QStringLiteral("--rate=44100"),
                    QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=20")});
    QVERIFY(recorder.waitForStarted());
    QTRY_VERIFY(recorder.bytesAvailable() >= 4410 * 8);
    recorder.readAllStandardOutput();
    player.setFileName(file);
    QTRY_VERIFY(player.position() > 0.1);
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")});
    QVERIFY(pactl.waitForFinished(5000));
    QVERIFY2(pactl.readAllStandardOutput().contains("\t" + format + " 2ch 44100Hz"), format); // what the stream sends
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 8000);
    player.stop();
    QTest::qWait(200);
    QByteArray raw = recorder.readAllStandardOutput();
    recorder.terminate();
    recorder.waitForFinished();
    raw += recorder.readAllStandardOutput();

    QList<float> heard(raw.size() / 4);
    std::memcpy(heard.data(), raw.constData(), size_t(heard.size()) * 4);
    const QList<float> decoded = decodedFloats(file);
    const auto firstSound = [](const QList<float> &samples) {
        return std::find_if(samples.begin(), samples.end(), [](float v) { return v != 0; }) - samples.begin();
    };
    const qsizetype h = firstSound(heard);
    const qsizetype d = firstSound(decoded);
    QVERIFY2(h < heard.size(), "nothing was heard: digital silence");
    QVERIFY2(heard.size() - h >= decoded.size() - d, "the end was not heard");
    QCOMPARE((h - d) % 2, 0); // the channels in their places
    for (qsizetype i = 0; i < decoded.size() - d; ++i) {
        if (heard[h + i] != decoded[d + i])
            QFAIL(qPrintable(QStringLiteral("sample %1 heard as %2, decoded as %3")
                                 .arg(i)
                                 .arg(double(heard[h + i]), 0, 'g', 9)
                                 .arg(double(decoded[d + i]), 0, 'g', 9)));
    }
}

void TestAudioMediaPlayer::putThenStopIsSilent()
{
    REQUIRE_AUDIO();
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    AudioMediaPlayer player;
    // First a real track, so the output is open and warm; then the hover's put and stop.
    player.setFileName(fixture("short880.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.2, 5000);
    player.stop();
    QTest::qWait(300);
    const QList<qint16> before = recorder.stop();
    QVERIFY(soundSpan(before).first >= 0);

    SinkRecorder second;
    QVERIFY(second.start());
    for (const char *name : {"cbr_tag.mp3", "vbr_tag.mp3", "short880.mp3", "wav44_stereo.wav", "flac44_stereo.flac",
                             "vorbis.ogg", "opus48.opus"}) {
        player.setFileName(fixture(name));
        QVERIFY(player.duration() > 0);
        player.stop();
    }
    QTest::qWait(500);
    QCOMPARE(soundSpan(second.stop()).first, qsizetype(-1));
}

void TestAudioMediaPlayer::layersPlayTogether()
{
    // A 550 Hz cart kept playing as a layer, then a 440 Hz one put beside it: the sink hears
    // both, each at its own level; the layer stopped, the put plays on alone.
    REQUIRE_AUDIO();
    QTemporaryDir folder;
    const QString bed = toneFile(folder, 550, 6, 16384), voice = toneFile(folder, 440, 2, 16384);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    AudioMediaPlayer player;
    player.setFileName(bed);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 5000);
    const int layer = player.keepPlaying();
    QVERIFY(layer > 0);
    QCOMPARE(player.position(), 0.0); // the player's own put is free again
    const double keptAt = player.layerPosition(layer);
    QVERIFY(keptAt >= 0.5);
    QCOMPARE(player.layerDuration(layer), 6.0);
    player.setFileName(voice);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 1.0, 5000);
    QVERIFY(player.layerPosition(layer) > keptAt + 0.9); // it went on counting
    const double stoppedAt = player.layerPosition(layer);
    player.stopLayer(layer);
    QCOMPARE(player.layerPosition(layer), 0.0);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() == player.duration(), 5000);
    player.stop();
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY(span.first >= 0);
    const auto at = [&](double seconds) { return span.first + qsizetype(seconds * 44100); };
    const qsizetype window = 44100 / 5;
    const auto heard = [&](double from, double frequency) { return amplitudeAt(samples, at(from), window, frequency); };
    // vol 0.5: an amplitude of about 16384 each, alone or together.
    const double alone550 = heard(0.1, 550), alone440 = heard(0.1, 440);
    QVERIFY2(alone550 > 12000 && alone440 < 1500, qPrintable(QStringLiteral("%1 %2").arg(alone550).arg(alone440)));
    const double both550 = heard(keptAt + 0.4, 550), both440 = heard(keptAt + 0.4, 440);
    QVERIFY2(both550 > 12000 && both440 > 12000, qPrintable(QStringLiteral("%1 %2").arg(both550).arg(both440)));
    QVERIFY2(std::abs(both550 - alone550) < 0.1 * alone550, "the layer's level changed when the put joined it");
    const double after550 = heard(stoppedAt + 0.2, 550), after440 = heard(stoppedAt + 0.2, 440);
    QVERIFY2(after550 < 1500 && after440 > 12000, qPrintable(QStringLiteral("%1 %2").arg(after550).arg(after440)));
}

void TestAudioMediaPlayer::layerDucksSmoothly()
{
    // A bed ducked by 12 dB under a voice-over: down within 200 ms of the ask, 12 +- 0.5 dB,
    // back up after, along a curve with no step.
    REQUIRE_AUDIO();
    QTemporaryDir folder;
    const QString bed = toneFile(folder, 550, 5, 16384);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    AudioMediaPlayer player;
    player.setFileName(bed);
    const int layer = player.keepPlaying();
    QVERIFY(layer > 0);
    QTRY_VERIFY_WITH_TIMEOUT(player.layerPosition(layer) > 1.0, 5000);
    const double downAt = player.layerPosition(layer);
    player.duckLayer(layer, -12, 0.15);
    QTRY_VERIFY_WITH_TIMEOUT(player.layerPosition(layer) > downAt + 1.0, 5000);
    const double upAt = player.layerPosition(layer);
    player.duckLayer(layer, 0, 0.5);
    QTRY_VERIFY_WITH_TIMEOUT(player.layerPosition(layer) > upAt + 1.2, 5000);
    player.stopLayer(layer);
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY(span.first >= 0);
    const qsizetype window = 4410; // 100 ms
    const auto level = [&](double at) { return amplitudeAt(samples, span.first + qsizetype(at * 44100), window, 550); };
    const double before = level(downAt - 0.3);
    const double ducked = level(downAt + 0.2);
    const double back = level(upAt + 0.8);
    const double dropDb = 20 * std::log10(before / ducked);
    QVERIFY2(std::abs(dropDb - 12) <= 0.5, qPrintable(QStringLiteral("down %1 dB").arg(dropDb)));
    QVERIFY2(std::abs(20 * std::log10(back / before)) <= 0.5,
             qPrintable(QStringLiteral("%1 %2").arg(back).arg(before)));
    // No step beyond the tone's own: the curve is sample-smooth, up and down.
    const int ownStep = int(std::ceil(16384 * 2 * M_PI * 550 / 44100.0));
    QVERIFY2(largestStep(samples) <= ownStep + ownStep / 10,
             qPrintable(
                 QStringLiteral("a step of %1 where the tone's largest is %2").arg(largestStep(samples)).arg(ownStep)));
}

void TestAudioMediaPlayer::layerPlaysToItsExactEnd()
{
    // A layer counts to its end as a put does: position equals duration exactly, once heard.
    REQUIRE_AUDIO();
    QTemporaryDir folder;
    const QString file = toneFile(folder, 880, 1, 16384);
    AudioMediaPlayer player;
    QCOMPARE(player.keepPlaying(), 0); // nothing plays: no layer
    player.setFileName(file);
    const int layer = player.keepPlaying(); // in the same pass as the put: it starts all the same
    QVERIFY(layer > 0);
    QCOMPARE(player.layerDuration(layer), 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(player.layerPosition(layer) == player.layerDuration(layer), 5000);
    player.stopLayer(layer);
    QCOMPARE(player.layerDuration(layer), 0.0);
}

void TestAudioMediaPlayer::stopSilencesAtOnce_data()
{
    QTest::addColumn<double>("after"); // seconds into the track; any point of the wave
    QTest::newRow("after 1 s") << 1.0;
    QTest::newRow("after 1.2345 s") << 1.2345;
    QTest::newRow("after 1.7111 s") << 1.7111;
}

void TestAudioMediaPlayer::stopSilencesAtOnce()
{
    REQUIRE_AUDIO();
    QFETCH(double, after);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    AudioMediaPlayer player;
    player.setFileName(fixture("vbr_tag.mp3")); // 3 s
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > after, 5000);
    const double heard = player.position();
    player.stop();
    QCOMPARE(player.position(), 0.0);
    QTest::qWait(500);
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    // What reaches the sink after stop is what the device had taken, one of its blocks (where
    // the ramp may start without a click) and the 5 ms ramp: at most 65 ms more; on PipeWire also
    // three of its processing cycles, which its reported position trails.
    const double most = soundServerIsPipeWire() ? 0.13 : 0.065;
    QVERIFY2(span.seconds() - heard < most,
             qPrintable(QStringLiteral("heard %1 s after position %2 s").arg(span.seconds()).arg(heard)));
    // It fades in a few milliseconds rather than cut mid-wave: no step the music does not make
    // (a cut mid-wave steps by up to the amplitude, ten times the tone's own largest step; a
    // resampling server overshoots that by a few per cent).
#if defined(__SANITIZE_THREAD__)
    // Under ThreadSanitizer every thread runs several times slower, so the sound can break up
    // anywhere in the recording: the other runs listen for clicks, this one for races.
    return;
#endif
    const int ownStep = largestStep(decodedLeft(fixture("vbr_tag.mp3")));
    QVERIFY2(
        largestStep(samples) <= ownStep + ownStep / 10,
        qPrintable(
            QStringLiteral("a step of %1 where the music's largest is %2").arg(largestStep(samples)).arg(ownStep)));
}

void TestAudioMediaPlayer::silentClockWithoutDevice()
{
    // The no-device run points PULSE_SERVER at no server: the silent clock must keep time.
    if (soundServerAnswers())
        QSKIP("a sound device is present; the no-device run covers this");
    AudioMediaPlayer player;
    player.setFileName(fixture("short880.mp3"));
    const double duration = player.duration();
    QVERIFY(duration > 0.9);
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.3, 3000);
    QVERIFY(player.usesSilentClock());
    QVERIFY(qAbs(player.position() - double(clock.elapsed()) / 1000.0) < 0.1); // real time
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), duration, 5000);
    QVERIFY(clock.elapsed() >= qint64(duration * 1000) - 5);
    player.stop();
    QCOMPARE(player.position(), 0.0);
}

void TestAudioMediaPlayer::serverGoesAwayMidTrack()
{
    // Run under a server of its own (scripts/with-private-pulse.sh), which this test kills.
    const qint64 pid = qEnvironmentVariableIntValue("KELVO_KILLABLE_PULSE_PID");
    if (pid <= 0)
        QSKIP("needs a killable sound server (KELVO_KILLABLE_PULSE_PID)");
    AudioMediaPlayer player;
    player.setFileName(fixture("cbr_tag.mp3")); // 2 s
    const double duration = player.duration();
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.4, 3000);
    QVERIFY(!player.usesSilentClock());
    QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-TERM"), QString::number(pid)});
    double last = player.position();
    QElapsedTimer clock;
    clock.start();
    while (player.position() != duration && clock.elapsed() < 6000) {
        QVERIFY2(player.position() >= last, "position ran backwards");
        last = player.position();
        QTest::qWait(20);
    }
    QCOMPARE(player.position(), duration);
    QVERIFY(player.usesSilentClock());
    player.stop();

    // Later tracks keep time on the silent clock too, without trying the dead server again.
    player.setFileName(fixture("short880.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.1, 3000);
    QVERIFY(player.usesSilentClock());
}

void TestAudioMediaPlayer::serversComeAndGo()
{
    // A server of this test's own at a socket of its own: none at first, then started, then
    // killed mid-track, then started again. Every put after a start is heard.
    if (!qEnvironmentVariableIsEmpty("KELVO_KILLABLE_PULSE_PID"))
        QSKIP("the killable-server run is for serverGoesAwayMidTrack");
    QTemporaryDir dir;
    PrivatePulse pulse(dir.path());
    const ScopedEnvironment server("PULSE_SERVER", pulse.server().toUtf8());
    AudioMediaPlayer player;
    player.prepare({{fixture("short880.mp3"), QStringLiteral("Cart")}});

    player.setFileName(fixture("short880.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.1, 3000);
    QVERIFY(player.usesSilentClock()); // no server yet
    player.stop();

    for (const char *round : {"started after Kelvo", "restarted after it died mid-track"}) {
        QVERIFY2(pulse.start(), round);
        SinkRecorder recorder;
        QVERIFY(recorder.start());
        player.setFileName(fixture("cbr_tag.mp3")); // 2 s
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 3000);
        QVERIFY2(!player.usesSilentClock(), round);
        const QList<qint16> samples = recorder.stop();
        QVERIFY2(soundSpan(samples).seconds() > 0.3, round);
        // The server dies mid-track: the countdown goes on to the exact end.
        pulse.stop();
        QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 5000);
        player.stop();
    }
}

void TestAudioMediaPlayer::fadeEndsWhateverTheServerDoes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("killed during the fade") << "kill";
    QTest::newRow("frozen during the fade") << "freeze";
}

void TestAudioMediaPlayer::fadeEndsWhateverTheServerDoes()
{
    // A fade ends on time, as a second click would, however the server fails meanwhile: the
    // cart must not go on "playing" to its full length with the other buttons locked.
    QFETCH(QString, fault);
    if (!qEnvironmentVariableIsEmpty("KELVO_KILLABLE_PULSE_PID"))
        QSKIP("the killable-server run is for serverGoesAwayMidTrack");
    QTemporaryDir dir;
    PrivatePulse pulse(dir.path());
    const ScopedEnvironment server("PULSE_SERVER", pulse.server().toUtf8());
    QVERIFY(pulse.start());
    const auto resume = qScopeGuard([&pulse] { ::kill(pid_t(pulse.pid()), SIGCONT); });
    AudioMediaPlayer player;
    player.setFileName(fixture("six_seconds.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 3000);
    QVERIFY(!player.usesSilentClock());
    QElapsedTimer clock;
    clock.start();
    player.fadeOut(1.0);
    QTest::qWait(300);
    if (fault == QLatin1String("kill"))
        pulse.stop();
    else
        ::kill(pid_t(pulse.pid()), SIGSTOP);
    QTRY_VERIFY_WITH_TIMEOUT(player.fadedOut(), 3000);
    QVERIFY2(clock.elapsed() >= 950 && clock.elapsed() <= 1700,
             qPrintable(QStringLiteral("faded out after %1 ms of a 1 s fade").arg(clock.elapsed())));
    QVERIFY(player.position() < player.duration());
    player.stop();
}

void TestAudioMediaPlayer::nothingWakesAtRest()
{
    REQUIRE_AUDIO();
#if defined(__SANITIZE_THREAD__)
    QSKIP("ThreadSanitizer runs a thread of its own that wakes on its own schedule");
#elif defined(__SANITIZE_ADDRESS__)
    QSKIP("a count of wake-ups, not a test of memory: the plain and PipeWire runs cover it");
#endif
    AudioMediaPlayer player;
    const QStringList files{fixture("short880.mp3"), fixture("flac44_stereo.flac"), fixture("wav44_stereo.wav")};
    QList<MediaCue> cues;
    for (const QString &file : files)
        cues.append({file, QFileInfo(file).baseName()});
    player.prepare(cues);
    for (const QString &file : files)
        QTRY_VERIFY(player.isArmed(file));
    // One cart played to its end and one stopped: what they leave behind must sleep too.
    player.setFileName(files[0]);
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 5000);
    player.stop();
    player.setFileName(files[1]);
    QTRY_VERIFY(player.position() > 0.2);
    player.stop();
    for (const QString &file : files)
        QTRY_VERIFY(player.isArmed(file));
    // Settled: a stopped stream plays out the silence written over its queue (up to a second),
    // and PipeWire suspends a sink 5 s after it idles, and tells each stream once.
    QTest::qWait(soundServerIsPipeWire() ? 6000 : 1500);

    const QMap<QString, qint64> before = threadSwitches();
    QThread::sleep(3);
    const QMap<QString, qint64> after = threadSwitches();
    QStringList woke;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (it.value() != before.value(it.key(), 0))
            woke << QStringLiteral("%1 (%2 times)").arg(it.key()).arg(it.value() - before.value(it.key(), 0));
    }
    QVERIFY2(woke.isEmpty(), qPrintable(QStringLiteral("woke at rest: ") + woke.join(QStringLiteral(", "))));
}

void TestAudioMediaPlayer::fadeOutFallsToSilence_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("half a second") << 0.5;
    QTest::newRow("two seconds") << 2.0;
}

void TestAudioMediaPlayer::fadeOutFallsToSilence()
{
    REQUIRE_AUDIO();
    QFETCH(double, seconds);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    AudioMediaPlayer player;
    player.setFileName(fixture("six_seconds.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 1.0, 5000);
    const double asked = player.position();
    player.fadeOut(seconds);
    QVERIFY(!player.fadedOut());
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > asked + seconds / 2, 5000); // the countdown goes on
    QTRY_VERIFY_WITH_TIMEOUT(player.fadedOut(), int(seconds * 1000) + 2000);
    player.stop();
    QVERIFY(!player.fadedOut());

    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY2(span.first >= 0, "nothing was heard");
    // Digital silence from the fade's length after it was asked for (what was heard then).
    qsizetype silentFrom = samples.size();
    while (silentFrom > 0 && samples[silentFrom - 1] == 0)
        --silentFrom;
    const double silentAt = double(silentFrom - span.first) / 44100;
    COMPARE_NEAR(silentAt, asked + seconds, 0.01);
    // A curve, not a cut: half-way it is part-way down, and it never steps.
    const auto level = [&samples](double at) {
        int peak = 0;
        for (qsizetype i = qsizetype(at * 44100) - 200; i < qsizetype(at * 44100) + 200; ++i)
            peak = std::max(peak, std::abs(int(samples.value(i))));
        return peak;
    };
    const double start = double(span.first) / 44100;
    const int full = level(start + asked - 0.1);
    const int half = level(start + asked + seconds / 2);
    QVERIFY2(half > full / 5 && half < full * 4 / 5,
             qPrintable(QStringLiteral("%1 of %2 half-way").arg(half).arg(full)));
    // Steps are looked for where the fade is, from just before it was asked for to the silence:
    // what the start of playback does under load is the bit-exact rows' business.
#if defined(__SANITIZE_THREAD__)
    return; // as in stopSilencesAtOnce: the other runs listen for clicks, this one for races
#endif
    const int ownStep = largestStep(decodedLeft(fixture("six_seconds.mp3")));
    const qsizetype fadeFirst = span.first + qsizetype((asked - 0.1) * 44100);
    qsizetype stepAt = fadeFirst + 1;
    int step = 0;
    for (qsizetype i = fadeFirst + 1; i < std::min(silentFrom + 441, samples.size()); ++i) {
        if (std::abs(int(samples[i]) - int(samples[i - 1])) > step) {
            step = std::abs(int(samples[i]) - int(samples[i - 1]));
            stepAt = i;
        }
    }
    QVERIFY2(step <= ownStep + ownStep / 10,
             qPrintable(QStringLiteral("a step of %1 (%2 to %3), %4 s after the fade was asked for, where the "
                                       "music's largest is %5")
                            .arg(step)
                            .arg(samples[stepAt - 1])
                            .arg(samples[stepAt])
                            .arg(double(stepAt - span.first) / 44100 - asked)
                            .arg(ownStep)));
}

void TestAudioMediaPlayer::loudnessIsMatched_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("measurable");
    QTest::newRow("pink noise, about -12 LUFS") << fixture("pink12.wav") << true;
    QTest::newRow("pink noise, -24 LUFS") << fixture("pink24.wav") << true;
    QTest::newRow("pink noise, -36 LUFS") << fixture("pink36.wav") << true;
    QTest::newRow("stereo pink noise, -21 LUFS") << fixture("pink24_stereo.wav") << true;
    QTest::newRow("a click holds it below the target") << fixture("peaky.wav") << true;
    QTest::newRow("digital silence") << fixture("silence.wav") << false;
    QTest::newRow("shorter than a gating block") << fixture("too_short.wav") << false;
    QTest::newRow("not audio") << fixture("not_audio.mp3") << false;
}

void TestAudioMediaPlayer::loudnessIsMatched()
{
#if defined(__SANITIZE_THREAD__)
    // One measured cart and one that cannot be: the measuring thread meets the window the same
    // way for every loudness.
    if (QByteArray(QTest::currentDataTag()) != "pink noise, -24 LUFS"
        && QByteArray(QTest::currentDataTag()) != "not audio")
        QSKIP("the same threads as the -24 LUFS row: the other runs measure every loudness");
#endif
    QFETCH(QString, file);
    QFETCH(bool, measurable);
    const std::optional<Loudness> measured = measureLoudness(file);
    QCOMPARE(measured.has_value(), measurable);
    AudioMediaPlayer player;
    player.setLoudnessTarget(-23.0);
    player.prepare({{file, QStringLiteral("Cart")}});
    QTRY_VERIFY(!player.loudnessText(file).isEmpty() && player.loudnessText(file) != QLatin1String("measuring"));
    if (!measurable) {
        QCOMPARE(player.loudnessText(file), QStringLiteral("not measurable"));
        return;
    }
    // The same as an independent meter says.
    const FfmpegLoudness reference = ffmpegLoudness(file);
    COMPARE_NEAR(measured->integratedLufs, reference.lufs, 0.2);
    COMPARE_NEAR(measured->truePeakDb, reference.peak, 0.5);
    QVERIFY(player.loudnessText(file).endsWith(QLatin1String(" dBTP")));

    // Played at the target, unless its true peak would then pass -1 dBTP.
    REQUIRE_AUDIO();
    QTRY_VERIFY(player.isArmed(file)); // armed again, at its matched level
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    player.setFileName(file);
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 20000);
    player.stop();
    QTemporaryDir dir;
    // Heard on both channels, as a listener hears it: a mono cart is as loud as a stereo one.
    QVERIFY(writeMonoWav(dir.filePath("heard.wav"), recorder.stop(true), 44100, 2));
    const double expected = std::min(-23.0, measured->integratedLufs + (-1.0 - measured->truePeakDb));
    COMPARE_NEAR(ffmpegLoudness(dir.filePath("heard.wav")).lufs, expected, 0.5);
}

void TestAudioMediaPlayer::poisonedLoudnessIsMeasuredAgain_data()
{
    QTest::addColumn<QByteArray>("values"); // what the cache line claims: LUFS and dBTP
    QTest::newRow("far below the gate") << QByteArray("-100\t-100");
    QTest::newRow("not a number") << QByteArray("nan\tnan");
    QTest::newRow("minus infinity") << QByteArray("-inf\t-inf");
    QTest::newRow("huge") << QByteArray("1e308\t1e308");
    QTest::newRow("a peak no audio has") << QByteArray("-30\t-300");
    // Within what a meter may return, but louder than any programme: the cart would be held
    // almost 30 dB too quiet.
    QTest::newRow("a plausible but false peak") << QByteArray("-36\t20");
    QTest::newRow("louder than full scale") << QByteArray("3\t-1");
    QTest::newRow("an older cache's line, no header") << QByteArray();
}

void TestAudioMediaPlayer::poisonedLoudnessIsMeasuredAgain()
{
    // A cache line with the file's true key but values no meter returns is not trusted: the
    // cart is measured again and plays at the target, never raised to clipping.
#if defined(__SANITIZE_THREAD__)
    // What the cache makes of a line: the measuring thread's part is in loudnessIsMatched.
    QSKIP("a test of the cache's values, not of threads: the plain and AddressSanitizer runs cover it");
#endif
    QFETCH(QByteArray, values);
    QTemporaryDir cache;
    const ScopedEnvironment cacheHome("XDG_CACHE_HOME", cache.path().toUtf8());
    const QString file = fixture("pink36.wav");
    QVERIFY(QDir().mkpath(cache.filePath("kelvo")));
    QFile poisoned(LoudnessCache::defaultFile());
    QVERIFY(poisoned.open(QIODevice::WriteOnly));
    const QByteArray line = FileIdentity::of(file)->toText().toUtf8() + '\t'
        + (values.isEmpty() ? QByteArray("-36\t-20") : values) + '\t' + file.toUtf8() + '\n';
    poisoned.write((values.isEmpty() ? QByteArray() : QByteArray("kelvo-loudness 2\n")) + line);
    poisoned.close();

    AudioMediaPlayer player;
    player.setLoudnessTarget(-23.0);
    player.prepare({{file, QStringLiteral("Cart")}});
    QTRY_VERIFY(player.loudnessText(file).endsWith(QLatin1String(" dBTP")));
    const std::optional<Loudness> measured = measureLoudness(file);
    QVERIFY(measured);
    QCOMPARE(player.loudnessText(file),
             QStringLiteral("%1 LUFS, peak %2 dBTP")
                 .arg(measured->integratedLufs, 0, 'f', 1)
                 .arg(measured->truePeakDb, 0, 'f', 1));

    REQUIRE_AUDIO();
    QTRY_VERIFY(player.isArmed(file));
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    player.setFileName(file);
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 20000);
    player.stop();
    QTemporaryDir dir;
    QVERIFY(writeMonoWav(dir.filePath("heard.wav"), recorder.stop(true), 44100, 2));
    const FfmpegLoudness heard = ffmpegLoudness(dir.filePath("heard.wav"));
    COMPARE_NEAR(heard.lufs, -23.0, 0.5);
    QVERIFY2(heard.peak <= -0.5, qPrintable(QStringLiteral("true peak %1 dBTP").arg(heard.peak)));
}

void TestAudioMediaPlayer::shortCartsAreMeasuredFirst()
{
    // A long cart first in the list does not hold up the loudness of the others.
    QTemporaryDir dir;
    const ScopedEnvironment cacheHome("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
    const QString longFile = dir.filePath("twenty_minutes.wav");
    QCOMPARE(
        QProcess::execute(QStringLiteral("sox"),
                          {QStringLiteral("-q"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                           QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"),
                           longFile, QStringLiteral("synth"), QStringLiteral("1200"), QStringLiteral("sine"),
                           QStringLiteral("300"), QStringLiteral("vol"), QStringLiteral("0.3")}),
        0);
    const QString shortFile = fixture("pink24.wav");
    AudioMediaPlayer player;
    player.setLoudnessTarget(-23.0);
    QElapsedTimer clock;
    clock.start();
    player.prepare({{longFile, QStringLiteral("Long")}, {shortFile, QStringLiteral("Short")}});
    QTRY_VERIFY_WITH_TIMEOUT(player.loudnessText(shortFile).endsWith(QLatin1String(" dBTP")), 10000);
    QCOMPARE(player.loudnessText(longFile), QStringLiteral("measuring"));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(player.loudnessText(longFile).endsWith(QLatin1String(" dBTP")), 120000);
}

void TestAudioMediaPlayer::lookAheadOpensNoStream_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("unplayable");
    QTest::addColumn<bool>("measured"); // its loudness found too
    QTest::newRow("a cart that plays") << fixture("pink24.wav") << false << true;
    QTest::newRow("not audio") << "junk" << true << false;
    QTest::newRow("missing") << "/nowhere/cart.wav" << false << false; // nothing known: the window sees it is missing
}

void TestAudioMediaPlayer::lookAheadOpensNoStream()
{
    // The show's other pages are looked at in the background: lengths and loudness, no stream.
    QFETCH(QString, file);
    QFETCH(bool, unplayable);
    QFETCH(bool, measured);
    QTemporaryDir dir;
    const ScopedEnvironment cacheHome("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
    if (file == QLatin1String("junk")) {
        file = dir.filePath("junk.wav");
        writeBytes(file, QByteArray(4096, 'x'));
    }
    AudioMediaPlayer player;
    player.setLoudnessTarget(-23.0);
    QStringList lookedAt;
    player.setLookedAtHandler([&lookedAt](const QString &path) { lookedAt << path; });
    player.lookAhead({file, QStringLiteral(" ")});
    QTRY_COMPARE(lookedAt, QStringList{file});
    QCOMPARE(player.knownUnplayable(file), unplayable);
    if (measured)
        QTRY_VERIFY_WITH_TIMEOUT(player.loudnessText(file).endsWith(QLatin1String(" dBTP")), 10000);
    QVERIFY(!player.isArmed(file));
    // Handed over again unchanged, nothing is looked at twice.
    player.lookAhead({file});
    QTest::qWait(200);
    QCOMPARE(lookedAt.size(), file.startsWith(QLatin1String("/nowhere")) ? 2 : 1);
}

void TestAudioMediaPlayer::outputsAndPreListen_data()
{
    QTest::addColumn<QString>("air"); // output/air
    QTest::addColumn<QString>("cue"); // output/prelisten
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("heardOnAir"); // the tone heard on each sink; 0 for silence
    QTest::addColumn<double>("heardOnCue");
    QTest::newRow("a click plays on air only") << "test_null"
                                               << "test_cue"
                                               << "click" << 440.0 << 0.0;
    QTest::newRow("a pre-listen plays on the cue only") << "test_null"
                                                        << "test_cue"
                                                        << "pre-listen" << 0.0 << 880.0;
    QTest::newRow("both at once, each on its own") << "test_null"
                                                   << "test_cue"
                                                   << "both" << 440.0 << 880.0;
    QTest::newRow("air output missing: the default") << "unplugged"
                                                     << "test_cue"
                                                     << "click" << 440.0 << 0.0;
    QTest::newRow("cue output missing: no pre-listen") << "test_null"
                                                       << "unplugged"
                                                       << "pre-listen" << 0.0 << 0.0;
    QTest::newRow("no cue output: no pre-listen") << ""
                                                  << ""
                                                  << "pre-listen" << 0.0 << 0.0;
    QTest::newRow("outputs plugged in and out") << ""
                                                << ""
                                                << "hot-plug" << 0.0 << 0.0;
    QTest::newRow("air output unplugged mid-track") << "test_cue"
                                                    << ""
                                                    << "unplug" << 0.0 << 0.0;
}

void TestAudioMediaPlayer::outputsAndPreListen()
{
    REQUIRE_AUDIO();
#if defined(__SANITIZE_THREAD__)
    // Plugging and unplugging is where the server's thread and the window's meet.
    if (!QByteArray(QTest::currentDataTag()).contains("plugged"))
        QSKIP("the same threads as the rows of outputs plugged in and out: the other runs cover it");
#endif
    QFETCH(QString, air);
    QFETCH(QString, cue);
    QFETCH(QString, action);
    QFETCH(double, heardOnAir);
    QFETCH(double, heardOnCue);
    NullSink cueSink(QStringLiteral("test_cue"));
    QVERIFY(cueSink.loaded());
    AudioMediaPlayer player;
    player.setOutputs(air, cue);
    if (action == QLatin1String("hot-plug")) {
        const auto names = [&player] {
            QStringList list;
            for (const MediaOutput &output : player.outputs())
                list << output.name;
            return list;
        };
        QVERIFY(names().contains(QStringLiteral("test_cue")));
        QVERIFY(!names().contains(QStringLiteral("plugged_in")));
        {
            NullSink pluggedIn(QStringLiteral("plugged_in"));
            QVERIFY(names().contains(QStringLiteral("plugged_in")));
        }
        QVERIFY(!names().contains(QStringLiteral("plugged_in")));
        return;
    }
    if (action == QLatin1String("unplug")) {
        // A cart playing when its output goes: the countdown stays exact to the end.
        player.setFileName(fixture("cbr_tag.mp3"));
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 3000);
        cueSink.unload();
        double last = player.position();
        while (player.position() != player.duration()) {
            QVERIFY2(player.position() >= last, "position ran backwards");
            last = player.position();
            QTest::qWait(20);
            QVERIFY(last < player.duration() + 1);
        }
        return;
    }
    SinkRecorder onAir, onCue;
    QVERIFY(onAir.start(QStringLiteral("test_null.monitor")));
    QVERIFY(onCue.start(QStringLiteral("test_cue.monitor")));
    const bool click = action != QLatin1String("pre-listen");
    const bool preListen = action != QLatin1String("click");
    if (preListen)
        QCOMPARE(player.preListen(fixture("short880.mp3")), heardOnCue > 0);
    if (click) {
        player.setFileName(fixture("cbr_tag.mp3"));
        // The air keeps its own time, whatever is pre-listened beside it.
        QTRY_COMPARE_WITH_TIMEOUT(player.position(), player.duration(), 5000);
        QVERIFY(!player.usesSilentClock());
    } else {
        QTest::qWait(1300);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!player.preListening(), 3000); // ended by itself
    const QList<qint16> air1 = onAir.stop();
    const QList<qint16> cue1 = onCue.stop();
    const auto tone = [](const QList<qint16> &samples) {
        const SoundSpan span = soundSpan(samples);
        return span.first < 0 ? 0.0 : toneFrequency(samples, span);
    };
    COMPARE_NEAR(tone(air1), heardOnAir, heardOnAir * 0.02 + 0.1);
    COMPARE_NEAR(tone(cue1), heardOnCue, heardOnCue * 0.02 + 0.1);
}

void TestAudioMediaPlayer::stallsOfTheUserInterfaceAreNotHeard()
{
    REQUIRE_AUDIO();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a test of timing with the window stalled, which sanitizers slow: the plain run covers it");
#endif
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    AudioMediaPlayer player;
    player.setFileName(fixture("six_seconds.mp3"));
    const double duration = player.duration();
    QTest::qWait(300);
    // The user-interface thread blocks (a slow dialog, a long probe) while the track plays.
    for (int stallMs : {100, 300, 800, 1500}) {
        QThread::msleep(stallMs);
        QTest::qWait(150);
    }
    QTRY_COMPARE_WITH_TIMEOUT(player.position(), duration, 8000);
    player.stop();

    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY2(qAbs(span.seconds() - duration) < 0.02,
             qPrintable(QStringLiteral("heard %1 s of %2 s").arg(span.seconds()).arg(duration)));
    // A sine at half scale is near zero for a few samples per crossing, never for a run.
    const qsizetype longestQuiet = longestQuietRun(samples, span);
    QVERIFY2(longestQuiet < 10, qPrintable(QStringLiteral("a gap of %1 samples").arg(longestQuiet)));
}

void TestAudioMediaPlayer::quitIsClean_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("runs");
    QTest::newRow("right after a stop") << QStringLiteral("stop") << 30;
    QTest::newRow("mid-track") << QStringLiteral("playing") << 20;
    QTest::newRow("with carts armed") << QStringLiteral("armed") << 10;
}

void TestAudioMediaPlayer::quitIsClean()
{
    REQUIRE_AUDIO();
    QFETCH(QString, way);
    QFETCH(int, runs);
#if defined(__SANITIZE_THREAD__)
    // libpulse is not built for ThreadSanitizer, which then reports its own locking in the child.
    QSKIP("a crash test, not a race test: the plain and AddressSanitizer runs cover it");
#endif
    // The program's exit tears down the sound server connection right after the last stream.
    for (int run = 0; run < runs; ++run) {
        const int delayMs = 5 + (run % 8) * 40;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--play-and-quit"), fixture("six_seconds.mp3"), QString::number(delayMs), way});
        QVERIFY(child.waitForFinished(10000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(QStringLiteral("run %1 (quit after %2 ms) died: %3")
                                .arg(run)
                                .arg(delayMs)
                                .arg(QString::fromLocal8Bit(child.readAllStandardError()).trimmed())));
    }
}

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], "--play-and-quit") == 0)
        return playAndQuit(argc, argv);
    QCoreApplication app(argc, argv);
    TestAudioMediaPlayer test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_audiomediaplayer.moc"
