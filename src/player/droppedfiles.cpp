#include "player/droppedfiles.h"

#include "editor/form2.h"
#include "tracklist/trackstore.h"

#include <QFileInfo>

bool assignDroppedFiles(TrackStore &store, Form2 *editor, int index, const QStringList &paths, QString *errorMessage)
{
    TrackList tracks{};
    if (editor) {
        for (int n = 0; n < SlotCount; ++n)
            tracks[n] = editor->row(n);
    }
    const QList<TrackSlot> records = store.load();
    for (int n = 0; n < records.size(); ++n)
        tracks[n] = records[n];
    for (int i = 0; i < paths.size() && index + i < SlotCount; ++i) {
        QString name = QFileInfo(paths[i]).completeBaseName();
        name.remove(QLatin1Char('"')); // the format cannot store one
        tracks[index + i] = {paths[i], name.left(20)};
    }
    if (!store.save(tracks, errorMessage))
        return false;
    // As if the user had typed it there.
    if (editor) {
        for (int n = 0; n < SlotCount; ++n)
            editor->setRow(n, tracks[n]);
    }
    return true;
}
