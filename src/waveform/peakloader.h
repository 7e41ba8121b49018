#pragma once

#include "waveform/peakcache.h"
#include "waveform/peaksummary.h"

#include <QObject>
#include <QString>

#include <memory>
#include <thread>

// Gets the peak summary of one file without holding up the user-interface thread: from the
// cache at once when it is there, otherwise made on a thread of its own, handed out in parts as
// it grows, then kept in the cache.
class PeakLoader : public QObject
{
    Q_OBJECT

public:
    explicit PeakLoader(QObject *parent = nullptr, const QString &cacheFolder = PeakCache::defaultFolder());
    // Stops a summary in the making and waits for its thread (a block of decoding at most).
    ~PeakLoader() override;

    // Starts on path, giving up any other: summaryChanged follows, from the event loop.
    void load(const QString &path);
    const PeakSummary &summary() const { return m_summary; }
    // True once the summary is whole, or nothing more will come (a file that cannot be decoded).
    bool done() const { return m_done; }

signals:
    void summaryChanged();

private:
    void take(quint64 generation, const PeakSummary &summary, bool done);

    PeakCache m_cache;
    PeakSummary m_summary;
    bool m_done = true;
    quint64 m_generation = 0;
    std::jthread m_worker; // declared last: stopped and joined first
};
