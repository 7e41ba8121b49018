#include "loudness/loudnessmeter.h"

#include "decoding/opendecoder.h"

#include <ebur128.h>

#include <cmath>
#include <vector>

namespace {

// About a tenth of a second at a time: the meter's filters are cheapest fed in long runs.
constexpr qint64 kBlockFrames = 4096;

} // namespace

bool isPlausible(const Loudness &loudness)
{
    return std::isfinite(loudness.integratedLufs) && std::isfinite(loudness.truePeakDb)
        && loudness.integratedLufs >= -70.0 && loudness.integratedLufs <= 12.0 && loudness.truePeakDb >= -90.0
        && loudness.truePeakDb <= 24.0;
}

struct LoudnessMeasurement::Meter
{
    ebur128_state *state = nullptr;
    Meter(const Meter &) = delete;
    Meter &operator=(const Meter &) = delete;
    explicit Meter(ebur128_state *made)
        : state(made)
    { }
    ~Meter()
    {
        if (state)
            ebur128_destroy(&state);
    }
};

LoudnessMeasurement::LoudnessMeasurement(const QString &path)
    : m_decoder(openDecoder(path))
{
    if (!m_decoder || !m_decoder->exactLength()) {
        m_failed = m_done = true;
        return;
    }
    m_meter = std::make_unique<Meter>(ebur128_init(unsigned(m_decoder->channels()),
                                                   static_cast<unsigned long>(m_decoder->rate()),
                                                   EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!m_meter->state
        || (m_decoder->channels() == 1 && ebur128_set_channel(m_meter->state, 0, EBUR128_DUAL_MONO) != EBUR128_SUCCESS))
        m_failed = m_done = true;
}

LoudnessMeasurement::~LoudnessMeasurement() = default;

int LoudnessMeasurement::rate() const
{
    return m_failed ? 0 : m_decoder->rate();
}

bool LoudnessMeasurement::advance(qint64 frames)
{
    if (m_done)
        return true;
    const bool isFloat = m_decoder->sampleFormat() == SampleFormat::Float32;
    std::vector<char> block(size_t(kBlockFrames * m_decoder->frameBytes()));
    for (qint64 done = 0; done < frames;) {
        const qint64 bytes = m_decoder->read(block.data(), qint64(block.size()));
        if (bytes <= 0) {
            m_done = true;
            return true;
        }
        const auto got = size_t(bytes / m_decoder->frameBytes());
        const int added = isFloat
            ? ebur128_add_frames_float(m_meter->state, reinterpret_cast<const float *>(block.data()), got)
            : ebur128_add_frames_short(m_meter->state, reinterpret_cast<const short *>(block.data()), got);
        if (added != EBUR128_SUCCESS) {
            m_failed = m_done = true;
            return true;
        }
        done += qint64(got);
        m_measured += qint64(got);
    }
    return false;
}

std::optional<Loudness> LoudnessMeasurement::result() const
{
    if (!m_done || m_failed)
        return std::nullopt;
    Loudness loudness;
    if (ebur128_loudness_global(m_meter->state, &loudness.integratedLufs) != EBUR128_SUCCESS
        || !std::isfinite(loudness.integratedLufs))
        return std::nullopt; // silence, or too short for a gating block
    double peak = 0;
    for (unsigned channel = 0; channel < unsigned(m_decoder->channels()); ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(m_meter->state, channel, &channelPeak) != EBUR128_SUCCESS)
            return std::nullopt;
        peak = std::max(peak, channelPeak);
    }
    if (peak <= 0)
        return std::nullopt;
    loudness.truePeakDb = 20 * std::log10(peak);
    if (!isPlausible(loudness))
        return std::nullopt;
    return loudness;
}

std::optional<Loudness> measureLoudness(const QString &path, const std::atomic<bool> *cancel)
{
    LoudnessMeasurement measurement(path);
    while (!measurement.advance(10 * kBlockFrames)) {
        if (cancel && cancel->load())
            return std::nullopt;
    }
    return measurement.result();
}
