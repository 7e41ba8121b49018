#pragma once

#include <QtGlobal>

#include <atomic>
#include <vector>

// A bounded byte queue between exactly one writing thread and one reading thread, without a lock:
// each side only ever moves its own index forward.
class FrameRing
{
public:
    explicit FrameRing(qsizetype capacity);

    // Writer side: copies as much of data as fits and returns how much that was.
    qsizetype write(const char *data, qsizetype size);
    // Reader side: copies up to size bytes out and returns how many.
    qsizetype read(char *out, qsizetype size);

    qsizetype available() const;
    qsizetype freeSpace() const { return capacity() - available(); }
    qsizetype capacity() const { return qsizetype(m_buffer.size()); }

private:
    std::vector<char> m_buffer;
    std::atomic<quint64> m_written{0}; // bytes ever written; only the writer stores it
    std::atomic<quint64> m_read{0};    // bytes ever read; only the reader stores it
};
