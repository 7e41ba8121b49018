#pragma once

#include <QIcon>
#include <QImage>

// The player's and the editor's window icon, drawn in code in sixteen colours, 32x32 and 16x16.
QIcon appIcon();

// The same drawing at any size (the installed icons: 16 to 256 pixels); needs no display.
QImage drawAppIcon(int size);
