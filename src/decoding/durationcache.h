#pragma once

#include "decoding/fileidentity.h"

#include <QHash>
#include <QString>

#include <optional>

// A track's exact length: samples per channel at its sample rate.
struct TrackLength
{
    qint64 frames = 0;
    int rate = 0;
};

// Lengths already probed, keyed by path and checked against the file's identity (size, times
// and, where the platform has one, its inode), so that a changed or replaced file is probed
// again even when a copying tool put its modification time back.
class DurationCache
{
public:
    // The cached length of path, when the file is unchanged since it was stored.
    std::optional<TrackLength> find(const QString &path) const;

    // Stores path's length against the file's current identity.
    void insert(const QString &path, TrackLength length);

private:
    struct Entry
    {
        FileIdentity identity;
        TrackLength length;
    };
    QHash<QString, Entry> m_entries;
};
