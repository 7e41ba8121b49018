#pragma once

#include "decoding/audiodecoder.h"

#include <memory>
#include <vector>

struct sf_private_tag;

// A file libsndfile reads (WAV and RF64, AIFF, FLAC, Ogg Vorbis, Opus). Files of 24 or 32 bits
// and float files decode to 32-bit float (24-bit samples exactly); the rest to 16-bit, which
// 16-bit files are already (compressed ones are decoded to it, floats past full scale clipped
// rather than wrapped). Files of more than two channels are refused.
class SndfileDecoder : public AudioDecoder
{
public:
    SndfileDecoder();
    ~SndfileDecoder() override;
    SndfileDecoder(const SndfileDecoder &) = delete;
    SndfileDecoder &operator=(const SndfileDecoder &) = delete;

    enum class Opened { Yes, Refused, Unrecognised };
    // Opens a regular file. Refused when libsndfile recognises it but it cannot play here (more
    // than two channels, no rate); Unrecognised when libsndfile does not know it or it is MPEG
    // audio (that is libmpg123's).
    Opened open(const QString &path);

    int rate() const override { return m_rate; }
    int channels() const override { return m_channels; }
    SampleFormat sampleFormat() const override { return m_format; }
    std::optional<qint64> exactLength() override;
    bool lengthNeedsCounting() const override { return m_statedFrames <= 0; }
    qint64 read(char *out, qint64 maxBytes) override;
    bool atEnd() const override { return m_ended; }
    bool seek(qint64 frame) override;

private:
    struct Closer
    {
        void operator()(sf_private_tag *file) const;
    };
    std::unique_ptr<sf_private_tag, Closer> m_file;
    int m_rate = 0;
    int m_channels = 0;
    SampleFormat m_format = SampleFormat::Int16;
    qint64 m_statedFrames = -1; // what the header says, when it says
    bool m_ended = true;
    bool m_shortsAsTheyAre = false; // read() takes 16-bit samples straight from the file
    std::vector<float> m_floats;    // what read() converts from
};
