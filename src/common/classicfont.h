#pragma once

#include <QFont>

// "MS Sans Serif" at a point size, falling back to metric-compatible faces where it is missing.
QFont classicFont(double pointSize, bool bold = true);
