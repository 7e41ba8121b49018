#pragma once

#include <QString>
#include <QStringList>

class Form2;
class TrackStore;

// Files dropped on track button index fill that slot and the following ones (up to the last),
// each captioned with its name, and the track list is saved at once; the other slots keep what
// the editor would open with (the file's records, and the hidden editor's rows beyond them),
// and a hidden editor shows what was saved. False, with the reason, when the save failed:
// nothing has changed then.
bool assignDroppedFiles(TrackStore &store, Form2 *editor, int index, const QStringList &paths, QString *errorMessage);
