#pragma once

#include "decoding/fileidentity.h"
#include "loudness/loudnessmeter.h"

#include <QHash>
#include <QString>

#include <optional>

// Loudness already measured, kept per user in a file (one line per audio file: its identity,
// its loudness or "none", its path), so that a restart measures nothing again. An entry counts
// only while the file is unchanged (see FileIdentity) and its values are plausible (see
// isPlausible); anything else is measured again.
class LoudnessCache
{
public:
    // Lines above these are measured again rather than trusted.
    static constexpr double kMostTrustedPeakDb = 6;
    static constexpr double kMostTrustedLufs = 0;

    // The cache kept in file; read now, missing or damaged lines ignored.
    explicit LoudnessCache(const QString &file);

    // The per-user cache file: $XDG_CACHE_HOME/kelvo/loudness.
    static QString defaultFile();

    // What was measured for path, when the file is unchanged since: a loudness, or nothing
    // for a file that has none to measure. Outer nothing when path is not known.
    std::optional<std::optional<Loudness>> find(const QString &path) const;

    // Stores what was measured for path against the file's current identity, and writes the
    // cache file; false, with the reason in errorMessage, when it could not be written.
    bool insert(const QString &path, std::optional<Loudness> loudness, QString *errorMessage = nullptr);

private:
    struct Entry
    {
        FileIdentity identity;
        std::optional<Loudness> loudness;
    };
    QString m_file;
    bool m_readOnly = false; // written by a newer version
    QHash<QString, Entry> m_entries;
};
