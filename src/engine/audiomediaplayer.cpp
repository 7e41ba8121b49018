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
// A loop shorter than this plays once: it would be a buzz, not a loop.
constexpr double kShortestLoopSeconds = 0.010;

// playback in frames of a file of frames (nothing: not counted yet) at rate. An out point past
// the end plays to the end; an in point at or past it plays the whole file.
TrimFrames trimFor(const CartPlayback &playback, std::optional<qint64> frames, int rate)
{
    TrimFrames trim;
    if (rate <= 0)
        return trim;
    const auto toFrames = [rate](double seconds) {
        return std::isfinite(seconds) ? qint64(std::llround(std::clamp(seconds, 0.0, 1e7) * rate)) : 0;
    };
    trim.fadeIn = toFrames(playback.fadeIn);
    trim.in = toFrames(playback.in);
    trim.out = playback.out ? toFrames(*playback.out) : -1;
    if (frames && trim.out > *frames)
        trim.out = -1;
    const qint64 end = trim.out >= 0 ? trim.out : frames.value_or(std::numeric_limits<qint64>::max());
    if (trim.in >= end) {
        trim.in = 0;
        trim.out = -1;
    }
    const qint64 pass = (trim.out >= 0 ? trim.out : frames.value_or(0)) - trim.in;
    trim.loop = playback.loop && (pass >= qint64(kShortestLoopSeconds * rate) || (!frames && trim.out < 0));
    return trim;
}

qint64 passFrames(const TrimFrames &trim, qint64 frames)
{
    return std::max<qint64>((trim.out >= 0 ? std::min(trim.out, frames) : frames) - trim.in, 0);
}

} // namespace

struct AudioMediaPlayer::Probed
{
    QString path;
    TrackLength length;
    bool countOnly = false;
    std::shared_ptr<PulseVoice> voice; // armed, when one was asked for and the file plays
    CartPlayback playback;             // what it was armed to play
    double gain = 1;                   // and at what gain
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
    for (Put &layer : m_layers)
        stopPut(layer);
    m_layers.clear();
    stopPreListen();
    m_quitting = true;
    m_worker.clear();
    m_measurer.clear();
    m_worker.waitForDone();
    m_measurer.waitForDone();
    for (const Armed &armed : std::as_const(m_armed))
        m_engine.release(armed.voice);
    m_armed.clear();
    // The engine, destroyed last, lets its streams and its connection go in order.
}

void AudioMediaPlayer::setFileName(const QString &fileName)
{
    stop();
    m_put.fileName = fileName;
    m_put.playback = std::exchange(m_next, CartPlayback{});
    m_put.trim = {};
    m_put.duration = 0;
    m_put.totalFrames = 0;
    m_put.rate = 0;
    m_put.durationPending = false;
    letGoUnwanted();

    // The duration must be known on the next line; the sound starts only from the event loop.
    std::optional<TrackLength> length = m_durations.find(fileName);
    std::unique_ptr<AudioDecoder> decoder;
    if (!length) {
        // New, or changed since it was probed: whatever was armed for it is stale.
        if (const Armed stale = m_armed.take(fileName); stale.voice)
            m_engine.release(stale.voice);
        decoder = openDecoder(fileName);
        if (decoder && decoder->lengthNeedsCounting()) {
            // Counting takes seconds for a long file: it plays now and counts in the background.
            m_put.durationPending = true;
            m_put.rate = decoder->rate();
            setTrim(m_put, std::nullopt);
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
        m_put.rate = length->rate;
        setTrim(m_put, length->frames);
    }
    m_put.voice = takeArmed(fileName, m_put.playback);
    if (!m_put.voice) {
        if (!decoder) {
            decoder = openDecoder(fileName);
            if (decoder && !decoder->lengthNeedsCounting() && !decoder->exactLength())
                decoder.reset();
        }
        if (!decoder) { // vanished or broken since it was probed
            m_put.duration = 0;
            m_put.totalFrames = 0;
            m_put.durationPending = false;
            return;
        }
        const TrimFrames wanted = m_put.trim;
        m_put.voice = armNow(fileName, std::move(decoder), &m_put.trim, m_put.playback.gainDb);
        if (!m_put.voice) {
            m_put.duration = 0;
            m_put.totalFrames = 0;
            m_put.durationPending = false;
            return;
        }
        if (m_put.trim != wanted && length) { // playing whole after all
            m_put.totalFrames = length->frames;
            m_put.duration = double(m_put.totalFrames) / m_put.rate;
        }
    }
    m_put.output = Output::Pending;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] { startPlayback(generation); });
}

