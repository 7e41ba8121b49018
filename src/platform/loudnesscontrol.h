#pragma once

#include <QString>

#include <optional>

// A media player that matches loudness. Calls come from the user-interface thread.
class LoudnessControl
{
public:
    virtual ~LoudnessControl() = default;

    // Plays every file at the given integrated loudness (LUFS) as far as its true peak allows
    // (at most -1 dBTP), or each at its own level with nothing. Files not yet measured play at
    // their own level.
    virtual void setLoudnessTarget(std::optional<double> lufs) = 0;
    // What is known of a file's loudness, for people: "-14.2 LUFS, peak -0.3 dBTP", "measuring",
    // "not measurable", or nothing when it is not being measured at all.
    virtual QString loudnessText(const QString &fileName) = 0;
};
