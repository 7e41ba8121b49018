#pragma once

#include <QString>

// One channel message from a MIDI device, as Kelvo reads it. Channels count 0-15 here; people
// count them 1-16.
struct MidiEvent
{
    enum class Kind { NoteOn, NoteOff, Control, Program };

    QString device; // the sending port's name (see MidiTransport); empty when not known
    Kind kind = Kind::NoteOn;
    int channel = 0;        // 0-15
    int number = 0;         // note, controller or program, 0-127
    int value = 0;          // velocity or controller value, 0-127; 0 for a program change
    qint64 arrivedAtMs = 0; // when it was read (monotonicMs()); 0: not known
};
