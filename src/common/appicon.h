#pragma once

#include <QIcon>

// The player's and the editor's window icon, drawn in code in sixteen colours, 32x32 and 16x16.
QIcon appIcon();
