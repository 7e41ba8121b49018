#pragma once

#include <QString>

#include <optional>

// Settings for the connection to the display, made before the application object opens it. A
// setting the user made in the environment is kept.
void prepareDisplay();

// Why no window can be shown, for one line on stderr (Qt itself would abort with advice about
// reinstalling that helps nobody); nothing when a display is there to try: a local X server's
// or Wayland compositor's socket exists, a remote X display is named, or QT_QPA_PLATFORM chose
// a platform.
std::optional<QString> displayProblem();
