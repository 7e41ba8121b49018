#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What tells one version of a file from another: its size, its times and, where the platform
// has one, its inode. The change time is set by the system on every change, so a file replaced
// by a copying tool that puts the modification time back still reads as changed.
struct FileIdentity
{
    qint64 size = 0;
    QDateTime modified;
    QDateTime metadataChanged;
    quint64 inode = 0;
    bool operator==(const FileIdentity &) const = default;

    // The identity of the file at path now; nothing when there is no such file.
    static std::optional<FileIdentity> of(const QString &path);
    // True while the file at path is still the one stored was taken of.
    static bool unchanged(const QString &path, const FileIdentity &stored) { return of(path) == stored; }
    // One line of text, and back: for caches kept on disk.
    QString toText() const;
    static std::optional<FileIdentity> fromText(const QString &text);
};
