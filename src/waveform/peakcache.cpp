#include "waveform/peakcache.h"

#include "common/atomicwrite.h"
#include "decoding/fileidentity.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr quint32 kMagic = 0x4b504b31; // "KPK1"
constexpr quint32 kVersion = 2;        // 2: a SHA-256 of all before it ends the file
constexpr qsizetype kChecksumBytes = 32;

// What a cache file is made for: the audio file's path and identity.
QString keyOf(const QString &path)
{
    const std::optional<FileIdentity> identity = FileIdentity::of(path);
    return identity ? identity->toText() + QLatin1Char(' ') + path : QString();
}

} // namespace

PeakCache::PeakCache(const QString &folder)
    : m_folder(folder)
{ }

QString PeakCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/kelvo/peaks");
}

QString PeakCache::fileFor(const QString &path) const
{
    const QByteArray name = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return m_folder + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".peaks");
}

std::optional<PeakSummary> PeakCache::find(const QString &path) const
{
    const QString key = keyOf(path);
    const QFileInfo info(fileFor(path));
    if (key.isEmpty() || !info.isFile() || info.size() > kMostBytes)
        return std::nullopt;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly) || file.isSequential())
        return std::nullopt;
    const QByteArray bytes = file.read(kMostBytes);
    // A body changed since it was written (a sine drawn flat) is made again, not drawn.
    if (bytes.size() <= kChecksumBytes
        || QCryptographicHash::hash(bytes.first(bytes.size() - kChecksumBytes), QCryptographicHash::Sha256)
            != bytes.last(kChecksumBytes))
        return std::nullopt;
    QDataStream in(bytes.first(bytes.size() - kChecksumBytes));
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    quint32 version = 0;
    QString storedKey;
    qint32 rate = 0;
    qint64 frames = 0;
    qint64 framesPerBlock = 0;
    qint32 blocks = 0;
    in >> magic >> version;
    if (magic != kMagic || version != kVersion)
        return std::nullopt;
    in >> storedKey >> rate >> frames >> framesPerBlock >> blocks;
    if (in.status() != QDataStream::Ok || storedKey != key || rate <= 0 || frames <= 0
        || framesPerBlock < PeakSummaries::kLeastFramesPerBlock || blocks <= 0 || blocks > PeakSummaries::kMostBlocks
        || (frames + framesPerBlock - 1) / framesPerBlock != blocks)
        return std::nullopt;
    PeakSummary summary;
    summary.rate = rate;
    summary.frames = frames;
    summary.framesPerBlock = framesPerBlock;
    summary.lows.resize(size_t(blocks));
    summary.highs.resize(size_t(blocks));
    for (qint32 i = 0; i < blocks; ++i)
        in >> summary.lows[size_t(i)] >> summary.highs[size_t(i)];
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return summary;
}

bool PeakCache::insert(const QString &path, const PeakSummary &summary, QString *errorMessage) const
{
    const QString key = keyOf(path);
    if (key.isEmpty() || !summary.complete() || summary.blocks() > PeakSummaries::kMostBlocks) {
        if (errorMessage)
            *errorMessage = QObject::tr("%1: nothing to keep").arg(path);
        return false;
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kVersion << key << qint32(summary.rate) << summary.frames << summary.framesPerBlock
        << qint32(summary.blocks());
    for (qsizetype i = 0; i < summary.blocks(); ++i)
        out << summary.lows[size_t(i)] << summary.highs[size_t(i)];
    bytes += QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    if (!QDir().mkpath(m_folder)) {
        if (errorMessage)
            *errorMessage = QObject::tr("Cannot create the folder %1").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    QString error;
    if (!writeFileWhole(fileFor(path), bytes, &error)) {
        if (errorMessage)
            *errorMessage = error;
        return false;
    }
    return true;
}
