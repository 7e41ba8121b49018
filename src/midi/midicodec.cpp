#include "midi/midicodec.h"

#include <alsa/asoundlib.h>

#include <algorithm>

namespace {

// A message's bytes, each 0-255.
QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

constexpr size_t kParserBuffer = 256; // SysEx beyond this is dropped by the parser, as it should be

} // namespace

void MidiCodec::Free::operator()(snd_midi_event *parser) const
{
    snd_midi_event_free(parser);
}

MidiCodec::MidiCodec()
{
    snd_midi_event *parser = nullptr;
    if (snd_midi_event_new(kParserBuffer, &parser) == 0) {
        m_parser.reset(parser);
        snd_midi_event_no_status(parser, 0); // running status is allowed on input
    }
}

MidiCodec::~MidiCodec() = default;

QList<MidiEvent> MidiCodec::decode(const QByteArray &bytes, const QString &device)
{
    QList<MidiEvent> events;
    if (!m_parser)
        return events;
    for (const char byte : bytes) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        if (snd_midi_event_encode_byte(m_parser.get(), static_cast<unsigned char>(byte), &event) != 1)
            continue;
        if (const std::optional<MidiEvent> message = fromSequencer(event, device))
            events.append(*message);
    }
    return events;
}

QByteArray MidiCodec::encode(const MidiEvent &event)
{
    const int channel = event.channel & 0x0F;
    const int number = event.number & 0x7F;
    const int value = event.value & 0x7F;
    switch (event.kind) {
    case MidiEvent::Kind::NoteOn:
        return bytesOf({0x90 | channel, number, value});
    case MidiEvent::Kind::NoteOff:
        return bytesOf({0x80 | channel, number, value});
    case MidiEvent::Kind::Control:
        return bytesOf({0xB0 | channel, number, value});
    case MidiEvent::Kind::Program:
        return bytesOf({0xC0 | channel, number});
    }
    return {};
}

std::optional<MidiEvent> MidiCodec::fromSequencer(const snd_seq_event_t &event, const QString &device)
{
    MidiEvent message;
    message.device = device;
    switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
    case SND_SEQ_EVENT_NOTEOFF:
        message.kind = event.type == SND_SEQ_EVENT_NOTEON ? MidiEvent::Kind::NoteOn : MidiEvent::Kind::NoteOff;
        message.channel = event.data.note.channel & 0x0F;
        message.number = event.data.note.note & 0x7F;
        message.value = event.data.note.velocity & 0x7F;
        return message;
    case SND_SEQ_EVENT_CONTROLLER:
        message.kind = MidiEvent::Kind::Control;
        message.channel = event.data.control.channel & 0x0F;
        if (event.data.control.param > 127)
            return std::nullopt;
        message.number = int(event.data.control.param);
        message.value = std::clamp(event.data.control.value, 0, 127);
        return message;
    case SND_SEQ_EVENT_PGMCHANGE:
        message.kind = MidiEvent::Kind::Program;
        message.channel = event.data.control.channel & 0x0F;
        message.number = std::clamp(event.data.control.value, 0, 127);
        return message;
    default:
        return std::nullopt;
    }
}
