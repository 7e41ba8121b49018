#include "engine/audiomediaplayer.h"

#include "decoding/opendecoder.h"
#include "engine/pulsevoice.h"
#include "engine/trackstream.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// How long past a fade's end a voice may take to say it has been heard silent (the server's
// drain) before the fade is taken as done all the same: a server that hangs never holds it up.
constexpr qint64 kFadeGraceNs = 500'000'000;
// How much of a file is measured before others may go first.
constexpr int kMeasurePartSeconds = 30;
// The most loudness matching ever raises a cart.
constexpr double kMostGainDb = 24.0;

} // namespace

struct AudioMediaPlayer::Probed
{
    QString path;
    TrackLength length;
    bool countOnly = false;
    std::shared_ptr<PulseVoice> voice; // armed, when one was asked for and the file plays
};

AudioMediaPlayer::AudioMediaPlayer(QObject *parent)
    : QObject(parent),
      m_loudness(LoudnessCache::defaultFile())
{
    // One low-priority worker: probing and arming never compete with the sound or the window.
    m_worker.setMaxThreadCount(1);
    m_worker.setThreadPriority(QThread::LowestPriority);
    // Loudness apart from arming: a long file measured never holds up a cart getting ready.
    m_measurer.setMaxThreadCount(1);
    m_measurer.setThreadPriority(QThread::LowestPriority);
    // The engine's news comes on the server's thread: handed on to the user-interface thread.
    m_engine.setOutputHandler([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_soundProblem)
                    m_soundProblem();
            },
            Qt::QueuedConnection);
    });
}

AudioMediaPlayer::~AudioMediaPlayer()
{
    m_engine.setOutputHandler({});
    stop();
    stopPreListen();
    m_quitting = true;
    m_worker.clear();
    m_measurer.clear();
    m_worker.waitForDone();
    m_measurer.waitForDone();
    for (const std::shared_ptr<PulseVoice> &voice : std::as_const(m_armed))
        m_engine.release(voice);
    m_armed.clear();
    // The engine, destroyed last, lets its streams and its connection go in order.
}

void AudioMediaPlayer::setFileName(const QString &fileName)
{
    stop();
    m_fileName = fileName;
    m_duration = 0;
    m_totalFrames = 0;
    m_rate = 0;
    m_durationPending = false;
    letGoUnwanted();

    // The duration must be known on the next line; the sound starts only from the event loop.
    std::optional<TrackLength> length = m_durations.find(fileName);
    std::unique_ptr<AudioDecoder> decoder;
    if (!length) {
        // New, or changed since it was probed: whatever was armed for it is stale.
        if (const std::shared_ptr<PulseVoice> stale = m_armed.take(fileName))
            m_engine.release(stale);
        decoder = openDecoder(fileName);
        if (decoder && decoder->lengthNeedsCounting()) {
            // Counting takes seconds for a long file: it plays now and counts in the background.
            m_durationPending = true;
            m_rate = decoder->rate();
            armInBackground(fileName, true);
        } else {
            const std::optional<qint64> frames = decoder ? decoder->exactLength() : std::nullopt;
            length = TrackLength{frames.value_or(0), decoder ? decoder->rate() : 0};
            m_durations.insert(fileName, *length);
            if (m_lookedAt)
                m_lookedAt(fileName);
        }
    }
    if (length) {
        if (length->frames <= 0 || length->rate <= 0)
            return;
        m_totalFrames = length->frames;
        m_rate = length->rate;
        m_duration = double(m_totalFrames) / m_rate;
    }
    m_voice = takeArmed(fileName);
    if (!m_voice) {
        if (!decoder) {
            decoder = openDecoder(fileName);
            if (decoder && !decoder->lengthNeedsCounting() && !decoder->exactLength())
                decoder.reset();
        }
        if (!decoder) { // vanished or broken since it was probed
            m_duration = 0;
            m_totalFrames = 0;
            m_durationPending = false;
            return;
        }
        m_voice = armNow(fileName, std::move(decoder));
    }
    m_output = Output::Pending;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] { startPlayback(generation); });
}

QString AudioMediaPlayer::fileName() const
{
    return m_fileName;
}

double AudioMediaPlayer::duration()
{
    return m_duration;
}

bool AudioMediaPlayer::isArmed(const QString &path) const
{
    const std::shared_ptr<PulseVoice> voice = m_armed.value(path);
    return voice && !voice->status().failed.load();
}

std::shared_ptr<PulseVoice> AudioMediaPlayer::takeArmed(const QString &path)
{
    std::shared_ptr<PulseVoice> voice = m_armed.take(path);
    // Armed while there was no server, before it went away, or on another output than the one
    // it would play on now (a chosen output that came back): try afresh.
    if (voice && (voice->status().failed.load() || m_engine.sinkOf(voice) != m_engine.sinkFor(m_airOutput))) {
        m_engine.release(voice);
        voice.reset();
    }
    return voice;
}

