#pragma once

#include "platform/mpg123decoder.h"

#include <QIODevice>

#include <memory>

// A read-only, sequential device that decodes on demand as the audio sink pulls, and counts
// the frames it has handed over.
class DecoderDevice : public QIODevice
{
public:
    DecoderDevice(std::unique_ptr<Mpg123Decoder> decoder, QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    bool atEnd() const override;
    qint64 bytesAvailable() const override;

    // Frames (one sample per channel) handed to the reader so far.
    qint64 framesHandedOver() const { return m_framesHandedOver; }

    // True once every decodable frame has been handed over.
    bool finished() const { return m_decoder->atEnd(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    std::unique_ptr<Mpg123Decoder> m_decoder;
    qint64 m_framesHandedOver = 0;
};
