#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

// The shape of an audio file for drawing: for each block of framesPerBlock frames, the lowest
// and the highest sample of any channel (16-bit full scale).
struct PeakSummary
{
    int rate = 0;
    qint64 frames = 0; // the file's exact length
    qint64 framesPerBlock = 1;
    std::vector<qint16> lows;
    std::vector<qint16> highs;

    qsizetype blocks() const { return qsizetype(lows.size()); }
    // The blocks the file has in all (the summary may hold fewer while it is being made).
    qsizetype blocksInAll() const { return qsizetype((frames + framesPerBlock - 1) / framesPerBlock); }
    bool complete() const { return frames > 0 && blocks() == blocksInAll(); }
};

namespace PeakSummaries {

// The most blocks a summary has: enough for any screen, small for a file of hours.
inline constexpr qint64 kMostBlocks = 32768;
// The fewest frames a block holds.
inline constexpr qint64 kLeastFramesPerBlock = 64;

// Decodes the file at path once and summarises it. partial (when given) is called now and then
// with what is made so far, from the calling thread. Nothing when the file cannot be decoded or
// stop is requested.
std::optional<PeakSummary> summarise(const QString &path, std::stop_token stop = {},
                                     const std::function<void(const PeakSummary &)> &partial = {});

} // namespace PeakSummaries