std::shared_ptr<PulseVoice> AudioMediaPlayer::armNow(const QString &path, std::unique_ptr<AudioDecoder> decoder)
{
    return m_engine.arm(std::make_unique<TrackStream>(std::move(decoder)), mediaName(path), gainFor(path), m_airOutput);
}

QString AudioMediaPlayer::mediaName(const QString &path) const
{
    const QString caption = m_captions.value(path).trimmed();
    return caption.isEmpty() ? QFileInfo(path).completeBaseName() : caption;
}

void AudioMediaPlayer::armInBackground(const QString &path, bool countOnly, int priority)
{
    if (path.isEmpty() || m_inFlight.contains(path))
        return;
    m_inFlight.insert(path);
    PulseEngine *engine = &m_engine;
    const QString name = mediaName(path);
    const double gain = gainFor(path);
    const QString device = m_airOutput;
    m_worker.start(
        [this, engine, path, name, gain, device, countOnly] {
            Probed result{path, {}, countOnly, {}};
            std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
            const std::optional<qint64> frames = decoder ? decoder->exactLength() : std::nullopt;
            result.length = TrackLength{frames.value_or(0), decoder ? decoder->rate() : 0};
            if (!countOnly && frames.value_or(0) > 0)
                result.voice = engine->arm(std::make_unique<TrackStream>(std::move(decoder)), name, gain, device);
            QMetaObject::invokeMethod(
                this, [this, result] { probed(result); }, Qt::QueuedConnection);
        },
        priority);
}

void AudioMediaPlayer::probed(const Probed &result)
{
    m_inFlight.remove(result.path);
    if (!m_durations.find(result.path))
        m_durations.insert(result.path, result.length);
    if (m_lookedAt)
        m_lookedAt(result.path);
    if (result.path == m_fileName && m_durationPending) {
        m_durationPending = false;
        m_totalFrames = result.length.frames;
        m_duration = m_totalFrames > 0 ? double(m_totalFrames) / m_rate : 0;
        if (m_totalFrames <= 0)
            stop(); // nothing to count down: the window returns to rest at its next tick
        if (m_durationKnown)
            m_durationKnown();
    }
    if (!result.voice)
        return;
    const bool wanted = m_captions.contains(result.path) || result.path == m_fileName;
    if (wanted && !result.voice->status().failed.load() && !m_armed.contains(result.path))
        m_armed.insert(result.path, result.voice);
    else
        m_engine.release(result.voice);
}

void AudioMediaPlayer::prepare(const QList<MediaCue> &cues)
{
    m_captions.clear();
    for (const MediaCue &cue : cues) {
        if (!cue.fileName.trimmed().isEmpty())
            m_captions.insert(cue.fileName, cue.caption);
    }
    letGoUnwanted();
    for (auto it = m_captions.cbegin(); it != m_captions.cend(); ++it) {
        if (!isArmed(it.key()))
            armInBackground(it.key(), false);
    }
    for (auto it = m_captions.cbegin(); it != m_captions.cend(); ++it) {
        if (!m_loudness.find(it.key()))
            measureInBackground(it.key());
    }
}

void AudioMediaPlayer::measureInBackground(const QString &path, bool lookingAhead)
{
    if (m_measuring.contains(path))
        return;
    m_measuring.insert(path);
    // Small files first: a cart of minutes is measured before one of hours, whatever the order
    // of the list; the show's other pages after all of the page shown.
    const qint64 megabytes = QFileInfo(path).size() >> 20;
    const int bySize = -int(std::min<qint64>(megabytes, 1'000'000));
    measurePart(path, nullptr, lookingAhead ? bySize - 2'000'000 : bySize);
}

void AudioMediaPlayer::lookAhead(const QStringList &fileNames)
{
    for (const QString &path : fileNames) {
        if (path.trimmed().isEmpty())
            continue;
        // Below the page shown's arming, which may come while these wait.
        if (!m_inFlight.contains(path) && !m_durations.find(path))
            armInBackground(path, true, -1);
        if (!m_loudness.find(path))
            measureInBackground(path, true);
    }
}

bool AudioMediaPlayer::knownUnplayable(const QString &fileName)
{
    const std::optional<TrackLength> length = m_durations.find(fileName);
    return length && (length->frames <= 0 || length->rate <= 0);
}

