#pragma once

#include "waveform/peaksummary.h"

#include <QString>

#include <optional>

// Peak summaries already made, one small file each in a folder (by default
// $XDG_CACHE_HOME/kelvo/peaks), named after the audio file's path. A summary counts only while
// its audio file is unchanged (see FileIdentity); a damaged, foreign or oversized cache file is
// ignored and made again.
class PeakCache
{
public:
    explicit PeakCache(const QString &folder = defaultFolder());

    static QString defaultFolder();

    // The summary kept for path, when the file is unchanged since it was made.
    std::optional<PeakSummary> find(const QString &path) const;
    // Keeps a complete summary of path against the file's identity now; false, with why in
    // errorMessage, when it could not be written.
    bool insert(const QString &path, const PeakSummary &summary, QString *errorMessage = nullptr) const;

    // The most bytes a cache file may have: a summary of kMostBlocks blocks and its key.
    static constexpr qint64 kMostBytes = 4 * PeakSummaries::kMostBlocks + 64 * 1024;

private:
    QString fileFor(const QString &path) const;
    QString m_folder;
};
