#include "waveform/peakloader.h"

#include <QMetaObject>

#ifdef Q_OS_LINUX
#include <pthread.h>
#endif

PeakLoader::PeakLoader(QObject *parent, const QString &cacheFolder)
    : QObject(parent),
      m_cache(cacheFolder)
{ }

PeakLoader::~PeakLoader()
{
    m_worker = {}; // request_stop() and join()
}

void PeakLoader::load(const QString &path)
{
    m_worker = {};
    const quint64 generation = ++m_generation;
    m_summary = {};
    m_done = false;
    if (std::optional<PeakSummary> kept = m_cache.find(path)) {
        // Handed out from the event loop, as a made one would be.
        QMetaObject::invokeMethod(
            this, [this, generation, kept = std::move(*kept)] { take(generation, kept, true); }, Qt::QueuedConnection);
        return;
    }
    m_worker = std::jthread([this, path, generation](std::stop_token stop) {
#ifdef Q_OS_LINUX
        pthread_setname_np(pthread_self(), "Kelvo peaks");
#endif
        const auto handOut = [this, generation](const PeakSummary &summary, bool done) {
            QMetaObject::invokeMethod(
                this, [this, generation, summary, done] { take(generation, summary, done); }, Qt::QueuedConnection);
        };
        const std::optional<PeakSummary> made = PeakSummaries::summarise(
            path, stop, [&](const PeakSummary &part) { handOut(part, false); });
        if (stop.stop_requested())
            return;
        if (made) {
            QString error;
            if (!m_cache.insert(path, *made, &error))
                qWarning("the waveform could not be kept: %s", qPrintable(error));
        }
        handOut(made.value_or(PeakSummary{}), true);
    });
}

void PeakLoader::take(quint64 generation, const PeakSummary &summary, bool done)
{
    if (generation != m_generation)
        return; // for a file given up since
    m_summary = summary;
    m_done = done;
    emit summaryChanged();
}