void AudioMediaPlayer::measurePart(const QString &path, std::shared_ptr<LoudnessMeasurement> measurement, int priority)
{
    m_measurer.start(
        [this, path, measurement, priority]() mutable {
            if (m_quitting)
                return;
            if (!measurement)
                measurement = std::make_shared<LoudnessMeasurement>(path);
            // A part at a time, and then back in the queue behind anything shorter that came
            // meanwhile: a long file holds up the others by one part at most.
            if (!measurement->advance(qint64(kMeasurePartSeconds) * std::max(measurement->rate(), 1))) {
                if (!m_quitting)
                    measurePart(path, measurement, priority - 1);
                return;
            }
            const std::optional<Loudness> loudness = measurement->result();
            QMetaObject::invokeMethod(
                this, [this, path, loudness] { measured(path, loudness); }, Qt::QueuedConnection);
        },
        priority);
}

void AudioMediaPlayer::measured(const QString &path, std::optional<Loudness> loudness)
{
    m_measuring.remove(path);
    QString error;
    if (!m_loudness.insert(path, loudness, &error))
        qWarning("the loudness cache could not be written: %s", qPrintable(error));
    if (m_loudnessTarget && loudness)
        rearm(path); // armed at its own level: now it can be matched
}

double AudioMediaPlayer::gainFor(const QString &path) const
{
    if (!m_loudnessTarget)
        return 1.0;
    const std::optional<std::optional<Loudness>> known = m_loudness.find(path);
    if (!known || !*known || !isPlausible(**known))
        return 1.0; // not measured yet, or nothing to measure: its own level
    // To the target, but never past -1 dBTP, and never more than the quietest file a meter can
    // measure would need, nor above +24 dB, whatever the cache says.
    const double gainDb = std::min({*m_loudnessTarget - (*known)->integratedLufs, -1.0 - (*known)->truePeakDb,
                                    *m_loudnessTarget + 70.0, kMostGainDb});
    return std::isfinite(gainDb) ? std::pow(10.0, gainDb / 20.0) : 1.0;
}

void AudioMediaPlayer::rearm(const QString &path)
{
    if (const std::shared_ptr<PulseVoice> old = m_armed.take(path))
        m_engine.release(old);
    if (m_captions.contains(path))
        armInBackground(path, false);
}

void AudioMediaPlayer::setLoudnessTarget(std::optional<double> lufs)
{
    if (lufs == m_loudnessTarget)
        return;
    m_loudnessTarget = lufs;
    rearmAll();
}

void AudioMediaPlayer::rearmAll()
{
    const QStringList armed = m_armed.keys();
    for (const QString &path : armed)
        rearm(path);
}

QString AudioMediaPlayer::loudnessText(const QString &fileName)
{
    if (const std::optional<std::optional<Loudness>> known = m_loudness.find(fileName)) {
        if (!*known)
            return tr("not measurable");
        return tr("%1 LUFS, peak %2 dBTP").arg((*known)->integratedLufs, 0, 'f', 1).arg((*known)->truePeakDb, 0, 'f', 1);
    }
    if (m_measuring.contains(fileName))
        return tr("measuring");
    return {};
}

QList<MediaOutput> AudioMediaPlayer::outputs()
{
    QList<MediaOutput> list;
    for (const PulseEngine::Sink &sink : m_engine.sinks())
        list.append({sink.name, sink.description});
    return list;
}

void AudioMediaPlayer::setOutputs(const QString &air, const QString &preListen)
{
    m_preListenOutput = preListen;
    m_engine.followSinks(!air.isEmpty() || !preListen.isEmpty());
    if (air == m_airOutput)
        return;
    m_airOutput = air;
    rearmAll();
}

std::optional<QString> AudioMediaPlayer::soundProblem()
{
    switch (m_engine.output()) {
    case PulseEngine::Output::NoServer:
        return tr("no sound server answers");
    case PulseEngine::Output::NoSinks:
        return tr("the sound server has no output");
    case PulseEngine::Output::Ready:
    case PulseEngine::Output::Unknown:
        break;
    }
    return std::nullopt;
}

bool AudioMediaPlayer::preListen(const QString &fileName)
{
    stopPreListen();
    // Never the default instead: a pre-listen must not go on air. Asked of the server afresh.
    if (m_preListenOutput.isEmpty())
        return false;
    const std::vector<PulseEngine::Sink> sinks = m_engine.sinks();
    if (std::none_of(sinks.begin(), sinks.end(),
                     [this](const PulseEngine::Sink &sink) { return sink.name == m_preListenOutput; }))
        return false;
    std::unique_ptr<AudioDecoder> decoder = openDecoder(fileName);
    if (!decoder || (!decoder->lengthNeedsCounting() && !decoder->exactLength()))
        return false;
    m_preListen = m_engine.arm(std::make_unique<TrackStream>(std::move(decoder)),
                               tr("%1 (pre-listen)").arg(mediaName(fileName)), gainFor(fileName), m_preListenOutput,
                               true);
    m_engine.start(m_preListen);
    return true;
}

void AudioMediaPlayer::stopPreListen()
{
    if (!m_preListen)
        return;
    m_engine.stop(m_preListen);
    m_preListen.reset();
}

