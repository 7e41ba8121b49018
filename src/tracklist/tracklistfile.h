#pragma once

#include "tracklist/trackslot.h"

#include <QList>
#include <QString>

// The track-list file on disk: "Quorbel" in the program's folder. Each call opens, reads or
// writes completely, and closes; no handle outlives a call.
namespace TrackListFile {

// The file's path for a program folder.
QString pathIn(const QString &programFolder);

// The file's records (at most twelve). A missing or unreadable file reads as an empty one.
QList<TrackSlot> read(const QString &path);

// Replaces the file with the twelve tracks. The new content goes to a temporary file in the same
// folder that is renamed over the old one, so a failed or interrupted save leaves the previous
// file whole. Returns false with a readable reason in errorMessage when nothing was saved.
bool write(const QString &path, const TrackList &tracks, QString *errorMessage);

} // namespace TrackListFile
