#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstring>

// Scales interleaved frames in place by gainOf(frame index): 16-bit samples rounded and held
// within range, floats as they come. A gain of exactly 1 leaves a frame as it is.
template <typename GainOf>
void scaleFrames(char *data, qint64 frames, int channels, bool isFloat, GainOf gainOf)
{
    for (qint64 f = 0; f < frames; ++f) {
        const double gain = gainOf(f);
        if (gain == 1.0)
            continue;
        for (qint64 i = f * channels; i < (f + 1) * channels; ++i) {
            if (isFloat) {
                float sample;
                std::memcpy(&sample, data + i * 4, 4);
                sample = float(double(sample) * gain);
                std::memcpy(data + i * 4, &sample, 4);
            } else {
                qint16 sample;
                std::memcpy(&sample, data + i * 2, 2);
                sample = qint16(std::clamp(std::lrint(double(sample) * gain), -32768L, 32767L));
                std::memcpy(data + i * 2, &sample, 2);
            }
        }
    }
}