bool AudioMediaPlayer::preListening()
{
    if (m_preListen && (m_preListen->status().ended.load() || m_preListen->status().failed.load()))
        stopPreListen();
    return bool(m_preListen);
}

void AudioMediaPlayer::fadeOut(double seconds)
{
    if (m_rate <= 0 || seconds <= 0)
        return;
    if ((m_output != Output::Voice && m_output != Output::Clock) || m_fadeEndNs > 0)
        return;
    // The end is kept here as well as in the voice: should the server die or hang during the
    // fade, the fade still ends on time.
    m_fadeEndNs = monotonicNs() + qint64(seconds * 1e9);
    if (m_output == Output::Voice)
        m_engine.fadeOut(m_voice, qint64(seconds * m_rate));
}

bool AudioMediaPlayer::fadedOut()
{
    if (m_fadeEndNs <= 0)
        return false;
    playedFrames(); // notices a voice that failed meanwhile
    const qint64 now = monotonicNs();
    if (m_output == Output::Voice)
        return m_voice->status().fadedOut.load() || now >= m_fadeEndNs + kFadeGraceNs;
    return m_output == Output::Clock && now >= m_fadeEndNs;
}

void AudioMediaPlayer::letGoUnwanted()
{
    for (auto it = m_armed.begin(); it != m_armed.end();) {
        if (m_captions.contains(it.key()) || it.key() == m_fileName) {
            ++it;
        } else {
            m_engine.release(it.value());
            it = m_armed.erase(it);
        }
    }
}

void AudioMediaPlayer::startPlayback(quint64 generation)
{
    if (generation != m_generation || m_output != Output::Pending || !m_voice)
        return;
    m_startNs = monotonicNs();
    if (m_voice->status().failed.load()) {
        m_engine.release(m_voice);
        m_voice.reset();
        startClock(0, m_startNs);
        return;
    }
    m_engine.start(m_voice);
    m_output = Output::Voice;
    // The next put of the same cart finds it armed again.
    if (m_captions.contains(m_fileName))
        armInBackground(m_fileName, false);
}

void AudioMediaPlayer::startClock(qint64 fromFrame, qint64 sinceNs)
{
    m_output = Output::Clock;
    m_clockStartFrame = fromFrame;
    m_clockStartNs = sinceNs;
}

qint64 AudioMediaPlayer::playedFrames()
{
    qint64 frames = 0;
    bool ended = false;
    if (m_output == Output::Voice) {
        const VoiceStatus &status = m_voice->status();
        if (const qint64 total = status.totalFrames.load(); m_durationPending && total >= 0) {
            // All decoded before the count came back: what plays is what counts.
            m_durationPending = false;
            m_totalFrames = total;
            m_duration = double(total) / m_rate;
            if (m_durationKnown)
                m_durationKnown();
        }
        if (status.failed.load()) {
            // The server went away: the countdown goes on from what was heard.
            startClock(status.failedFrame.load(), std::max(status.failedAtNs.load(), m_startNs));
            m_voice.reset();
        } else if (status.ended.load()) {
            ended = true;
        } else {
            frames = m_engine.heardFrames(m_voice).value_or(0);
        }
    }
    switch (m_output) {
    case Output::None:
    case Output::Pending:
        return 0;
    case Output::Voice:
        break;
    case Output::Clock:
        frames = m_clockStartFrame + (monotonicNs() - m_clockStartNs) * m_rate / 1000000000;
        ended = !m_durationPending && frames >= m_totalFrames;
        break;
    }
    if (ended)
        return m_totalFrames;
    // Short of the end the position stays short of the duration, whatever the server reports.
    const qint64 ceiling = m_durationPending ? std::max(frames, m_lastFrame) : std::max<qint64>(m_totalFrames - 1, 0);
    frames = std::clamp(frames, std::min(m_lastFrame, ceiling), ceiling);
    m_lastFrame = frames;
    return frames;
}

double AudioMediaPlayer::position()
{
    if (m_rate <= 0)
        return 0;
    const qint64 frames = playedFrames();
    if (!m_durationPending && frames >= m_totalFrames)
        return m_duration; // the very value duration() returns, so their difference is 0
    return double(frames) / m_rate;
}

void AudioMediaPlayer::stop()
{
    ++m_generation;
    if (m_voice) {
        if (m_output == Output::Voice) {
            m_engine.stop(m_voice);
        } else if (!m_voice->status().failed.load() && !m_armed.contains(m_fileName)) {
            // Put and stopped before it started (the hover's preview): it stays armed.
            m_armed.insert(m_fileName, m_voice);
        } else {
            m_engine.release(m_voice);
        }
        m_voice.reset();
    }
    m_output = Output::None;
    m_lastFrame = 0;
    m_clockStartFrame = 0;
    m_fadeEndNs = 0;
}
