#pragma once

#include <QString>

class QWidget;

// Tells the user something went wrong, in a message box over parent that does not block the
// caller. The only message the program shows: a save that failed, or input it cannot store.
void warnUser(QWidget *parent, const QString &text);
