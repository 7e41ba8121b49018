#include "midi/midicontrol.h"

#include "common/diagnostics.h"
#include "common/settings.h"
#include "platform/monotonicclock.h"
#include "midi/miditransport.h"

#include <QSettings>

MidiControl::MidiControl(CommandSurface &commands, MidiTransport &transport, const MidiMap &map, QObject *parent)
    : QObject(parent),
      m_commands(commands),
      m_transport(transport),
      m_map(map),
      m_kept(false)
{
    m_learnTimer.setSingleShot(true);
    m_learnTimer.setInterval(kLearnMs);
    connect(&m_learnTimer, &QTimer::timeout, this, &MidiControl::cancelLearning);
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &MidiControl::refreshDevices);
}

MidiControl::MidiControl(CommandSurface &commands, MidiTransport &transport, QObject *parent)
    : MidiControl(commands, transport, MidiMap(), parent)
{
    m_kept = true;
    Settings settings;
    if (QSettings *file = settings.file()) {
        QStringList problems;
        m_map.load(*file, &problems);
        for (const QString &problem : std::as_const(problems))
            Diagnostics::report(QStringLiteral("midi-settings"), QString(), problem);
        // "0,16,127,64" reads as a list in an INI file.
        const QVariant velocities = file->value(QStringLiteral("midi/generic"));
        m_velocities = MidiLights::parseVelocities(velocities.typeId() == QMetaType::QStringList
                                                       ? velocities.toStringList().join(QLatin1Char(','))
                                                       : velocities.toString());
    }
}

bool MidiControl::start()
{
    m_available = m_transport.start(&m_problem);
    if (!m_available)
        return false;
    updateFilter();
    connect(&m_transport, &MidiTransport::received, this, &MidiControl::handle);
    // The first announcement of a batch starts the wait; later ones do not put it off, so a
    // steady stream of them cannot keep devices from being connected.
    connect(&m_transport, &MidiTransport::devicesChanged, this, [this] {
        if (!m_settle.isActive())
            m_settle.start();
    });
    connect(&m_commands, &CommandSurface::changed, this, [this](CommandSurface::Change what) {
        if (what == CommandSurface::Change::Started)
            m_phase = true;
        else if (what == CommandSurface::Change::Remaining)
            m_phase = !m_phase; // in step with the window's blink
        else if (what == CommandSurface::Change::Page)
            m_sent.clear(); // another page: every light afresh
        updateLights();
    });
    refreshDevices();
    return true;
}

QStringList MidiControl::knownDevices() const
{
    QStringList names = m_map.devices();
    for (const QString &device : m_present) {
        if (!names.contains(device))
            names << device;
    }
    names.sort();
    return names;
}

QString MidiControl::profileOf(const QString &device) const
{
    const QString chosen = m_map.profileOf(device);
    return chosen.isEmpty() ? MidiLights::profileFor(device) : chosen;
}

void MidiControl::setProfile(const QString &device, const QString &profile)
{
    m_map.setProfile(device, profile);
    save();
    if (m_connected.contains(device))
        m_transport.send(device, MidiLights::init(profileOf(device)));
    m_sent.clear();
    updateLights();
}

void MidiControl::learn(const MidiAction &action)
{
    m_learning = action;
    m_learnTimer.start();
    updateFilter();
    // The press may come from a device nothing is bound to yet.
    for (const QString &device : std::as_const(m_present)) {
        if (!m_connected.contains(device) && m_transport.connectDevice(device) != MidiTransport::Link::Missing) {
            m_connected.insert(device);
            m_forLearning.insert(device);
        }
    }
    updateLights();
}

void MidiControl::cancelLearning()
{
    if (!m_learning)
        return;
    m_learning.reset();
    m_learnTimer.stop();
    updateFilter();
    dropLearningLinks();
    updateLights();
    emit learningEnded();
}

bool MidiControl::forget(const MidiAction &action)
{
    QList<MidiBinding> going;
    for (const MidiBinding &binding : m_map.bindings()) {
        if (binding.action == action)
            going << binding;
    }
    if (!m_map.forget(action))
        return false;
    save();
    // Its pads go dark.
    for (const MidiBinding &binding : std::as_const(going)) {
        const QString profile = binding.device.isEmpty() ? QStringLiteral("generic") : profileOf(binding.device);
        if (m_connected.contains(binding.device))
            m_transport.send(binding.device,
                             MidiLights::message(profile, binding.input, LightState::Off, true, m_velocities));
        m_sent.remove(binding.device + QLatin1Char('\n') + binding.input.text());
    }
    return true;
}

