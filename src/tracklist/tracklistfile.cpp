#include "tracklist/tracklistfile.h"

#include "tracklist/tracklistformat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

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
    const QByteArray bytes = TrackListFormat::serialize(tracks);
    QSaveFile file(path);
    // A writable file in a folder that is not (a shared install) can only be written in place.
    file.setDirectWriteFallback(true);
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
    if (const qint64 written = file.write(bytes); written != bytes.size()) {
        // A short write carries no error of its own; writing the rest shows what stopped it.
        const bool failedAgain = written >= 0 && file.write(bytes.sliced(written)) < 0;
        const QString reason = written < 0 || failedAgain ? file.errorString() : QObject::tr("the disk is full");
        return fail(QObject::tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
    if (!file.commit())
        return fail(QObject::tr("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return true;
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
