#pragma once

#include "midi/midicodec.h"
#include "midi/miditransport.h"

#include <QList>
#include <QPair>

// A scripted MIDI transport: devices plugged and unplugged by the test, raw bytes pressed as a
// device would send them (parsed by ALSA's own parser and filtered, as the sequencer transport
// does on its reading thread; press() may be called from another thread, as that one reads),
// and what is sent recorded.
class FakeMidiTransport : public MidiTransport
{
public:
    bool sequencer = true;
    bool refuse = false; // every send fails, as to a device that takes nothing
    QStringList present;
    QStringList connected;                  // every connectDevice() that made a link, in order
    QStringList disconnected;               // every disconnectDevice(), in order
    QList<QPair<QString, QByteArray>> sent; // device ("" for Kelvo's lights port) and bytes

    bool start(QString *why) override
    {
        if (!sequencer)
            *why = QStringLiteral("no MIDI sequencer on this machine (/dev/snd/seq is missing)");
        return sequencer;
    }
    QStringList devices() const override { return present; }
    Link connectDevice(const QString &device) override
    {
        if (!present.contains(device))
            return Link::Missing;
        if (m_linked.contains(device))
            return Link::Kept;
        m_linked << device;
        connected << device;
        return Link::Made;
    }
    void disconnectDevice(const QString &device) override
    {
        m_linked.removeAll(device);
        disconnected << device;
    }
    bool send(const QString &device, const QByteArray &bytes) override
    {
        if (refuse || (!device.isEmpty() && !m_linked.contains(device)))
            return false;
        sent.append({device, bytes});
        return true;
    }

    // bytes from device, read at arrivedAtMs (monotonicMs(); 0: not known).
    void press(const QString &device, const QByteArray &bytes, qint64 arrivedAtMs = 0)
    {
        for (MidiEvent event : m_codec.decode(bytes, device)) {
            event.arrivedAtMs = arrivedAtMs;
            if (wanted(event))
                emit received(event);
        }
    }
    void plug(const QString &device)
    {
        present << device;
        emit devicesChanged();
    }
    void unplug(const QString &device)
    {
        present.removeAll(device);
        m_linked.removeAll(device);
        emit devicesChanged();
    }
    // Gone and back before anyone looked: the name never left the list, the link did.
    void replug(const QString &device)
    {
        m_linked.removeAll(device);
        emit devicesChanged();
    }
    // What was sent to device since the last call, as hexadecimal messages.
    QStringList take(const QString &device)
    {
        QStringList out;
        for (qsizetype i = 0; i < sent.size();) {
            if (sent[i].first == device)
                out << QString::fromLatin1(sent.takeAt(i).second.toHex(' '));
            else
                ++i;
        }
        return out;
    }

private:
    MidiCodec m_codec;
    QStringList m_linked; // what is listened to now
};