void MidiControl::handle(const MidiEvent &event)
{
    // Kelvo's own lights looped back to its input (by a patchbay, or another Kelvo's) are no
    // presses; the sequencer transport drops this client's own before they get here.
    if (event.device.startsWith(QLatin1String("Kelvo:")) || !m_presses.isPress(event))
        return;
    // A press read more than a second ago (the window hung meanwhile) must not play now.
    if (event.arrivedAtMs > 0 && monotonicMs() - event.arrivedAtMs > kStaleMs) {
        Diagnostics::report(QStringLiteral("midi-late"), event.device,
                            QStringLiteral("a MIDI press handled %1 ms after it came, not acted on")
                                .arg(monotonicMs() - event.arrivedAtMs));
        return;
    }
    if (m_learning) {
        MidiInput input;
        input.kind = event.kind;
        input.channel = event.channel;
        input.number = event.number;
        const MidiBinding binding{event.device, input, *m_learning};
        const std::optional<MidiAction> moved = m_map.bind(binding);
        m_learning.reset();
        m_learnTimer.stop();
        save();
        if (!event.device.isEmpty() && !m_connected.contains(event.device)
            && m_transport.connectDevice(event.device) != MidiTransport::Link::Missing)
            m_connected.insert(event.device);
        dropLearningLinks();
        m_sent.clear();
        updateLights();
        emit learnt(binding, moved);
        emit learningEnded();
        return;
    }
    if (const std::optional<MidiBinding> binding = m_map.find(event))
        act(binding->action);
}

void MidiControl::act(const MidiAction &action)
{
    switch (action.kind) {
    case MidiAction::Kind::Fire:
        m_commands.fire(action.slot);
        break;
    case MidiAction::Kind::FireOnPage:
        m_commands.fireOnPage(action.page, action.slot);
        break;
    case MidiAction::Kind::Stop:
        m_commands.stop();
        break;
    case MidiAction::Kind::Fade:
        m_commands.fade();
        break;
    case MidiAction::Kind::Go:
        m_commands.go();
        break;
    case MidiAction::Kind::StopAll:
        m_commands.stopAll();
        break;
    case MidiAction::Kind::NextPage:
        m_commands.showPage(m_commands.state().shownPage + 1);
        break;
    case MidiAction::Kind::PreviousPage:
        m_commands.showPage(m_commands.state().shownPage - 1);
        break;
    case MidiAction::Kind::Page:
        m_commands.showPage(action.page);
        break;
    }
}

void MidiControl::refreshDevices()
{
    m_present = m_transport.devices();
    // Gone: its bindings stay, and its lights are sent afresh when it is back.
    for (auto it = m_connected.begin(); it != m_connected.end();) {
        if (m_present.contains(*it)) {
            ++it;
            continue;
        }
        forgetSent(*it);
        m_forLearning.remove(*it);
        it = m_connected.erase(it);
    }
    connectBound();
    updateLights();
}

void MidiControl::connectBound()
{
    for (const QString &device : m_map.devices()) {
        if (!m_present.contains(device))
            continue;
        // Asked each time: a device replugged faster than the announcements were read keeps
        // its name in the list but has lost its link, and maybe its number.
        const MidiTransport::Link link = m_transport.connectDevice(device);
        if (link == MidiTransport::Link::Missing)
            continue;
        const bool known = m_connected.contains(device);
        m_connected.insert(device);
        if (link == MidiTransport::Link::Kept && known)
            continue;
        forgetSent(device); // a device new to Kelvo, or back: its set-up and every light
        const QByteArray init = MidiLights::init(profileOf(device));
        if (!init.isEmpty())
            m_transport.send(device, init);
    }
}

void MidiControl::forgetSent(const QString &device)
{
    const QString prefix = device + QLatin1Char('\n');
    m_sent.removeIf([&prefix](const auto &sent) { return sent.key().startsWith(prefix); });
}

void MidiControl::dropLearningLinks()
{
    const QStringList bound = m_map.devices();
    for (const QString &device : std::as_const(m_forLearning)) {
        if (bound.contains(device))
            continue;
        m_transport.disconnectDevice(device);
        m_connected.remove(device);
        forgetSent(device);
    }
    m_forLearning.clear();
}

