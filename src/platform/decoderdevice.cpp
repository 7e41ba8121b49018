#include "platform/decoderdevice.h"

DecoderDevice::DecoderDevice(std::unique_ptr<TrackStream> stream, QObject *parent)
    : QIODevice(parent), m_stream(std::move(stream))
{
    // Unbuffered, so that what the sink reads is exactly what has been handed over.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 DecoderDevice::bytesAvailable() const
{
    return QIODevice::bytesAvailable() + (m_stream->finished() ? 0 : m_stream->frameBytes() * m_stream->rate());
}

qint64 DecoderDevice::readData(char *data, qint64 maxSize)
{
    const qint64 bytes = m_stream->read(data, maxSize);
    m_framesHandedOver += bytes / m_stream->frameBytes();
    return bytes;
}

qint64 DecoderDevice::writeData(const char *, qint64)
{
    return -1;
}
