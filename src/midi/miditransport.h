#pragma once

#include "midi/midievent.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

// Where MIDI comes from and lights go to: the ALSA sequencer (AlsaMidiTransport) or a test's
// fake. A device is named by its client's and port's names ("APC MINI:APC MINI MIDI 1"), with
// "#2" after the second of two alike, never by a number, so a replugged device is found again.
// Calls and signals are on the user-interface thread.
class MidiTransport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts listening; false, with why, when there is no sequencer (nothing else then does
    // anything, and nothing is printed).
    virtual bool start(QString *why) = 0;
    // The devices that can send to Kelvo now; Kelvo's own ports, "Midi Through" and the sound
    // server's bridges are left out.
    virtual QStringList devices() const = 0;
    // What connectDevice() found: the device is not there; it was listened to already (at the
    // address it has now); or it is listened to from now on, as after a replug, and then needs
    // its set-up and every light again.
    enum class Link { Missing, Kept, Made };
    // Listens to device wherever it is now (another client number after a replug, a number
    // reused by another program) and lets lights be sent to it.
    virtual Link connectDevice(const QString &device) = 0;
    // Stops listening to device (one listened to for a learn alone, say).
    virtual void disconnectDevice(const QString &device) = 0;
    // Sends whole messages (SysEx included) to the port of device that takes them (its own, or
    // its client's other port where pads and lights are separate); to an empty device: to
    // whatever is connected to Kelvo's own lights port. False when not all of it was taken
    // (the device is gone or refused it): it is then worth sending again later.
    virtual bool send(const QString &device, const QByteArray &bytes) = 0;

    // Which messages are wanted at all (those of a binding, say): the others are dropped where
    // they are read, so traffic nothing answers to never wakes the window. Safe to call while
    // messages arrive; none set: every message is wanted.
    void setFilter(std::function<bool(const MidiEvent &)> wanted)
    {
        auto shared = std::make_shared<const std::function<bool(const MidiEvent &)>>(std::move(wanted));
        std::lock_guard<std::mutex> lock(m_filterLock);
        m_filter = std::move(shared);
    }

protected:
    // For the reading side, on whatever thread it reads.
    bool wanted(const MidiEvent &event) const
    {
        std::shared_ptr<const std::function<bool(const MidiEvent &)>> filter;
        {
            std::lock_guard<std::mutex> lock(m_filterLock);
            filter = m_filter;
        }
        return !filter || !*filter || (*filter)(event);
    }

signals:
    // A channel message from a device; never one of Kelvo's own.
    void received(const MidiEvent &event);
    // A device came or went.
    void devicesChanged();

private:
    mutable std::mutex m_filterLock;
    std::shared_ptr<const std::function<bool(const MidiEvent &)>> m_filter;
};
