#include "decoding/durationcache.h"

std::optional<TrackLength> DurationCache::find(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    if (it == m_entries.cend() || !FileIdentity::unchanged(path, it->identity))
        return std::nullopt;
    return it->length;
}

void DurationCache::insert(const QString &path, TrackLength length)
{
    if (const std::optional<FileIdentity> identity = FileIdentity::of(path))
        m_entries.insert(path, Entry{*identity, length});
}
