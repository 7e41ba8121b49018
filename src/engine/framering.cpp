#include "engine/framering.h"

#include <algorithm>
#include <cstring>

FrameRing::FrameRing(qsizetype capacity)
    : m_buffer(size_t(std::max<qsizetype>(capacity, 1)))
{ }

qsizetype FrameRing::available() const
{
    return qsizetype(m_written.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire));
}

qsizetype FrameRing::write(const char *data, qsizetype size)
{
    const quint64 written = m_written.load(std::memory_order_relaxed);
    const quint64 read = m_read.load(std::memory_order_acquire);
    const qsizetype n = std::min(size, capacity() - qsizetype(written - read));
    const qsizetype at = qsizetype(written % quint64(capacity()));
    const qsizetype first = std::min(n, capacity() - at);
    std::memcpy(m_buffer.data() + at, data, size_t(first));
    std::memcpy(m_buffer.data(), data + first, size_t(n - first));
    // Release: the bytes are in place before the reader can see the new count.
    m_written.store(written + quint64(n), std::memory_order_release);
    return n;
}

qsizetype FrameRing::read(char *out, qsizetype size)
{
    const quint64 read = m_read.load(std::memory_order_relaxed);
    const quint64 written = m_written.load(std::memory_order_acquire);
    const qsizetype n = std::min(size, qsizetype(written - read));
    const qsizetype at = qsizetype(read % quint64(capacity()));
    const qsizetype first = std::min(n, capacity() - at);
    std::memcpy(out, m_buffer.data() + at, size_t(first));
    std::memcpy(out + first, m_buffer.data(), size_t(n - first));
    m_read.store(read + quint64(n), std::memory_order_release);
    return n;
}
