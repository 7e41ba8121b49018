#pragma once

#include "tracklist/trackslot.h"

#include <QList>
#include <QObject>

// Twelve slots that can be read and saved whole: the track-list file, or one page of a show.
// The editor and a drop of files work through this, whichever it is.
class TrackStore : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The stored records, at most twelve; none when nothing is stored.
    virtual QList<TrackSlot> load() const = 0;

    // Replaces the twelve slots and emits saved(tracks) once. On failure nothing is written or
    // emitted, and errorMessage says why.
    virtual bool save(const TrackList &tracks, QString *errorMessage) = 0;

signals:
    void saved(const TrackList &tracks);
};
