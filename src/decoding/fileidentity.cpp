#include "decoding/fileidentity.h"

#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

std::optional<FileIdentity> FileIdentity::of(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    FileIdentity identity{info.size(), info.lastModified(), info.metadataChangeTime(), 0};
#ifdef Q_OS_UNIX
    struct stat st
    { };
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        identity.inode = quint64(st.st_ino);
#endif
    return identity;
}

QString FileIdentity::toText() const
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(size)
        .arg(modified.toMSecsSinceEpoch())
        .arg(metadataChanged.toMSecsSinceEpoch())
        .arg(inode);
}

std::optional<FileIdentity> FileIdentity::fromText(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(' '));
    if (fields.size() != 4)
        return std::nullopt;
    bool ok[4] = {};
    FileIdentity identity{fields[0].toLongLong(&ok[0]), QDateTime::fromMSecsSinceEpoch(fields[1].toLongLong(&ok[1])),
                          QDateTime::fromMSecsSinceEpoch(fields[2].toLongLong(&ok[2])), fields[3].toULongLong(&ok[3])};
    if (!(ok[0] && ok[1] && ok[2] && ok[3]))
        return std::nullopt;
    return identity;
}
