#include "engine/trackstream.h"

#include <algorithm>

#ifdef Q_OS_LINUX
#include <pthread.h>
#endif

namespace {

constexpr qint64 kChunkFrames = 16384; // about 370 ms at 44.1 kHz: few wake-ups while playing
constexpr qint64 kAheadSeconds = 2;    // how far decoding runs ahead of the output

} // namespace

TrackStream::TrackStream(std::unique_ptr<AudioDecoder> decoder)
    : m_decoder(std::move(decoder)),
      m_rate(m_decoder->rate()),
      m_channels(m_decoder->channels()),
      m_format(m_decoder->sampleFormat()),
      m_frameBytes(m_decoder->frameBytes()),
      // At least two chunks, whatever the rate: the worker waits for room for a whole one.
      m_ring(std::max(kAheadSeconds * m_rate, 2 * kChunkFrames) * frameBytes())
{
    std::vector<char> chunk(size_t(kChunkFrames * frameBytes()));
    if (decodeChunk(chunk))
        m_worker = std::jthread([this](std::stop_token stop) { decodeAhead(stop); });
}

TrackStream::~TrackStream()
{
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_worker.join();
    }
}

bool TrackStream::decodeChunk(std::vector<char> &chunk)
{
    const qint64 bytes = m_decoder->read(chunk.data(), qint64(chunk.size()));
    m_ring.write(chunk.data(), bytes); // the caller made sure a whole chunk fits
    if (bytes == 0 || m_decoder->atEnd()) {
        m_decoded.store(true);
        return false;
    }
    return true;
}

void TrackStream::decodeAhead(std::stop_token stop)
{
#ifdef Q_OS_LINUX
    pthread_setname_np(pthread_self(), "Kelvo decode"); // as the desktop's tools list it
#endif
    std::vector<char> chunk(size_t(kChunkFrames * frameBytes()));
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (!m_spaceFreed.wait(lock, stop, [&] { return m_ring.freeSpace() >= qsizetype(chunk.size()); }))
                return; // stop requested
        }
        if (!decodeChunk(chunk))
            return;
    }
}

qint64 TrackStream::read(char *out, qint64 maxBytes)
{
    const qint64 bytes = m_ring.read(out, maxBytes - maxBytes % frameBytes());
    // The worker only wants waking once a whole chunk fits: fewer wake-ups while playing.
    if (bytes > 0 && m_ring.freeSpace() >= kChunkFrames * frameBytes()) {
        // Taking the mutex orders this wake after the worker's check of the free space.
        {
            std::lock_guard lock(m_mutex);
        }
        m_spaceFreed.notify_one();
    }
    return bytes;
}
