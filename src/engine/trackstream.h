#pragma once

#include "engine/framering.h"
#include "decoding/audiodecoder.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// One track on its way to the sound output: a worker thread decodes ahead into a bounded ring
// and the output drains it, so that whatever feeds the output never waits on the decoder or
// the disk. The first moments are decoded before the constructor returns.
class TrackStream
{
public:
    // decoder is open and positioned at the start of what is to play.
    explicit TrackStream(std::unique_ptr<AudioDecoder> decoder);
    ~TrackStream(); // stops the worker and waits for it
    TrackStream(const TrackStream &) = delete;
    TrackStream &operator=(const TrackStream &) = delete;

    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    SampleFormat sampleFormat() const { return m_format; }
    qint64 frameBytes() const { return m_frameBytes; }

    // Reader side (one thread at a time): up to maxBytes of whole frames; 0 when nothing is
    // ready, which is the end only once finished() says so.
    qint64 read(char *out, qint64 maxBytes);
    bool hasData() const { return m_ring.available() > 0; }
    // True once the decoder has yielded its last frame and the reader has taken it.
    bool finished() const { return m_decoded.load() && m_ring.available() == 0; }

private:
    bool decodeChunk(std::vector<char> &chunk);
    void decodeAhead(std::stop_token stop);

    std::unique_ptr<AudioDecoder> m_decoder; // the worker's alone once it runs
    const int m_rate;
    const int m_channels;
    const SampleFormat m_format;
    const qint64 m_frameBytes;
    FrameRing m_ring;
    std::atomic<bool> m_decoded{false};
    std::mutex m_mutex; // held only to wait for, and to signal, free space
    std::condition_variable_any m_spaceFreed;
    std::jthread m_worker; // declared last: stopped and joined before the rest goes
};
