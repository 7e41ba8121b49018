#pragma once

// The sink's monitor as the benchmarks listen to it (a null sink named test_null).

#include "engine/pulsevoice.h"

#include <pulse/simple.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

// The sink's monitor, read in 2 ms blocks on a thread of its own, each block stamped on the
// monotonic clock as it arrives: when the first sample above a threshold reached the sink.
class StampedMonitor
{
public:
    explicit StampedMonitor(int threshold)
        : m_threshold(threshold)
    { }
    ~StampedMonitor() { stop(); }

    bool start()
    {
        pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 2};
        pa_buffer_attr attr{};
        attr.maxlength = quint32(-1);
        attr.fragsize = 88 * 4;
        int error = 0;
        m_pa = pa_simple_new(nullptr, "bench", PA_STREAM_RECORD, "test_null.monitor", "monitor", &format, nullptr,
                             &attr, &error);
        if (!m_pa)
            return false;
        m_thread = std::thread([this] { run(); });
        QThread::msleep(300); // connected and delivering
        return true;
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_pa)
            pa_simple_free(m_pa);
        m_pa = nullptr;
    }
    // Forgets what was heard so far.
    void reset()
    {
        m_onsetNs = -1;
        m_lastLoudNs = -1;
    }
    // When the first loud sample since reset() reached the sink; -1 while none has.
    qint64 onsetNs() const { return m_onsetNs.load(); }
    qint64 lastLoudNs() const { return m_lastLoudNs.load(); }

private:
    void run()
    {
        std::vector<qint16> block(88 * 2);
        while (!m_stop) {
            int error = 0;
            if (pa_simple_read(m_pa, block.data(), block.size() * 2, &error) < 0)
                return;
            const qint64 now = monotonicNs();
            for (size_t i = 0; i < block.size(); i += 2) {
                if (std::abs(int(block[i])) <= m_threshold)
                    continue;
                // The block's last frame arrived now; this one earlier by the frames after it.
                const qint64 at = now - qint64(block.size() / 2 - i / 2) * 1'000'000'000 / 44100;
                if (m_onsetNs.load() < 0)
                    m_onsetNs = at;
                m_lastLoudNs = at;
            }
        }
    }

    const int m_threshold;
    pa_simple *m_pa = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_onsetNs{-1};
    std::atomic<qint64> m_lastLoudNs{-1};
};

// Waits (running events) until the monitor has heard something, or a second has passed.
inline double waitOnsetMs(const StampedMonitor &monitor, qint64 sinceNs)
{
    QElapsedTimer clock;
    clock.start();
    while (monitor.onsetNs() < 0 && clock.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return monitor.onsetNs() < 0 ? -1 : double(monitor.onsetNs() - sinceNs) / 1e6;
}
