#pragma once

#include "midi/midibinding.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a pad's light says.
enum class LightState {
    Off,      // empty, locked, or nothing to do
    Armed,    // may be pressed (dim)
    Playing,  // the cart on air: blinks with the window's blink
    Fading,   // the cart fading out (a fast blink)
    Learning, // its action is being learnt (a fast blink)
};

// The velocities of the generic profile (note-on; off is note-on velocity 0 unless set), kept
// as midi/generic=OFF,ARMED,PLAYING,BLINK in kelvo.conf.
struct GenericVelocities
{
    int off = 0;
    int armed = 16;
    int playing = 127;
    int blink = 64; // fading and learning
};

// How pads are lit, per controller: "generic", "apc-mini" (Akai APC mini: velocities 0-6),
// "apc-mini-mk2" (palette velocities, brightness and blink by channel), "launchpad-mini-mk3" and
// "launchpad-x" (Novation, in programmer mode: palette velocities, flashing on channel 2).
namespace MidiLights {

QStringList profiles();
// For people: "Akai APC mini"...
QString profileName(const QString &profile);
// The profile a device's name suggests; "generic" for any other.
QString profileFor(const QString &deviceName);
// What to send as a device with profile is connected (Launchpad: programmer mode).
QByteArray init(const QString &profile);
// The bytes that show state on the pad of input; phase is the window's blink (the red or the
// blue). Nothing for an input that cannot be lit (a program change).
QByteArray message(const QString &profile, const MidiInput &input, LightState state, bool phase,
                   const GenericVelocities &velocities = {});
// Reads "OFF,ARMED,PLAYING,BLINK"; the defaults for anything malformed.
GenericVelocities parseVelocities(const QString &text);

} // namespace MidiLights
