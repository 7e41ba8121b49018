#include "loudness/loudnesscache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// More than any cart wall needs; a cache that grew past it starts afresh rather than slow down.
constexpr qsizetype kMostEntries = 10000;
constexpr qint64 kMostBytes = 4 * 1024 * 1024;
// The first line: what a cache of this version starts with. Caches without it measured mono
// files as one channel rather than as dual mono, so their entries are measured again.
constexpr int kVersion = 2;
const QByteArray kHeaderPrefix = QByteArrayLiteral("kelvo-loudness ");

} // namespace

LoudnessCache::LoudnessCache(const QString &file)
    : m_file(file)
{
    QFile in(file);
    if (!QFileInfo(file).isFile() || in.size() > kMostBytes || !in.open(QIODevice::ReadOnly))
        return;
    const QByteArray header = in.readLine(256).trimmed();
    if (header.startsWith(kHeaderPrefix)) {
        bool ok = false;
        const int version = header.mid(kHeaderPrefix.size()).toInt(&ok);
        if (!ok || version > kVersion) {
            m_readOnly = true; // a newer Kelvo's: used by neither, and never overwritten
            return;
        }
        if (version < kVersion)
            return;
    } else {
        return; // an older cache: everything in it is measured again
    }
    while (!in.atEnd() && m_entries.size() < kMostEntries) {
        const QString line = QString::fromUtf8(in.readLine()).chopped(1);
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 4)
            continue;
        const std::optional<FileIdentity> identity = FileIdentity::fromText(fields[0]);
        const QString path = fields.mid(3).join(QLatin1Char('\t'));
        if (!identity || path.isEmpty())
            continue;
        Entry entry{*identity, std::nullopt};
        if (fields[1] != QLatin1String("none")) {
            bool lufsOk = false, peakOk = false;
            const Loudness loudness{fields[1].toDouble(&lufsOk), fields[2].toDouble(&peakOk)};
            // A value no meter returns (a damaged or forged line) is measured again, and so is one
            // louder than any real programme (a false peak would hold the cart far too quiet).
            if (!lufsOk || !peakOk || !isPlausible(loudness) || loudness.truePeakDb > kMostTrustedPeakDb
                || loudness.integratedLufs > kMostTrustedLufs)
                continue;
            entry.loudness = loudness;
        }
        m_entries.insert(path, entry);
    }
}

QString LoudnessCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/kelvo/loudness");
}

std::optional<std::optional<Loudness>> LoudnessCache::find(const QString &path) const
{
    const auto it = m_entries.constFind(path);
    if (it == m_entries.cend() || !FileIdentity::unchanged(path, it->identity))
        return std::nullopt;
    return it->loudness;
}

bool LoudnessCache::insert(const QString &path, std::optional<Loudness> loudness, QString *errorMessage)
{
    const std::optional<FileIdentity> identity = FileIdentity::of(path);
    if (!identity || path.contains(QLatin1Char('\n')))
        return true; // nothing that could be found again
    if (m_entries.size() >= kMostEntries)
        m_entries.clear();
    m_entries.insert(path, Entry{*identity, loudness});
    if (m_readOnly)
        return true; // kept for this run; the file belongs to a newer Kelvo

    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSaveFile out(m_file);
    if (!out.open(QIODevice::WriteOnly)) {
        if (errorMessage)
            *errorMessage = out.errorString();
        return false;
    }
    out.write(kHeaderPrefix + QByteArray::number(kVersion) + '\n');
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const QString measured = it->loudness ? QStringLiteral("%1\t%2")
                                                    .arg(it->loudness->integratedLufs, 0, 'g', 17)
                                                    .arg(it->loudness->truePeakDb, 0, 'g', 17)
                                              : QStringLiteral("none\tnone");
        out.write(
            (it->identity.toText() + QLatin1Char('\t') + measured + QLatin1Char('\t') + it.key() + QLatin1Char('\n'))
                .toUtf8());
    }
    if (!out.commit()) {
        if (errorMessage)
            *errorMessage = out.errorString();
        return false;
    }
    return true;
}
