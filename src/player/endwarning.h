#pragma once

#include "common/settings.h"

#include <QObject>

class QLabel;
class QMenu;

// The warning that the playing cart is about to end: in its last seconds (the "End warning"
// choice of the window's menu, kept as warning/seconds; off by default) the remaining-time
// display shows its digits in red. It follows the window's tick: nothing of its own runs.
class EndWarning : public QObject
{
    Q_OBJECT

public:
    // Adds the "End warning" submenu to menu; display is the remaining-time display.
    EndWarning(QMenu *menu, QLabel *display, QObject *parent = nullptr);

    // A tick while a cart plays, remaining seconds before its end.
    void tick(double remaining);
    // No cart plays: the display's own colour.
    void rest() { show(false); }
    bool showing() const { return m_showing; }

private:
    void show(bool warn);

    QLabel *m_display;
    Settings m_settings;
    bool m_showing = false;
    int m_seconds = 0; // read as a cart starts, not at every tick
    bool m_known = false;
};
