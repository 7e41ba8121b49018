#include "tracklist/tracklistfile.h"

#include "tracklist/tracklistformat.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {
// Twelve records fit in far less; the cap only keeps a stray huge file from exhausting memory.
constexpr qint64 kMaxBytesRead = 16 * 1024 * 1024;
}

namespace TrackListFile {

QString pathIn(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("Quorbel"));
}

QList<TrackSlot> read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return TrackListFormat::parse(file.read(kMaxBytesRead));
}

bool write(const QString &path, const TrackList &tracks, QString *errorMessage)
{
    const QByteArray bytes = TrackListFormat::serialize(tracks);
    QSaveFile file(path);
    const auto fail = [&](const QString &reason) {
        if (errorMessage)
            *errorMessage = reason;
        file.cancelWriting();
        return false;
    };
    // Unbuffered: a buffered QSaveFile can commit after a short write (a full disk) as if all
    // was written; unbuffered, the short count shows at write() and the save is cancelled.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QObject::tr("Cannot create %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    if (file.write(bytes) != bytes.size())
        return fail(QObject::tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    if (!file.commit())
        return fail(QObject::tr("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return true;
}

} // namespace TrackListFile
