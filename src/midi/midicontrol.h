#pragma once

#include "midi/midibinding.h"
#include "midi/midilights.h"
#include "midi/pressdetector.h"
#include "player/commandsurface.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <optional>

class MidiTransport;

// MIDI pads on the player window's command surface: a press acts as a click on the track button
// (or as a function key), through the surface alone; the pads' lights follow the surface's
// change signal (playing, armed, off, fading, learning), and only lights that change are sent,
// to the device a binding came from and to Kelvo's own lights port. Bindings are learnt from the
// next press and kept in kelvo.conf. Devices with bindings are connected as they come, however
// often they are replugged.
class MidiControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLearnMs = 10000;   // a learn not answered by then is cancelled
    static constexpr qint64 kStaleMs = 1000; // a press handled later than this after it came is dropped
    static constexpr int kSettleMs = 150;    // a device that appeared names its ports meanwhile

    // Reads the bindings from the settings; start() then opens the transport.
    MidiControl(CommandSurface &commands, MidiTransport &transport, QObject *parent = nullptr);
    // With map's bindings instead, kept in memory alone: the settings are neither read nor written.
    MidiControl(CommandSurface &commands, MidiTransport &transport, const MidiMap &map, QObject *parent = nullptr);

    // Opens the transport and connects the bound devices there; false when there is no
    // sequencer (problem() says so): nothing else then changes.
    bool start();
    bool available() const { return m_available; }
    QString problem() const { return m_problem; }

    const MidiMap &map() const { return m_map; }
    // The devices bound or present, sorted; and whether one is present now.
    QStringList knownDevices() const;
    bool isPresent(const QString &device) const { return m_present.contains(device); }
    // The profile chosen for a device, else the one its name suggests.
    QString profileOf(const QString &device) const;
    // Chooses one ("" for the suggested one); its lights are sent again.
    void setProfile(const QString &device, const QString &profile);

    // The next press is bound to action (and presses fire nothing meanwhile); Esc, cancel or
    // kLearnMs end it unbound. Every device present is listened to meanwhile.
    void learn(const MidiAction &action);
    void cancelLearning();
    std::optional<MidiAction> learning() const { return m_learning; }
    // Removes action's binding; false when it had none.
    bool forget(const MidiAction &action);

    // The page the window shows (from 1), for a page's binding.
    int shownPage() const { return m_commands.state().shownPage; }

    // A message from the transport.
    void handle(const MidiEvent &event);

signals:
    // A learn bound binding; movedFrom is the action that input was bound to before, if any.
    void learnt(const MidiBinding &binding, const std::optional<MidiAction> &movedFrom);
    // A learn ended, bound or not.
    void learningEnded();

private:
    void act(const MidiAction &action);
    void refreshDevices();
    void connectBound();
    // What was sent to device is no longer known to be lit there.
    void forgetSent(const QString &device);
    // Devices listened to for a learn alone, and still bound to nothing, are let go.
    void dropLearningLinks();
    // Sends what changed (or everything, after a forget of what was sent).
    void updateLights();
    void sendIfChanged(const QString &device, const MidiInput &input, const QByteArray &message);
    LightState stateOf(const MidiAction &action, const SurfaceState &state) const;
    void save();
    // Tells the transport what is worth handing over: the bindings' inputs, or all while learning.
    void updateFilter();

    CommandSurface &m_commands;
    MidiTransport &m_transport;
    MidiMap m_map;
    PressDetector m_presses;
    GenericVelocities m_velocities;
    bool m_available = false;
    bool m_kept = true; // the bindings live in the settings
    QString m_problem;
    QStringList m_present;       // the devices there now
    QSet<QString> m_connected;   // those listened to
    QSet<QString> m_forLearning; // those listened to for a learn alone
    std::optional<MidiAction> m_learning;
    QTimer m_learnTimer;
    QTimer m_settle;
    bool m_phase = true;               // the window's blink: red
    QHash<QString, QByteArray> m_sent; // device and input: the last light sent
};
