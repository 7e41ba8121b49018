#include "platform/decoderdevice.h"

DecoderDevice::DecoderDevice(std::unique_ptr<Mpg123Decoder> decoder, QObject *parent)
    : QIODevice(parent), m_decoder(std::move(decoder))
{
    // Unbuffered, so that what the sink reads is exactly what has been handed over.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool DecoderDevice::atEnd() const
{
    return m_decoder->atEnd();
}

qint64 DecoderDevice::bytesAvailable() const
{
    // Decoding is on demand: there is always more until the stream ends.
    return m_decoder->atEnd() ? 0 : 2 * m_decoder->channels() * qint64(m_decoder->rate());
}

qint64 DecoderDevice::readData(char *data, qint64 maxSize)
{
    const qint64 bytes = m_decoder->read(data, maxSize);
    m_framesHandedOver += bytes / (2 * qint64(m_decoder->channels()));
    return bytes;
}

qint64 DecoderDevice::writeData(const char *, qint64)
{
    return -1;
}
