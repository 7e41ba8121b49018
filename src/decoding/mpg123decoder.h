#pragma once

#include "decoding/audiodecoder.h"

#include <QFile>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct mpg123_handle_struct;

// One MPEG audio file decoded by libmpg123 to interleaved signed 16-bit PCM, gapless, reading
// the file through a buffered reader of our own.
class Mpg123Decoder : public AudioDecoder
{
public:
    Mpg123Decoder();
    ~Mpg123Decoder() override;
    Mpg123Decoder(const Mpg123Decoder &) = delete;
    Mpg123Decoder &operator=(const Mpg123Decoder &) = delete;

    // Opens the file and reads up to its first audio frame. False, with the reason in
    // errorMessage, when it is not a readable MPEG audio file.
    bool open(const QString &path, QString *errorMessage = nullptr);

    int rate() const override { return m_rate; }
    int channels() const override { return m_channels; }

    // Samples per channel of a full gapless decode, found by scanning every frame; the read
    // position is back at the start afterwards, and from then on the decoder yields exactly
    // that many samples (a truncated file included, whose tag promises more than it holds).
    // A stream whose rate or channel count changes part-way ends at the change, here as in
    // read(). Nothing when the file has no decodable frame.
    std::optional<qint64> exactLength() override;

    // Decodes up to maxBytes (whole frames) into out. Returns the bytes written; 0 once the
    // stream has ended or cannot be decoded further.
    qint64 read(char *out, qint64 maxBytes) override;

    bool atEnd() const override { return m_ended; }

    // Exact once the frames have been scanned (exactLength() does that): gapless samples.
    bool seek(qint64 frame) override;

    // The reader state libmpg123 calls back into.
    struct Source
    {
        QFile file;
        std::vector<char> buffer;
        qint64 bufferStart = 0; // file offset of buffer[0]
        qsizetype bufferFill = 0;
        qint64 position = 0; // file offset of the next byte to hand out
    };

private:
    struct HandleDeleter
    {
        void operator()(mpg123_handle_struct *handle) const;
    };
    // Where the stream's format first changes, in samples per channel from the start; nothing
    // when it never changes. Leaves the read position undefined.
    std::optional<qint64> samplesBeforeFormatChange(qint64 frameCount);

    // Declared before the handle, which reads through it: the handle goes first.
    std::unique_ptr<Source> m_source;
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> m_handle;
    int m_rate = 0;
    int m_channels = 0;
    bool m_ended = true;
};