QString AudioMediaPlayer::fileName() const
{
    return m_put.fileName;
}

double AudioMediaPlayer::duration()
{
    return m_put.duration;
}

void AudioMediaPlayer::setTrim(Put &put, std::optional<qint64> frames)
{
    put.trim = trimFor(put.playback, frames, put.rate);
    if (!frames)
        return;
    put.totalFrames = passFrames(put.trim, *frames);
    put.duration = double(put.totalFrames) / put.rate;
}

bool AudioMediaPlayer::isArmed(const QString &path) const
{
    const Armed armed = m_armed.value(path);
    return armed.voice && !armed.voice->status().failed.load() && armed.playback == cuePlayback(path);
}

std::shared_ptr<PulseVoice> AudioMediaPlayer::takeArmed(const QString &path, const CartPlayback &playback)
{
    std::shared_ptr<PulseVoice> voice = m_armed.value(path).voice;
    // Armed while there was no server, before it went away, on another output than the one it
    // would play on now (a chosen output that came back), or for another cart of the same file:
    // played afresh. Another cart's stays armed for it.
    if (!voice || m_armed.value(path).playback != playback)
        return {};
    m_armed.remove(path);
    if (voice->status().failed.load() || m_engine.sinkOf(voice) != m_engine.sinkFor(m_airOutput)) {
        m_engine.release(voice);
        voice.reset();
    }
    return voice;
}