LightState MidiControl::stateOf(const MidiAction &action, const SurfaceState &state) const
{
    if (m_learning && *m_learning == action)
        return LightState::Learning;
    const auto cart = [&state](int page, int slot) {
        if (state.slot == slot && state.playingPage == page)
            return state.fading ? LightState::Fading : LightState::Playing;
        // Every cart on air is lit, where carts play together.
        for (const PlayingCart &playing : state.playingCarts) {
            if (playing.slot == slot && playing.page == page)
                return LightState::Playing;
        }
        if (page != state.shownPage || slot < 1 || slot > 12)
            return LightState::Off; // what another page holds is not the surface's to say
        const CartState &c = state.carts[size_t(slot - 1)];
        return c.loaded && c.enabled ? LightState::Armed : LightState::Off;
    };
    switch (action.kind) {
    case MidiAction::Kind::Fire:
        return cart(state.shownPage, action.slot);
    case MidiAction::Kind::FireOnPage:
        return cart(action.page, action.slot);
    case MidiAction::Kind::Stop:
        return state.slot > 0 ? LightState::Armed : LightState::Off;
    case MidiAction::Kind::Fade:
        return state.fading ? LightState::Fading : state.slot > 0 ? LightState::Armed : LightState::Off;
    case MidiAction::Kind::NextPage:
        return state.shownPage < state.pageCount ? LightState::Armed : LightState::Off;
    case MidiAction::Kind::PreviousPage:
        return state.shownPage > 1 ? LightState::Armed : LightState::Off;
    case MidiAction::Kind::Page:
        return action.page > state.pageCount ? LightState::Off : LightState::Armed;
    case MidiAction::Kind::Go:
        return state.runningOrder && state.nextSlot > 0 ? LightState::Armed : LightState::Off;
    case MidiAction::Kind::StopAll:
        return state.playing || state.slot > 0 ? LightState::Armed : LightState::Off;
    }
    return LightState::Off;
}

void MidiControl::updateLights()
{
    // The state is not asked for at every tick of a machine with a sequencer but no bindings.
    if (!m_available || m_map.bindings().isEmpty())
        return;
    const SurfaceState state = m_commands.state();
    for (const MidiBinding &binding : m_map.bindings()) {
        const LightState light = stateOf(binding.action, state);
        // The page shown's own pad is lit steadily, as the red of the blink.
        const bool shownPage = binding.action.kind == MidiAction::Kind::Page && binding.action.page == state.shownPage;
        const LightState shown = shownPage ? LightState::Playing : light;
        const bool phase = shownPage || m_phase;
        if (!binding.device.isEmpty() && m_connected.contains(binding.device))
            sendIfChanged(binding.device, binding.input,
                          MidiLights::message(profileOf(binding.device), binding.input, shown, phase, m_velocities));
        sendIfChanged(QString(), binding.input,
                      MidiLights::message(QStringLiteral("generic"), binding.input, shown, phase, m_velocities));
    }
}

void MidiControl::sendIfChanged(const QString &device, const MidiInput &input, const QByteArray &message)
{
    if (message.isEmpty())
        return;
    const QString key = device + QLatin1Char('\n') + input.text();
    const auto it = m_sent.constFind(key);
    if (it != m_sent.cend() && *it == message)
        return;
    // Kept as sent only when it was taken, so a refused light is sent again at the next change.
    if (m_transport.send(device, message))
        m_sent.insert(key, message);
    else
        m_sent.remove(key);
}

void MidiControl::updateFilter()
{
    if (m_learning) {
        m_transport.setFilter({});
        return;
    }
    // A copy: the transport reads it on its own thread.
    QList<QPair<QString, MidiInput>> inputs;
    for (const MidiBinding &binding : m_map.bindings())
        inputs.append({binding.device, binding.input});
    m_transport.setFilter([inputs](const MidiEvent &event) {
        // A note's release never acts (a control's fall is kept: its next rise is a press).
        if (event.kind == MidiEvent::Kind::NoteOff || (event.kind == MidiEvent::Kind::NoteOn && event.value == 0))
            return false;
        for (const auto &[device, input] : inputs) {
            if ((device.isEmpty() || device == event.device) && input.matches(event))
                return true;
        }
        return false;
    });
}

void MidiControl::save()
{
    updateFilter(); // every change of the bindings is saved
    if (!m_kept)
        return;
    Settings settings;
    if (QSettings *file = settings.file()) {
        m_map.save(*file);
        file->sync();
    }
}
