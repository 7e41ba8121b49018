#pragma once

#include "tracklist/trackslot.h"

#include <QList>
#include <QString>

// The track-list file on disk: "Quorbel" in the program's folder. Each call opens, reads or
// writes completely, and closes; no handle outlives a call.
namespace TrackListFile {

// The file's path for a program folder.
QString pathIn(const QString &programFolder);

// The file's records (at most twelve). A missing or unreadable file, or anything but a regular
// file (a FIFO, a device, a folder), reads as an empty one; reading never blocks.
QList<TrackSlot> read(const QString &path);

// Replaces the file with the twelve tracks. The new content goes to a temporary file in the same
// folder that is renamed over the old one, so a failed or interrupted save leaves the previous
// file whole (only where the folder cannot take a temporary file is the file written in place). A value holding a double quote is never written: the save is refused, naming the
// tracks. Returns false with a readable reason in errorMessage when nothing was saved.
bool write(const QString &path, const TrackList &tracks, QString *errorMessage);

// Removes what saves killed part-way left in programFolder: temporary files of exactly the save's
// pattern ("Quorbel." and six characters) older than a minute. Returns how many went.
int removeStaleTemporaries(const QString &programFolder);

} // namespace TrackListFile
