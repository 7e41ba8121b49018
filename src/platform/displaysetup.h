#pragma once

// Settings for the connection to the display, made before the application object opens it. A
// setting the user made in the environment is kept.
void prepareDisplay();
