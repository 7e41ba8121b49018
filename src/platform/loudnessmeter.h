#pragma once

#include <QString>

#include <atomic>
#include <optional>

// A file's loudness as EBU R128 measures it.
struct Loudness
{
    double integratedLufs = 0;
    double truePeakDb = 0; // dBTP
};

// True for what a meter can return for audio it could measure: finite, an integrated loudness
// from the absolute gate (-70 LUFS) to what full-scale audio reaches, and a true peak to match.
// Anything else (read back from a damaged or forged cache) must be measured again.
bool isPlausible(const Loudness &loudness);

// The integrated loudness and true peak of the file at path, decoded exactly as it plays;
// nothing when it has none to measure (no audio, digital silence, shorter than one 400 ms
// gating block) or when cancel turns true meanwhile. A mono file is measured as dual mono: it is
// heard on both channels of a stereo output, as loud as the same audio on each.
std::optional<Loudness> measureLoudness(const QString &path, const std::atomic<bool> *cancel = nullptr);
