#include "waveform/peaksummary.h"

#include "decoding/opendecoder.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr qint64 kReadFrames = 16384;
constexpr qint64 kPartialEveryMs = 100; // how often a summary in the making is handed out

qint16 toShort(float sample)
{
    return qint16(std::clamp(std::lrint(double(sample) * 32768.0), -32768L, 32767L));
}

} // namespace

namespace PeakSummaries {

std::optional<PeakSummary> summarise(const QString &path, std::stop_token stop,
                                     const std::function<void(const PeakSummary &)> &partial)
{
    std::unique_ptr<AudioDecoder> decoder = openDecoder(path);
    if (!decoder)
        return std::nullopt;
    const std::optional<qint64> frames = decoder->exactLength();
    if (!frames || *frames <= 0 || stop.stop_requested())
        return std::nullopt;
    PeakSummary summary;
    summary.rate = decoder->rate();
    summary.frames = *frames;
    summary.framesPerBlock = std::max(kLeastFramesPerBlock, (*frames + kMostBlocks - 1) / kMostBlocks);
    summary.lows.reserve(size_t(summary.blocksInAll()));
    summary.highs.reserve(size_t(summary.blocksInAll()));

    const int channels = decoder->channels();
    const bool isFloat = decoder->sampleFormat() == SampleFormat::Float32;
    std::vector<char> buffer(size_t(kReadFrames * decoder->frameBytes()));
    qint16 low = std::numeric_limits<qint16>::max();
    qint16 high = std::numeric_limits<qint16>::min();
    qint64 inBlock = 0;
    qint64 decoded = 0;
    QElapsedTimer sincePartial;
    sincePartial.start();
    for (;;) {
        if (stop.stop_requested())
            return std::nullopt;
        const qint64 bytes = decoder->read(buffer.data(), qint64(buffer.size()));
        if (bytes <= 0)
            break;
        const qint64 got = bytes / decoder->frameBytes();
        decoded += got;
        for (qint64 f = 0; f < got; ++f) {
            for (int c = 0; c < channels; ++c) {
                qint16 sample;
                if (isFloat) {
                    float value;
                    std::memcpy(&value, buffer.data() + (f * channels + c) * 4, 4);
                    sample = toShort(value);
                } else {
                    std::memcpy(&sample, buffer.data() + (f * channels + c) * 2, 2);
                }
                low = std::min(low, sample);
                high = std::max(high, sample);
            }
            if (++inBlock == summary.framesPerBlock) {
                summary.lows.push_back(low);
                summary.highs.push_back(high);
                low = std::numeric_limits<qint16>::max();
                high = std::numeric_limits<qint16>::min();
                inBlock = 0;
            }
        }
        if (partial && sincePartial.elapsed() >= kPartialEveryMs) {
            partial(summary);
            sincePartial.restart();
        }
    }
    if (inBlock > 0) {
        summary.lows.push_back(low);
        summary.highs.push_back(high);
    }
    // What was decoded is what plays: a file that ends early is summarised as far as it goes.
    summary.frames = std::min(summary.frames, decoded);
    if (summary.blocks() == 0)
        return std::nullopt;
    return summary;
}

} // namespace PeakSummaries