std::shared_ptr<PulseVoice> AudioMediaPlayer::armNow(const QString &path, std::unique_ptr<AudioDecoder> decoder,
                                                     TrimFrames *trim, double gainDb)
{
    std::unique_ptr<AudioDecoder> trimmed = TrimmedDecoder::wrap(std::move(decoder), *trim);
    if (!trimmed) { // the file changed under the trim: it plays whole
        *trim = {};
        trimmed = openDecoder(path);
        if (!trimmed)
            return {};
    }
    return m_engine.arm(std::make_unique<TrackStream>(std::move(trimmed)), mediaName(path), gainFor(path, gainDb),
                        m_airOutput);
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
    const CartPlayback playback = cuePlayback(path);
    const double gain = gainFor(path, playback.gainDb);
    const QString device = m_airOutput;
    m_worker.start(
        [this, engine, path, name, gain, device, countOnly, playback] {
            Probed result{path, {}, countOnly, {}, playback, gain};
            std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
            const std::optional<qint64> frames = decoder ? decoder->exactLength() : std::nullopt;
            result.length = TrackLength{frames.value_or(0), decoder ? decoder->rate() : 0};
            if (!countOnly && frames.value_or(0) > 0)
                decoder = TrimmedDecoder::wrap(std::move(decoder), trimFor(playback, frames, result.length.rate));
            if (!countOnly && decoder)
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
    if (result.path == m_put.fileName && m_put.durationPending) {
        m_put.durationPending = false;
        setTrim(m_put, result.length.frames);
        if (m_put.totalFrames <= 0)
            stop(); // nothing to count down: the window returns to rest at its next tick
        if (m_durationKnown)
            m_durationKnown();
    }
    for (Put &layer : m_layers) {
        if (layer.fileName == result.path && layer.durationPending) {
            layer.durationPending = false;
            setTrim(layer, result.length.frames);
        }
    }
    if (!result.voice)
        return;
    const bool cued = m_captions.contains(result.path);
    const bool wanted = (cued && cuePlayback(result.path) == result.playback)
        || (result.path == m_put.fileName && m_put.playback == result.playback);
    // Its level was measured, or its cart's settings changed, while it was being armed: the
    // arming asked for then (which found this one in flight) is made now.
    const bool stale = result.gain != gainFor(result.path, result.playback.gainDb)
        || (cued && cuePlayback(result.path) != result.playback);
    if (wanted && !stale && !result.voice->status().failed.load() && !m_armed.contains(result.path)) {
        m_armed.insert(result.path, {result.voice, result.playback});
        return;
    }
    m_engine.release(result.voice);
    if (stale && cued && !m_armed.contains(result.path))
        armInBackground(result.path, false);
}

void AudioMediaPlayer::prepare(const QList<MediaCue> &cues)
{
    m_captions.clear();
    m_cuePlayback.clear();
    for (const MediaCue &cue : cues) {
        // A file on two carts is armed for the first; the other plays it afresh.
        if (!cue.fileName.trimmed().isEmpty() && !m_captions.contains(cue.fileName)) {
            m_captions.insert(cue.fileName, cue.caption);
            m_cuePlayback.insert(cue.fileName, cue.playback);
        }
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

std::optional<double> AudioMediaPlayer::knownLength(const QString &fileName)
{
    const std::optional<TrackLength> length = m_durations.find(fileName);
    if (!length || length->frames <= 0 || length->rate <= 0)
        return std::nullopt;
    return double(length->frames) / length->rate;
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
    // Armed at its own level: now it can be matched, or raised as far as its peak allows.
    if (loudness && (m_loudnessTarget || cuePlayback(path).gainDb > 0))
        rearm(path);
}

std::optional<Loudness> AudioMediaPlayer::knownLoudness(const QString &path) const
{
    const std::optional<std::optional<Loudness>> known = m_loudness.find(path);
    if (!known || !*known || !isPlausible(**known))
        return std::nullopt; // not measured yet, or nothing to measure
    return **known;
}

double AudioMediaPlayer::gainFor(const QString &path, double cartDb) const
{
    const std::optional<Loudness> known = knownLoudness(path);
    double matchDb = 0; // not measured yet, or nothing to measure: its own level
    if (m_loudnessTarget && known) {
        // To the target, but never past -1 dBTP, and never more than the quietest file a meter
        // can measure would need, nor above +24 dB, whatever the cache says.
        matchDb = std::min({*m_loudnessTarget - known->integratedLufs, -1.0 - known->truePeakDb,
                            *m_loudnessTarget + 70.0, kMostGainDb});
    }
    if (!std::isfinite(cartDb))
        cartDb = 0;
    // The cart's own level is added; raised, it never takes the true peak past -1 dBTP.
    if (cartDb > 0)
        cartDb = known ? std::clamp(-1.0 - known->truePeakDb - matchDb, 0.0, cartDb) : 0.0;
    const double gainDb = matchDb + std::max(cartDb, -120.0);
    return std::isfinite(gainDb) ? std::pow(10.0, gainDb / 20.0) : 1.0;
}

double AudioMediaPlayer::heldGainDb(const QString &fileName, double gainDb)
{
    const double matchDb = m_loudnessTarget && knownLoudness(fileName) ? 20.0 * std::log10(gainFor(fileName)) : 0.0;
    return 20.0 * std::log10(gainFor(fileName, gainDb)) - matchDb;
}

void AudioMediaPlayer::rearm(const QString &path)
{
    if (const Armed old = m_armed.take(path); old.voice)
        m_engine.release(old.voice);
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
    return preListenPart(fileName, CartPlayback{});
}

bool AudioMediaPlayer::preListenPart(const QString &fileName, const CartPlayback &playback)
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
    const bool counting = decoder && decoder->lengthNeedsCounting();
    const std::optional<qint64> frames = decoder && !counting ? decoder->exactLength() : std::nullopt;
    if (!decoder || (!counting && !frames))
        return false;
    if (!playback.isPlain()) {
        CartPlayback once = playback;
        once.loop = false;
        const int rate = decoder->rate();
        decoder = TrimmedDecoder::wrap(std::move(decoder), trimFor(once, frames, rate));
        if (!decoder)
            return false;
    }
    m_preListen = m_engine.arm(std::make_unique<TrackStream>(std::move(decoder)),
                               tr("%1 (pre-listen)").arg(mediaName(fileName)), gainFor(fileName, playback.gainDb),
                               m_preListenOutput, true);
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
    fadePut(m_put, seconds);
}

void AudioMediaPlayer::fadePut(Put &put, double seconds)
{
    if (put.rate <= 0 || seconds <= 0)
        return;
    if ((put.output != Output::Voice && put.output != Output::Clock) || put.fadeEndNs > 0)
        return;
    // The end is kept here as well as in the voice: should the server die or hang during the
    // fade, the fade still ends on time.
    put.fadeEndNs = monotonicNs() + qint64(seconds * 1e9);
    if (put.output == Output::Voice)
        m_engine.fadeOut(put.voice, qint64(seconds * put.rate));
}

bool AudioMediaPlayer::fadedOut()
{
    return fadedPut(m_put);
}

bool AudioMediaPlayer::fadedPut(Put &put)
{
    if (put.fadeEndNs <= 0)
        return false;
    playedFrames(put); // notices a voice that failed meanwhile
    const qint64 now = monotonicNs();
    if (put.output == Output::Voice)
        return put.voice->status().fadedOut.load() || now >= put.fadeEndNs + kFadeGraceNs;
    return put.output == Output::Clock && now >= put.fadeEndNs;
}

void AudioMediaPlayer::letGoUnwanted()
{
    for (auto it = m_armed.begin(); it != m_armed.end();) {
        if (m_captions.contains(it.key()) || it.key() == m_put.fileName) {
            ++it;
        } else {
            m_engine.release(it.value().voice);
            it = m_armed.erase(it);
        }
    }
}

void AudioMediaPlayer::startPlayback(quint64 generation)
{
    if (generation != m_generation || m_put.output != Output::Pending || !m_put.voice)
        return;
    m_put.startNs = monotonicNs();
    if (m_put.voice->status().failed.load()) {
        m_engine.release(m_put.voice);
        m_put.voice.reset();
        startClock(m_put, 0, m_put.startNs);
        return;
    }
    m_engine.start(m_put.voice);
    m_put.output = Output::Voice;
    // The next put of the same cart finds it armed again.
    if (m_captions.contains(m_put.fileName))
        armInBackground(m_put.fileName, false);
}

void AudioMediaPlayer::startClock(Put &put, qint64 fromFrame, qint64 sinceNs)
{
    put.output = Output::Clock;
    put.clockStartFrame = fromFrame;
    put.clockStartNs = sinceNs;
}

qint64 AudioMediaPlayer::playedFrames(Put &put)
{
    qint64 frames = 0;
    bool ended = false;
    if (put.output == Output::Voice) {
        const VoiceStatus &status = put.voice->status();
        if (const qint64 total = status.totalFrames.load(); put.durationPending && total >= 0) {
            // All decoded before the count came back: what plays is what counts (the part).
            put.durationPending = false;
            put.totalFrames = total;
            put.duration = double(total) / put.rate;
            if (&put == &m_put && m_durationKnown)
                m_durationKnown();
        }
        if (status.failed.load()) {
            // The server went away: the countdown goes on from what was heard.
            startClock(put, status.failedFrame.load(), std::max(status.failedAtNs.load(), put.startNs));
            put.voice.reset();
        } else if (status.ended.load()) {
            ended = true;
        } else {
            frames = m_engine.heardFrames(put.voice).value_or(0);
        }
    }
    switch (put.output) {
    case Output::None:
    case Output::Pending:
        return 0;
    case Output::Voice:
        break;
    case Output::Clock:
        frames = put.clockStartFrame + (monotonicNs() - put.clockStartNs) * put.rate / 1000000000;
        ended = !put.durationPending && !put.trim.loop && frames >= put.totalFrames;
        break;
    }
    if (ended)
        return put.totalFrames;
    if (put.trim.loop && !put.durationPending && put.totalFrames > 0) {
        // Each pass counts down afresh; the clock plays the loop for ever as the voice does.
        put.lastFrame = frames % put.totalFrames;
        return put.lastFrame;
    }
    // Short of the end the position stays short of the duration, whatever the server reports.
    const qint64 ceiling = put.durationPending ? std::max(frames, put.lastFrame)
                                               : std::max<qint64>(put.totalFrames - 1, 0);
    frames = std::clamp(frames, std::min(put.lastFrame, ceiling), ceiling);
    put.lastFrame = frames;
    return frames;
}

double AudioMediaPlayer::position()
{
    return positionOf(m_put);
}

double AudioMediaPlayer::positionOf(Put &put)
{
    if (put.rate <= 0)
        return 0;
    const qint64 frames = playedFrames(put);
    if (!put.durationPending && frames >= put.totalFrames)
        return put.duration; // the very value duration() returns, so their difference is 0
    return double(frames) / put.rate;
}

void AudioMediaPlayer::stop()
{
    ++m_generation;
    stopPut(m_put);
}

void AudioMediaPlayer::stopPut(Put &put)
{
    if (put.voice) {
        if (put.output == Output::Voice) {
            m_engine.stop(put.voice);
        } else if (!put.voice->status().failed.load() && !m_armed.contains(put.fileName)) {
            // Put and stopped before it started (the hover's preview): it stays armed.
            m_armed.insert(put.fileName, {put.voice, put.playback});
        } else {
            m_engine.release(put.voice);
        }
        put.voice.reset();
    }
    put.output = Output::None;
    put.lastFrame = 0;
    put.clockStartFrame = 0;
    put.fadeEndNs = 0;
}

int AudioMediaPlayer::keepPlaying()
{
    // Put in this same pass of the event loop: it starts now, so that it goes on as it would have.
    if (m_put.output == Output::Pending)
        startPlayback(m_generation);
    if (m_put.output != Output::Voice && m_put.output != Output::Clock)
        return 0;
    ++m_generation;
    const int id = ++m_lastLayer;
    m_layers.insert(id, std::exchange(m_put, Put{}));
    return id;
}

double AudioMediaPlayer::layerDuration(int id)
{
    const auto it = m_layers.constFind(id);
    return it == m_layers.cend() ? 0.0 : it->duration;
}

double AudioMediaPlayer::layerPosition(int id)
{
    const auto it = m_layers.find(id);
    return it == m_layers.end() ? 0.0 : positionOf(*it);
}

void AudioMediaPlayer::stopLayer(int id)
{
    auto it = m_layers.find(id);
    if (it == m_layers.end())
        return;
    stopPut(*it);
    m_layers.erase(it);
}

void AudioMediaPlayer::fadeLayer(int id, double seconds)
{
    const auto it = m_layers.find(id);
    if (it != m_layers.end())
        fadePut(*it, seconds);
}

void AudioMediaPlayer::duckLayer(int id, double db, double seconds)
{
    const auto it = m_layers.find(id);
    if (it == m_layers.end() || it->output != Output::Voice || it->rate <= 0)
        return; // on the silent clock nothing is heard to duck
    m_engine.duck(it->voice, std::pow(10.0, std::min(db, 0.0) / 20.0), qint64(std::max(seconds, 0.0) * it->rate));
}

bool AudioMediaPlayer::layerFadedOut(int id)
{
    const auto it = m_layers.find(id);
    return it != m_layers.end() && fadedPut(*it);
}
