#pragma once

#include "midi/midievent.h"

#include <QHash>

// Which channel messages are presses: a note-on with a velocity above 0, a control change that
// rises across 64, a program change. A note-on with velocity 0 and a note-off are releases;
// velocity is never a level. Keeps each controller's last value, per device and channel.
class PressDetector
{
public:
    static constexpr int kMaxControllers = 4096; // what is remembered, whatever a flood sends

    bool isPress(const MidiEvent &event);

private:
    QHash<QString, int> m_controls; // device, channel and controller: the last value
};
