#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <optional>

class AudioDecoder;

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

// The measurement of one file, a part at a time, so that a long file can make way for others
// between parts. The file is decoded exactly as it plays. A mono file is measured as dual mono:
// it is heard on both channels of a stereo output, as loud as the same audio on each.
class LoudnessMeasurement
{
public:
    explicit LoudnessMeasurement(const QString &path);
    ~LoudnessMeasurement();
    LoudnessMeasurement(const LoudnessMeasurement &) = delete;
    LoudnessMeasurement &operator=(const LoudnessMeasurement &) = delete;

    // Measures up to frames more; true once all of the file has been measured (or it cannot be).
    bool advance(qint64 frames);
    // Frames measured so far, and the file's rate (0 when it cannot be measured).
    qint64 measuredFrames() const { return m_measured; }
    int rate() const;

    // Once advance() has returned true: the integrated loudness and true peak, or nothing when
    // the file has none to measure (no audio, digital silence, shorter than one 400 ms gating
    // block).
    std::optional<Loudness> result() const;

private:
    struct Meter; // libebur128's state, let go with it
    std::unique_ptr<AudioDecoder> m_decoder;
    std::unique_ptr<Meter> m_meter;
    qint64 m_measured = 0;
    bool m_done = false;
    bool m_failed = false;
};

// The whole file at once (see LoudnessMeasurement); nothing as well when cancel turns true
// meanwhile.
std::optional<Loudness> measureLoudness(const QString &path, const std::atomic<bool> *cancel = nullptr);
