#include "decoding/sndfiledecoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

// What the libsndfile decoder hands the player, sample for sample, against sox's own decoding of
// the same file (a program of its own, not this code's reading of libsndfile).
class TestSndfileDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void samplesAsSoxReadsThem_data();
    void samplesAsSoxReadsThem();

private:
    QTemporaryDir m_dir;
};

namespace {

// Every sample of path as sox decodes it: signed 16-bit, or 32-bit float, native order.
QByteArray soxSamples(const QString &path, bool floats)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("-D"), path, QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"),
               floats ? QStringLiteral("floating-point") : QStringLiteral("signed"), QStringLiteral("-b"),
               floats ? QStringLiteral("32") : QStringLiteral("16"), QStringLiteral("-")});
    if (!sox.waitForFinished(30000) || sox.exitCode() != 0)
        return {};
    return sox.readAllStandardOutput();
}

// Every sample the decoder yields, read in uneven pieces as the player's feed reads them.
QByteArray decoded(SndfileDecoder &decoder)
{
    QByteArray all;
    const int frameBytes = decoder.channels() * (decoder.sampleFormat() == SampleFormat::Float32 ? 4 : 2);
    for (int piece = 1;; piece = piece % 7 + 1) {
        QByteArray chunk(piece * 997 * frameBytes, '\0');
        const qint64 got = decoder.read(chunk.data(), chunk.size());
        if (got <= 0)
            break;
        all += chunk.first(got);
    }
    return all;
}

} // namespace

void TestSndfileDecoder::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The fixtures a player meets, made here so that each row's source is known exactly.
    const QList<QStringList> makes = {
        {"-n", "-r", "44100", "-c", "2", "-b", "16", "s16.wav", "synth", "1.3", "sine", "700", "vol", "0.9"},
        {"-n", "-r", "44100", "-c", "2", "-b", "16", "s16.flac", "synth", "1.7", "sine", "500", "vol", "0.99"},
        {"-n", "-r", "48000", "-c", "1", "-b", "16", "mono.flac", "synth", "1.2", "sine", "450", "vol", "0.5"},
        {"-n", "-r", "22050", "-c", "1", "-b", "8", "-e", "unsigned", "u8.wav", "synth", "0.8", "sine", "300"},
        {"-n", "-r", "44100", "-c", "2", "-b", "8", "-e", "signed", "s8.aiff", "synth", "0.6", "sine", "900"},
        {"-n", "-r", "48000", "-c", "1", "-b", "24", "s24.flac", "synth", "1.1", "sine", "600", "vol", "0.8"},
    };
    for (QStringList make : makes) {
        make.insert(0, QStringLiteral("-q"));
        make.insert(0, QStringLiteral("-D"));
        const qsizetype file = make.indexOf(QStringLiteral("synth")) - 1;
        make[file] = m_dir.filePath(make[file]);
        QProcess sox;
        sox.start(QStringLiteral("sox"), make);
        QVERIFY2(sox.waitForFinished(30000) && sox.exitCode() == 0, qPrintable(make.join(QLatin1Char(' '))));
    }
}

void TestSndfileDecoder::samplesAsSoxReadsThem_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("floats"); // what the decoder yields for it
    QTest::newRow("16-bit WAV, stereo") << "s16.wav" << false;
    QTest::newRow("16-bit FLAC near full scale") << "s16.flac" << false;
    QTest::newRow("16-bit FLAC, mono 48 kHz") << "mono.flac" << false;
    QTest::newRow("8-bit unsigned WAV") << "u8.wav" << false;
    QTest::newRow("8-bit signed AIFF") << "s8.aiff" << false;
    QTest::newRow("24-bit FLAC: floats, nothing lost") << "s24.flac" << true;
}

void TestSndfileDecoder::samplesAsSoxReadsThem()
{
    QFETCH(QString, file);
    QFETCH(bool, floats);
    const QString path = m_dir.filePath(file);
    SndfileDecoder decoder;
    QCOMPARE(decoder.open(path), SndfileDecoder::Opened::Yes);
    QCOMPARE(decoder.sampleFormat() == SampleFormat::Float32, floats);
    const QByteArray expected = soxSamples(path, floats);
    QVERIFY(!expected.isEmpty());
    const QByteArray got = decoded(decoder);
    QCOMPARE(got.size(), expected.size());
    if (!floats) {
        QVERIFY(got == expected);
        return;
    }
    // sox writes 24-bit samples as floats scaled by 2^31 and then cut: within one 24-bit step.
    const qsizetype count = got.size() / 4;
    for (qsizetype i = 0; i < count; ++i) {
        float a = 0;
        float b = 0;
        std::memcpy(&a, got.constData() + i * 4, 4);
        std::memcpy(&b, expected.constData() + i * 4, 4);
        QVERIFY2(std::abs(double(a) - double(b)) <= 1.0 / 8388608.0,
                 qPrintable(QStringLiteral("sample %1: %2, sox %3").arg(i).arg(a).arg(b)));
    }
}

QTEST_GUILESS_MAIN(TestSndfileDecoder)
#include "tst_sndfiledecoder.moc"
