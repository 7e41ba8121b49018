#pragma once

#include "decoding/audiodecoder.h"

#include <QString>

#include <memory>
#include <optional>

// Samples per second below which a file is not taken for audio.
inline constexpr int kMinimumRate = 1000;

// The decoder for the file at path, chosen by its content: MPEG audio goes to libmpg123
// (gapless, scanned), everything libsndfile recognises (WAV, AIFF, FLAC, Ogg Vorbis, Opus) to
// libsndfile. Nothing when neither can open it, when it is not a regular file, or when its rate
// is too low to be audio (below kMinimumRate).
std::unique_ptr<AudioDecoder> openDecoder(const QString &path);

// The exact length in seconds of the file at path, or nothing when it cannot be decoded.
std::optional<double> probeDuration(const QString &path);
