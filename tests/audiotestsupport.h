#pragma once

#include "decoding/opendecoder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QProcessEnvironment>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

inline QString fixture(const char *name)
{
    return QStringLiteral(KELVO_FIXTURES_DIR "/") + QLatin1String(name);
}

// Samples per channel of a complete decode as playback does it (after the length scan), the
// reference every duration must equal; with scanFirst false, a plain decode from the start.
inline qint64 decodedFrames(const QString &path, int *rate = nullptr, bool scanFirst = true)
{
    const std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    if (!decoder || (scanFirst && !decoder->exactLength()))
        return -1;
    if (rate)
        *rate = decoder->rate();
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    qint64 frames = 0;
    while (const qint64 bytes = decoder->read(buffer.data(), buffer.size()))
        frames += bytes / decoder->frameBytes();
    return frames;
}

// Every sample of a complete decode as playback does it, interleaved, as floats (16-bit ones
// scaled by 1/32768, as a float sink takes them).
inline QList<float> decodedFloats(const QString &path)
{
    const std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    QList<float> samples;
    if (!decoder || !decoder->exactLength())
        return samples;
    const bool isFloat = decoder->sampleFormat() == SampleFormat::Float32;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    while (const qint64 bytes = decoder->read(buffer.data(), buffer.size())) {
        for (qint64 at = 0; at + decoder->sampleBytes() <= bytes; at += decoder->sampleBytes()) {
            if (isFloat) {
                float sample;
                std::memcpy(&sample, buffer.constData() + at, 4);
                samples.append(sample);
            } else {
                qint16 sample;
                std::memcpy(&sample, buffer.constData() + at, 2);
                samples.append(float(sample) / 32768.0f);
            }
        }
    }
    return samples;
}

// The left channel of a complete decode as playback does it, as 16-bit samples (wider ones
// rounded).
inline QList<qint16> decodedLeft(const QString &path)
{
    const std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    const int channels = decoder ? decoder->channels() : 1;
    const QList<float> all = decodedFloats(path);
    QList<qint16> left;
    for (qsizetype i = 0; i < all.size(); i += channels)
        left.append(qint16(std::clamp(std::lrint(double(all[i]) * 32768.0), -32768L, 32767L)));
    return left;
}

// An environment variable set for the object's life, and put back as it was after.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name),
          m_outer(qgetenv(name))
    {
        qputenv(m_name, value);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;
    ~ScopedEnvironment() { qputenv(m_name, m_outer); }

private:
    const char *m_name;
    QByteArray m_outer;
};

// A null sink of a test's own on the running server, loaded for the object's life.
class NullSink
{
public:
    explicit NullSink(const QString &name, const QString &format = QStringLiteral("s16le"))
    {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"),
                    {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                     QStringLiteral("sink_name=") + name, QStringLiteral("rate=44100"), QStringLiteral("channels=2"),
                     QStringLiteral("format=") + format, QStringLiteral("norewinds=1")});
        if (pactl.waitForFinished(5000) && pactl.exitCode() == 0)
            m_module = QString::fromLatin1(pactl.readAllStandardOutput().trimmed());
        QTest::qWait(200); // heard of by every client
    }
    NullSink(const NullSink &) = delete;
    NullSink &operator=(const NullSink &) = delete;
    ~NullSink() { unload(); }
    bool loaded() const { return !m_module.isEmpty(); }
    void unload()
    {
        if (m_module.isEmpty())
            return;
        QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), m_module});
        m_module.clear();
        QTest::qWait(200);
    }

private:
    QString m_module;
};

// The largest step from one sample to the next: a click shows as a step the music never makes.
inline int largestStep(const QList<qint16> &samples)
{
    int largest = 0;
    for (qsizetype i = 1; i < samples.size(); ++i)
        largest = std::max(largest, std::abs(int(samples[i]) - int(samples[i - 1])));
    return largest;
}

