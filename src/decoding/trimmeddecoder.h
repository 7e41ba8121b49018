#pragma once

#include "decoding/audiodecoder.h"

#include <memory>

// Where a cart plays within its file, in frames (samples per channel).
struct TrimFrames
{
    qint64 in = 0;
    qint64 out = -1; // where it stops, exclusive; -1 (or past the file's end): at the file's end
    bool loop = false;
    qint64 fadeIn = 0; // frames rising from silence at the start of the first pass

    bool isPlain() const { return in == 0 && out < 0 && !loop && fadeIn == 0; }
    friend bool operator==(const TrimFrames &, const TrimFrames &) = default;
};

// A decoder that yields part of another: from in to out, then, when looping, from in again
// without a gap or a repeated frame, until whoever reads it stops. The first fadeIn frames rise
// from silence along a raised cosine.
class TrimmedDecoder : public AudioDecoder
{
public:
    static constexpr qint64 kShortestLoopMs = 10; // a shorter part plays once

public:
    // decoder is open at its start. Plain trims hand it back as it is; nothing when in cannot
    // be reached (the file is shorter).
    static std::unique_ptr<AudioDecoder> wrap(std::unique_ptr<AudioDecoder> decoder, const TrimFrames &trim);

    int rate() const override { return m_inner->rate(); }
    int channels() const override { return m_inner->channels(); }
    SampleFormat sampleFormat() const override { return m_inner->sampleFormat(); }
    // One pass: out (or the file's end) minus in. Decodes to count when the file's header does
    // not say, and leaves the read position at the start of the pass.
    std::optional<qint64> exactLength() override;
    bool lengthNeedsCounting() const override { return m_inner->lengthNeedsCounting(); }
    qint64 read(char *out, qint64 maxBytes) override;
    bool atEnd() const override { return m_ended; }
    // Within the pass: frame 0 is in.
    bool seek(qint64 frame) override;

private:
    TrimmedDecoder(std::unique_ptr<AudioDecoder> inner, const TrimFrames &trim);
    bool moveInnerTo(qint64 frame);
    bool startPassAgain();

    std::unique_ptr<AudioDecoder> m_inner;
    TrimFrames m_trim;
    qint64 m_at = 0; // the inner decoder's read position
    bool m_firstPass = true;
    bool m_ended = false;
};
