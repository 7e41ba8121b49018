#pragma once

#include "midi/midievent.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

struct snd_midi_event;
typedef struct snd_seq_event snd_seq_event_t;

// Raw MIDI bytes to channel messages and back, through ALSA's own parser (snd_midi_event), which
// resolves running status and skips realtime bytes and SysEx as the sequencer does. Works
// without a sequencer.
class MidiCodec
{
public:
    MidiCodec();
    ~MidiCodec();
    MidiCodec(const MidiCodec &) = delete;
    MidiCodec &operator=(const MidiCodec &) = delete;

    // The channel messages that bytes complete, from device; a message cut off at the end is
    // finished by the next call.
    QList<MidiEvent> decode(const QByteArray &bytes, const QString &device);
    // The bytes of a note-on (velocity 0 included), a control change or a program change.
    static QByteArray encode(const MidiEvent &event);

    // A sequencer event as a channel message; nothing for anything else (clock, active sensing,
    // SysEx, aftertouch, pitch bend, announcements).
    static std::optional<MidiEvent> fromSequencer(const snd_seq_event_t &event, const QString &device);

private:
    struct Free
    {
        void operator()(snd_midi_event *parser) const;
    };
    std::unique_ptr<snd_midi_event, Free> m_parser;
};
