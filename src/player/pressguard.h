#pragma once

#include "common/settings.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>

class QMenu;

// The guard against a double press: a press of the playing cart (its button, key, pad or a
// remote's fire) that comes within the "Ignore a second press within" time of the cart's start
// is ignored. Off by default (guard/milliseconds 0), when a second press stops at once. A stop
// asked as a stop, and a fade, are never ignored.
class PressGuard : public QObject
{
    Q_OBJECT

public:
    // Adds the "Ignore a second press within" submenu to menu.
    explicit PressGuard(QMenu *menu, QObject *parent = nullptr);

    // A cart started now.
    void started();
    // True when a press of slot is to be ignored, playing being the playing cart's slot.
    bool ignores(int slot, std::optional<int> playing) const;

private:
    Settings m_settings;
    QElapsedTimer m_since;
    int m_milliseconds = 0; // read as a cart starts
};
