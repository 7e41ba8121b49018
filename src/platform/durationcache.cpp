#include "platform/durationcache.h"

#include <QFileInfo>

std::optional<double> DurationCache::find(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    if (it == m_entries.cend())
        return std::nullopt;
    const QFileInfo info(path);
    if (!info.exists() || info.size() != it->size || info.lastModified() != it->modified)
        return std::nullopt;
    return it->seconds;
}

void DurationCache::insert(const QString &path, double seconds)
{
    const QFileInfo info(path);
    if (!info.exists())
        return;
    m_entries.insert(path, Entry{info.size(), info.lastModified(), seconds});
}
