#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>

// Durations already probed, keyed by path and checked against the file's size and modification
// time, so that a changed file is probed again.
class DurationCache
{
public:
    // The cached duration of path, when the file is unchanged since it was stored.
    std::optional<double> find(const QString &path) const;

    // Stores path's duration against the file's current size and modification time.
    void insert(const QString &path, double seconds);

private:
    struct Entry
    {
        qint64 size = 0;
        QDateTime modified;
        double seconds = 0;
    };
    QHash<QString, Entry> m_entries;
};
