#include "platform/loudnessmeter.h"

#include "platform/audiodecoder.h"

#include <ebur128.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

struct StateDeleter
{
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};

} // namespace

bool isPlausible(const Loudness &loudness)
{
    return std::isfinite(loudness.integratedLufs) && std::isfinite(loudness.truePeakDb)
           && loudness.integratedLufs >= -70.0 && loudness.integratedLufs <= 12.0 && loudness.truePeakDb >= -90.0
           && loudness.truePeakDb <= 24.0;
}

std::optional<Loudness> measureLoudness(const QString &path, const std::atomic<bool> *cancel)
{
    const std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    if (!decoder || !decoder->exactLength())
        return std::nullopt;
    const std::unique_ptr<ebur128_state, StateDeleter> state(
        ebur128_init(unsigned(decoder->channels()), static_cast<unsigned long>(decoder->rate()), EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
    if (!state)
        return std::nullopt;
    if (decoder->channels() == 1 && ebur128_set_channel(state.get(), 0, EBUR128_DUAL_MONO) != EBUR128_SUCCESS)
        return std::nullopt;
    // About a tenth of a second at a time: the meter's filters are cheapest fed in long runs.
    std::vector<short> block(size_t(4096 * decoder->channels()));
    const qint64 blockBytes = qint64(block.size()) * 2;
    while (const qint64 bytes = decoder->read(reinterpret_cast<char *>(block.data()), blockBytes)) {
        if (cancel && cancel->load())
            return std::nullopt;
        if (ebur128_add_frames_short(state.get(), block.data(), size_t(bytes / decoder->frameBytes())) != EBUR128_SUCCESS)
            return std::nullopt;
    }
    Loudness loudness;
    if (ebur128_loudness_global(state.get(), &loudness.integratedLufs) != EBUR128_SUCCESS
        || !std::isfinite(loudness.integratedLufs))
        return std::nullopt; // silence, or too short for a gating block
    double peak = 0;
    for (unsigned channel = 0; channel < unsigned(decoder->channels()); ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(state.get(), channel, &channelPeak) != EBUR128_SUCCESS)
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
