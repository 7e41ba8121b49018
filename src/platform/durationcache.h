#pragma once

#include <QDateTime>
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
    struct Identity
    {
        qint64 size = 0;
        QDateTime modified;
        QDateTime metadataChanged; // set by the system on every change; no tool can put it back
        quint64 inode = 0;
        bool operator==(const Identity &) const = default;
    };
    static std::optional<Identity> identityOf(const QString &path);

    struct Entry
    {
        Identity identity;
        TrackLength length;
    };
    QHash<QString, Entry> m_entries;
};
