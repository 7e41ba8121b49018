#include "midi/pressdetector.h"

bool PressDetector::isPress(const MidiEvent &event)
{
    switch (event.kind) {
    case MidiEvent::Kind::NoteOn:
        return event.value > 0;
    case MidiEvent::Kind::NoteOff:
        return false;
    case MidiEvent::Kind::Program:
        return true;
    case MidiEvent::Kind::Control: {
        const QString key = event.device + QLatin1Char('/') + QString::number(event.channel * 128 + event.number);
        const int before = m_controls.value(key, 0);
        if (m_controls.size() >= kMaxControllers && !m_controls.contains(key))
            m_controls.clear();
        m_controls.insert(key, event.value);
        return before < 64 && event.value >= 64;
    }
    }
    return false;
}
