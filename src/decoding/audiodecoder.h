#pragma once

#include <QString>

#include <optional>

// How decoded samples are laid out: signed 16-bit, or 32-bit float (full scale at +-1.0) for
// files that hold more than 16 bits, so that nothing of them is lost on the way.
enum class SampleFormat { Int16, Float32 };

// One audio file decoded to interleaved PCM at the file's own rate, mono or stereo.
class AudioDecoder
{
public:
    virtual ~AudioDecoder() = default;

    virtual int rate() const = 0;
    virtual int channels() const = 0;
    virtual SampleFormat sampleFormat() const { return SampleFormat::Int16; }
    qint64 sampleBytes() const { return sampleFormat() == SampleFormat::Float32 ? 4 : 2; }
    qint64 frameBytes() const { return sampleBytes() * qint64(channels()); }

    // Samples per channel that read() will yield from the start, exactly; the read position
    // is at the start afterwards. Nothing when the file holds no playable audio.
    virtual std::optional<qint64> exactLength() = 0;

    // True when exactLength() has to decode the whole file to count (no total in its header):
    // seconds for a long file, so not a thing to do on the user-interface thread.
    virtual bool lengthNeedsCounting() const { return false; }

    // Decodes up to maxBytes (whole frames) into out. Returns the bytes written; 0 once the
    // stream has ended or cannot be decoded further.
    virtual qint64 read(char *out, qint64 maxBytes) = 0;

    virtual bool atEnd() const = 0;

    // Moves the read position to frame (samples per channel from the start), exactly: the next
    // read() yields what a read from the start would have yielded from there. False when this
    // decoder cannot (the read position is then undefined).
    virtual bool seek(qint64 frame)
    {
        (void)frame;
        return false;
    }
};
