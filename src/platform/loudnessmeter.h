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

// The integrated loudness and true peak of the file at path, decoded exactly as it plays;
// nothing when it has none to measure (no audio, digital silence, shorter than one 400 ms
// gating block) or when cancel turns true meanwhile.
std::optional<Loudness> measureLoudness(const QString &path, const std::atomic<bool> *cancel = nullptr);
