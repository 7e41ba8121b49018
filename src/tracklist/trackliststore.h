#pragma once

#include "tracklist/trackslot.h"
#include "tracklist/trackstore.h"

#include <QList>
#include <QString>

// Where the track-list file is read from and saved to.
struct TrackListLocation
{
    QString readPath;
    QString savePath;
    bool operator==(const TrackListLocation &) const = default;
};

// The track list on disk for one program: where its file lives, reading it and saving it. It
// knows nothing of windows; whoever shows the slots listens to saved().
//
// The file is "Quorbel" beside the program whenever that folder is writable or the file there
// is (a build tree, an unpacked portable copy). Otherwise, and always for a program in a system
// program folder whoever runs it (root can write /usr/bin), it is the per-user file in the
// application's config folder, created on the first save; until then the file beside the
// program, if any, is read as a shipped default, so the first save carries the list forward.
class TrackListStore : public TrackStore
{
    Q_OBJECT

public:
    explicit TrackListStore(const QString &programFolder, QObject *parent = nullptr);

    // The rule above as a pure function of what the disk says.
    static TrackListLocation locate(const QString &besidePath, bool systemFolder, bool besideFolderWritable,
                                    bool besideExists, bool besideWritable, const QString &userPath, bool userExists);

    // True for the folders installed programs live in (/usr/bin, /usr/local/bin, /bin, this
    // build's own install folder), however reached.
    static bool isSystemProgramFolder(const QString &folder);

    // Where the list is read from and saved to now (asked of the disk on every call).
    TrackListLocation location() const;

    // The file's records, at most twelve; none when there is no readable file.
    QList<TrackSlot> load() const override;

    // Replaces the file whole with tracks and emits saved(tracks) once. On failure nothing is
    // written or emitted, and errorMessage says why.
    bool save(const TrackList &tracks, QString *errorMessage) override;

    // Removes temporary files that saves killed part-way left where the list is saved.
    void removeStaleTemporaries() const;

private:
    QString m_programFolder;
};
