#pragma once

#include "midi/midievent.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

// What a press does: a cart of the page shown (slot 1-12), a cart of a page (page 1-99), stop,
// fade, the next or previous page, or a page.
struct MidiAction
{
    enum class Kind { Fire, FireOnPage, Stop, Fade, NextPage, PreviousPage, Page, Go, StopAll };
    Kind kind = Kind::Fire;
    int page = 0; // FireOnPage and Page: 1-99
    int slot = 0; // Fire and FireOnPage: 1-12

    bool operator==(const MidiAction &other) const = default;

    // "fire:3", "fire:2:3", "stop", "fade", "next", "previous", "page:2", "go", "stop-all";
    // nothing when malformed.
    static std::optional<MidiAction> parse(const QString &text);
    QString text() const;
    // For people: "cart 3", "page 2, cart 3", "Stop", "Next page"...
    QString description() const;
};

// The message a binding answers to: its kind and number, on a channel (0-15) or any (-1).
struct MidiInput
{
    MidiEvent::Kind kind = MidiEvent::Kind::NoteOn; // NoteOn, Control or Program
    int channel = -1;
    int number = 0;

    bool operator==(const MidiInput &other) const = default;

    // "note:1:60", "cc:10:7", "program:*:5" (kind, channel 1-16 or *, number 0-127).
    static std::optional<MidiInput> parse(const QString &text);
    QString text() const;
    // For people: "note 60 on channel 1".
    QString description() const;
    bool matches(const MidiEvent &event) const;
};

// A device's input bound to an action. device is the port's name as the transport gives it
// (client and port name, and "#2" for the second of two alike); empty: any device.
struct MidiBinding
{
    QString device;
    MidiInput input;
    MidiAction action;

    bool operator==(const MidiBinding &other) const = default;
};

// Every binding, kept in kelvo.conf's [midi] group as an array readable and writable by hand:
//   bindings\1\device=APC MINI:APC MINI MIDI 1
//   bindings\1\input=note:1:56
//   bindings\1\action=fire:1
// and each device's light profile (see MidiLights) as profiles\N\device and profiles\N\profile.
class MidiMap
{
public:
    static constexpr int kMaxBindings = 1024;

    const QList<MidiBinding> &bindings() const { return m_bindings; }
    // The binding a press answers to, the device's own before one for any device.
    std::optional<MidiBinding> find(const MidiEvent &press) const;
    // The action's first binding (one written by hand may have more).
    std::optional<MidiBinding> bindingFor(const MidiAction &action) const;
    // Binds: the action's earlier bindings go, and so does any other action bound to the same
    // input, which is then returned (it moved).
    std::optional<MidiAction> bind(const MidiBinding &binding);
    // Removes all of the action's bindings; false when it had none.
    bool forget(const MidiAction &action);
    QStringList devices() const;

    // The chosen profile of a device ("" for the one its name suggests).
    QString profileOf(const QString &device) const { return m_profiles.value(device); }
    void setProfile(const QString &device, const QString &profile);

    // Reads [midi] from settings; what is malformed is skipped and said in problems.
    void load(QSettings &settings, QStringList *problems);
    void save(QSettings &settings) const;

private:
    QList<MidiBinding> m_bindings;
    QHash<QString, QString> m_profiles;
};