// A PulseAudio server of a test's own with one null sink, at a socket that exists before the
// server does, started and stopped by its PID.
class PrivatePulse
{
public:
    explicit PrivatePulse(const QString &dir)
        : m_dir(dir)
    {
        QDir(dir).mkpath(QStringLiteral("run/pulse"));
        QDir(dir).mkpath(QStringLiteral("home"));
        QFile config(dir + QStringLiteral("/test.pa"));
        if (config.open(QIODevice::WriteOnly))
            config.write(QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                                        "load-module module-null-sink sink_name=test_null rate=44100 channels=2 "
                                        "norewinds=1\nset-default-sink test_null\n")
                             .arg(socket())
                             .toUtf8());
    }
    PrivatePulse(const PrivatePulse &) = delete;
    PrivatePulse &operator=(const PrivatePulse &) = delete;
    ~PrivatePulse() { stop(); }

    QString socket() const { return m_dir + QStringLiteral("/run/pulse/native"); }
    qint64 pid() const { return m_process.processId(); }
    QString server() const { return QStringLiteral("unix:") + socket(); }

    // Starts the server and waits until it answers.
    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir + QStringLiteral("/run"));
        env.insert(QStringLiteral("HOME"), m_dir + QStringLiteral("/home"));
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("pulseaudio"),
                        {QStringLiteral("-n"), QStringLiteral("-F"), m_dir + QStringLiteral("/test.pa"),
                         QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                         QStringLiteral("--use-pid-file=no")});
        if (!m_process.waitForStarted(3000))
            return false;
        for (int i = 0; i < 100; ++i) {
            QProcess pactl;
            env.insert(QStringLiteral("PULSE_SERVER"), server());
            pactl.setProcessEnvironment(env);
            pactl.setStandardOutputFile(QProcess::nullDevice());
            pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
            if (pactl.waitForFinished(3000) && pactl.exitCode() == 0)
                return true;
            QTest::qWait(50);
        }
        return false;
    }

    // Stops the server as a crash or an update would: at once, its clients cut off.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
        QFile::remove(socket());
    }

private:
    QString m_dir;
    QProcess m_process;
};

// Integrated loudness (LUFS) and true peak (dBTP) by an independent meter, ffmpeg's ebur128
// filter; NaN for what it could not tell.
struct FfmpegLoudness
{
    double lufs = std::nan("");
    double peak = std::nan("");
};

inline FfmpegLoudness ffmpegLoudness(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostats"), QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                  QStringLiteral("-i"), path,
                  // A mono file as heard on a stereo output.
                  QStringLiteral("-af"), QStringLiteral("ebur128=peak=true:dualmono=true"), QStringLiteral("-f"),
                  QStringLiteral("null"), QStringLiteral("-")});
    FfmpegLoudness result;
    if (!ffmpeg.waitForFinished(60000))
        return result;
    // The summary comes last: the last "I:" and "Peak:" lines are the whole file's.
    for (const QByteArray &line : ffmpeg.readAllStandardError().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 3 && words[0] == "I:")
            result.lufs = words[1].toDouble();
        else if (words.size() >= 3 && words[0] == "Peak:")
            result.peak = words[1].toDouble();
    }
    return result;
}

// A 16-bit WAV file of samples (interleaved) at rate.
inline bool writeMonoWav(const QString &path, const QList<qint16> &samples, int rate, int channels = 1)
{
    QByteArray wav;
    const auto put32 = [&wav](quint32 v) {
        for (int i = 0; i < 4; ++i)
            wav += char((v >> (8 * i)) & 0xFF);
    };
    const auto put16 = [&wav](quint16 v) {
        wav += char(v & 0xFF);
        wav += char(v >> 8);
    };
    const auto bytes = quint32(samples.size() * 2);
    wav += "RIFF";
    put32(36 + bytes);
    wav += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(quint16(channels));
    put32(quint32(rate));
    put32(quint32(rate) * 2 * quint32(channels));
    put16(quint16(2 * channels));
    put16(16);
    wav += "data";
    put32(bytes);
    wav += QByteArray(reinterpret_cast<const char *>(samples.constData()), qsizetype(bytes));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

// True when a PulseAudio server is named; a run that requires audio fails instead of skipping.
// A mono 44.1 kHz tone of frequency, seconds long, at amplitude, written as "toneF.wav" in
// folder; its path, or nothing when it could not be written.
inline QString toneFile(const QTemporaryDir &folder, int frequency, double seconds, double amplitude = 8192)
{
    QList<qint16> tone;
    for (int i = 0; i < int(44100 * seconds); ++i)
        tone << qint16(amplitude * std::sin(2 * M_PI * frequency * i / 44100.0));
    const QString path = folder.filePath(QStringLiteral("tone%1.wav").arg(frequency));
    return writeMonoWav(path, tone, 44100) ? path : QString();
}

// The amplitude of the tone of frequency in samples[from, from + count) at 44.1 kHz, as a
// Goertzel filter finds it: what one of several tones heard together plays at.
inline double amplitudeAt(const QList<qint16> &samples, qsizetype from, qsizetype count, double frequency)
{
    from = std::clamp<qsizetype>(from, 0, samples.size());
    count = std::min(count, samples.size() - from);
    if (count <= 0)
        return 0;
    const double w = 2 * M_PI * frequency / 44100;
    double s1 = 0, s2 = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const double s0 = samples[i] + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2)) / double(count);
}

