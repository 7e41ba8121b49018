#include "tracklist/tracklistfile.h"

#include "common/atomicwrite.h"
#include "tracklist/tracklistformat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
// Twelve records of bounded fields fit in far less; the cap keeps a stray huge file from
// exhausting memory or time.
constexpr qint64 kMaxBytesRead = 4 * 1024 * 1024;

QString rowList(const QList<int> &slotIndexes)
{
    QStringList rows;
    for (int n : slotIndexes)
        rows << QString::number(n + 1);
    return rows.join(QStringLiteral(", "));
}
} // namespace

namespace TrackListFile {

QString pathIn(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("Quorbel"));
}

QList<TrackSlot> read(const QString &path)
{
    // Only a regular file: opening a FIFO would block start-up, a device might never end.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential())
        return {};
    return TrackListFormat::parse(file.read(kMaxBytesRead));
}

bool write(const QString &path, const TrackList &tracks, QString *errorMessage)
{
    // Written as it stands, a double quote would split its field on the next read.
    if (const QList<int> quoted = TrackListFormat::slotsHoldingQuotes(tracks); !quoted.isEmpty()) {
        if (errorMessage)
            *errorMessage = QObject::tr("Track %1 holds a double quote (\"), which the track list cannot store. "
                                        "Remove it and save again.")
                                .arg(rowList(quoted));
        return false;
    }
    return writeFileWhole(path, TrackListFormat::serialize(tracks), errorMessage);
}

int removeStaleTemporaries(const QString &programFolder)
{
    // QSaveFile's temporary files for "Quorbel": the name, a dot and six random characters.
    const QRegularExpression pattern(QStringLiteral("^Quorbel\\.[A-Za-z0-9]{6}$"));
    const QDateTime cutoff = QDateTime::currentDateTime().addSecs(-60);
    int removed = 0;
    const QFileInfoList entries =
        QDir(programFolder).entryInfoList({QStringLiteral("Quorbel.*")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (pattern.match(entry.fileName()).hasMatch() && entry.lastModified() < cutoff
            && QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}

} // namespace TrackListFile
