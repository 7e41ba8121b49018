#pragma once

#include "platform/trackstream.h"

#include <QIODevice>

#include <memory>

// A read-only, sequential device over a track's decoded audio, for an audio sink to pull from;
// it counts the frames it has handed over.
class DecoderDevice : public QIODevice
{
    Q_OBJECT

public:
    explicit DecoderDevice(std::unique_ptr<TrackStream> stream, QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_stream->finished(); }
    qint64 bytesAvailable() const override;

    // Frames (one sample per channel) handed to the reader so far.
    qint64 framesHandedOver() const { return m_framesHandedOver; }
    // True once every frame of the track has been handed over.
    bool finished() const { return m_stream->finished(); }
    // True when decoded audio waits to be read.
    bool hasData() const { return m_stream->hasData(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    std::unique_ptr<TrackStream> m_stream;
    qint64 m_framesHandedOver = 0;
};
