#include "platform/durationcache.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

std::optional<DurationCache::Identity> DurationCache::identityOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    Identity identity{info.size(), info.lastModified(), info.metadataChangeTime(), 0};
#ifdef Q_OS_UNIX
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        identity.inode = quint64(st.st_ino);
#endif
    return identity;
}

std::optional<TrackLength> DurationCache::find(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    if (it == m_entries.cend())
        return std::nullopt;
    const std::optional<Identity> identity = identityOf(path);
    if (!identity || !(*identity == it->identity))
        return std::nullopt;
    return it->length;
}

void DurationCache::insert(const QString &path, TrackLength length)
{
    if (const std::optional<Identity> identity = identityOf(path))
        m_entries.insert(path, Entry{*identity, length});
}
