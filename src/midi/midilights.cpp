#include "midi/midilights.h"

#include "midi/midicodec.h"

#include <QCoreApplication>

namespace MidiLights {

namespace {

struct Colours
{
    int off, armed, playing, playingOther, fading, learning;
    int steadyChannel, playingChannel, blinkChannel; // -1: the input's own
};

// Palette velocities and channels as each maker documents them. The APC mini mk2's come from
// third-party summaries.
Colours coloursOf(const QString &profile, const GenericVelocities &v)
{
    if (profile == QLatin1String("apc-mini"))
        return {0, 1, 3, 0, 4, 6, 0, 0, 0}; // green, red / off, red blink, yellow blink
    if (profile == QLatin1String("apc-mini-mk2"))
        return {0, 21, 5, 45, 5, 13, 0, 6, 14}; // dim green; red and blue at full; blinking
    if (profile.startsWith(QLatin1String("launchpad")))
        return {0, 23, 5, 45, 5, 13, 0, 0, 1}; // dim green; red and blue; flashing on channel 2
    return {v.off, v.armed, v.playing, v.armed, v.blink, v.blink, -1, -1, -1};
}

} // namespace

QStringList profiles()
{
    return {QStringLiteral("generic"), QStringLiteral("apc-mini"), QStringLiteral("apc-mini-mk2"),
            QStringLiteral("launchpad-mini-mk3"), QStringLiteral("launchpad-x")};
}

QString profileName(const QString &profile)
{
    if (profile == QLatin1String("apc-mini"))
        return QStringLiteral("Akai APC mini");
    if (profile == QLatin1String("apc-mini-mk2"))
        return QStringLiteral("Akai APC mini mk2");
    if (profile == QLatin1String("launchpad-mini-mk3"))
        return QStringLiteral("Novation Launchpad Mini MK3");
    if (profile == QLatin1String("launchpad-x"))
        return QStringLiteral("Novation Launchpad X");
    return QCoreApplication::translate("MidiLights", "Generic (note-on velocities)");
}

QString profileFor(const QString &deviceName)
{
    const QString name = deviceName.toLower().remove(QLatin1Char(' '));
    if (name.contains(QLatin1String("apcmini")))
        return name.contains(QLatin1String("mk2")) ? QStringLiteral("apc-mini-mk2") : QStringLiteral("apc-mini");
    if (name.contains(QLatin1String("launchpadminimk3")) || name.contains(QLatin1String("lpminimk3")))
        return QStringLiteral("launchpad-mini-mk3");
    if (name.contains(QLatin1String("launchpadx")) || name.contains(QLatin1String("lpx")))
        return QStringLiteral("launchpad-x");
    return QStringLiteral("generic");
}

QByteArray init(const QString &profile)
{
    // Programmer mode, so that the pads send and light by their own numbers.
    if (profile == QLatin1String("launchpad-mini-mk3"))
        return QByteArray::fromHex("F0002029020D0E01F7");
    if (profile == QLatin1String("launchpad-x"))
        return QByteArray::fromHex("F0002029020C0E01F7");
    return {};
}

QByteArray message(const QString &profile, const MidiInput &input, LightState state, bool phase,
                   const GenericVelocities &velocities)
{
    if (input.kind == MidiEvent::Kind::Program)
        return {};
    const Colours c = coloursOf(profile, velocities);
    int value = c.off;
    int channel = c.steadyChannel;
    switch (state) {
    case LightState::Off:
        break;
    case LightState::Armed:
        value = c.armed;
        break;
    case LightState::Playing:
        value = phase ? c.playing : c.playingOther;
        channel = c.playingChannel;
        break;
    case LightState::Fading:
        value = c.fading;
        channel = c.blinkChannel;
        break;
    case LightState::Learning:
        value = c.learning;
        channel = c.blinkChannel;
        break;
    }
    if (channel < 0)
        channel = std::max(input.channel, 0);
    MidiEvent light;
    light.kind = input.kind == MidiEvent::Kind::Control ? MidiEvent::Kind::Control : MidiEvent::Kind::NoteOn;
    light.channel = channel;
    light.number = input.number;
    light.value = value;
    return MidiCodec::encode(light);
}

GenericVelocities parseVelocities(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return {};
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || values[i] < 0 || values[i] > 127)
            return {};
    }
    return {values[0], values[1], values[2], values[3]};
}

} // namespace MidiLights