inline bool audioServerAvailable()
{
    return !qEnvironmentVariableIsEmpty("PULSE_SERVER");
}

// True when a sound server answers where PULSE_SERVER points (or where clients look by default).
inline bool soundServerAnswers()
{
    QProcess pactl;
    pactl.setStandardOutputFile(QProcess::nullDevice());
    pactl.setStandardErrorFile(QProcess::nullDevice());
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return pactl.waitForFinished(5000) && pactl.exitStatus() == QProcess::NormalExit && pactl.exitCode() == 0;
}

// True when the sound server is PipeWire's PulseAudio service rather than PulseAudio itself.
inline bool soundServerIsPipeWire()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return pactl.waitForFinished(5000) && pactl.readAllStandardOutput().contains("PipeWire");
}

// Skips the test (or fails it, where the run requires audio) when there is no sound server.
#define REQUIRE_AUDIO()                                                                                                \
    do {                                                                                                               \
        if (!audioServerAvailable()) {                                                                                 \
            if (!qEnvironmentVariableIsEmpty("KELVO_REQUIRE_AUDIO"))                                                   \
                QFAIL("no PulseAudio test server (PULSE_SERVER unset)");                                               \
            QSKIP("no PulseAudio test server");                                                                        \
        }                                                                                                              \
    } while (false)

// Records what the test sink plays, as 44.1 kHz stereo 16-bit samples.
class SinkRecorder
{
public:
    SinkRecorder() = default;
    SinkRecorder(const SinkRecorder &) = delete;
    SinkRecorder &operator=(const SinkRecorder &) = delete;
    ~SinkRecorder()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    // The null sink cannot rewind, so it renders in blocks as long as the latency its readers ask
    // for, and a stream that starts lands on the next block's edge: a smaller latency measures
    // start times more finely.
    bool start(const QString &source = QStringLiteral("test_null.monitor"), int latencyMs = 20)
    {
        m_process.start(QStringLiteral("parec"),
                        {QStringLiteral("-d"), source, QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                         QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"),
                         QStringLiteral("--latency-msec=%1").arg(latencyMs)});
        if (!m_process.waitForStarted(3000))
            return false;
        // Wait until the stream is connected and delivering (silence) before anything plays.
        QElapsedTimer waited;
        waited.start();
        while (m_process.bytesAvailable() < 4410 * 4 && waited.elapsed() < 3000)
            m_process.waitForReadyRead(100);
        m_process.readAllStandardOutput();
        return m_process.state() == QProcess::Running;
    }

    // Stops recording and returns the left channel, or both interleaved.
    QList<qint16> stop(bool bothChannels = false)
    {
        QTest::qWait(200); // let the monitor deliver the last frames
        QByteArray raw = m_process.readAllStandardOutput();
        m_process.terminate();
        m_process.waitForFinished(3000);
        raw += m_process.readAllStandardOutput();
        QList<qint16> left;
        left.reserve(raw.size() / 4);
        for (qsizetype i = 0; i + 4 <= raw.size(); i += bothChannels ? 2 : 4) {
            qint16 sample;
            std::memcpy(&sample, raw.constData() + i, 2);
            left.append(sample);
        }
        return left;
    }

private:
    QProcess m_process;
};

struct SoundSpan
{
    qsizetype first = -1;
    qsizetype last = -1;
    double seconds() const { return first < 0 ? 0 : double(last - first + 1) / 44100; }
};

inline SoundSpan soundSpan(const QList<qint16> &samples, int threshold = 300)
{
    SoundSpan span;
    for (qsizetype i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > threshold) {
            if (span.first < 0)
                span.first = i;
            span.last = i;
        }
    }
    return span;
}

// The longest run of near-silent samples inside the span: a gap in a tone.
inline qsizetype longestQuietRun(const QList<qint16> &samples, SoundSpan span, int threshold = 300)
{
    qsizetype quiet = 0;
    qsizetype longest = 0;
    for (qsizetype i = span.first; span.first >= 0 && i <= span.last; ++i) {
        quiet = std::abs(samples[i]) < threshold ? quiet + 1 : 0;
        longest = std::max(longest, quiet);
    }
    return longest;
}

// The tone's frequency from its zero crossings inside the span.
inline double toneFrequency(const QList<qint16> &samples, SoundSpan span)
{
    int crossings = 0;
    for (qsizetype i = span.first + 1; i <= span.last; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++crossings;
    }
    return crossings / 2.0 / span.seconds();
}
