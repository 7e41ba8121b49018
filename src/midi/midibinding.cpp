#include "midi/midibinding.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

std::optional<int> numberIn(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("MidiBinding", text);
}

} // namespace

std::optional<MidiAction> MidiAction::parse(const QString &text)
{
    QStringList parts = text.split(QLatin1Char(':'));
    for (QString &part : parts)
        part = part.trimmed();
    const QString &kind = parts.constFirst();
    if (kind == QLatin1String("fire") && parts.size() == 2) {
        const std::optional<int> slot = numberIn(parts[1], 1, 12);
        if (!slot)
            return std::nullopt;
        return MidiAction{Kind::Fire, 0, *slot};
    }
    if (kind == QLatin1String("fire") && parts.size() == 3) {
        const std::optional<int> page = numberIn(parts[1], 1, 99);
        const std::optional<int> slot = numberIn(parts[2], 1, 12);
        if (!page || !slot)
            return std::nullopt;
        return MidiAction{Kind::FireOnPage, *page, *slot};
    }
    if (kind == QLatin1String("page") && parts.size() == 2) {
        const std::optional<int> page = numberIn(parts[1], 1, 99);
        if (!page)
            return std::nullopt;
        return MidiAction{Kind::Page, *page, 0};
    }
    if (parts.size() != 1)
        return std::nullopt;
    if (kind == QLatin1String("stop"))
        return MidiAction{Kind::Stop, 0, 0};
    if (kind == QLatin1String("fade"))
        return MidiAction{Kind::Fade, 0, 0};
    if (kind == QLatin1String("next"))
        return MidiAction{Kind::NextPage, 0, 0};
    if (kind == QLatin1String("previous"))
        return MidiAction{Kind::PreviousPage, 0, 0};
    if (kind == QLatin1String("go"))
        return MidiAction{Kind::Go, 0, 0};
    if (kind == QLatin1String("stop-all"))
        return MidiAction{Kind::StopAll, 0, 0};
    return std::nullopt;
}

QString MidiAction::text() const
{
    switch (kind) {
    case Kind::Fire:
        return QStringLiteral("fire:%1").arg(slot);
    case Kind::FireOnPage:
        return QStringLiteral("fire:%1:%2").arg(page).arg(slot);
    case Kind::Stop:
        return QStringLiteral("stop");
    case Kind::Fade:
        return QStringLiteral("fade");
    case Kind::NextPage:
        return QStringLiteral("next");
    case Kind::PreviousPage:
        return QStringLiteral("previous");
    case Kind::Page:
        return QStringLiteral("page:%1").arg(page);
    case Kind::Go:
        return QStringLiteral("go");
    case Kind::StopAll:
        return QStringLiteral("stop-all");
    }
    return {};
}

QString MidiAction::description() const
{
    switch (kind) {
    case Kind::Fire:
        return tr("cart %1").arg(slot);
    case Kind::FireOnPage:
        return tr("page %1, cart %2").arg(page).arg(slot);
    case Kind::Stop:
        return tr("Stop");
    case Kind::Fade:
        return tr("Fade out");
    case Kind::NextPage:
        return tr("Next page");
    case Kind::PreviousPage:
        return tr("Previous page");
    case Kind::Page:
        return tr("page %1").arg(page);
    case Kind::Go:
        return tr("GO");
    case Kind::StopAll:
        return tr("Stop all");
    }
    return {};
}

std::optional<MidiInput> MidiInput::parse(const QString &text)
{
    QStringList parts = text.split(QLatin1Char(':'));
    for (QString &part : parts)
        part = part.trimmed();
    if (parts.size() != 3)
        return std::nullopt;
    MidiInput input;
    if (parts[0] == QLatin1String("note"))
        input.kind = MidiEvent::Kind::NoteOn;
    else if (parts[0] == QLatin1String("cc"))
        input.kind = MidiEvent::Kind::Control;
    else if (parts[0] == QLatin1String("program"))
        input.kind = MidiEvent::Kind::Program;
    else
        return std::nullopt;
    if (parts[1].trimmed() == QLatin1String("*")) {
        input.channel = -1;
    } else {
        const std::optional<int> channel = numberIn(parts[1], 1, 16);
        if (!channel)
            return std::nullopt;
        input.channel = *channel - 1;
    }
    const std::optional<int> value = numberIn(parts[2], 0, 127);
    if (!value)
        return std::nullopt;
    input.number = *value;
    return input;
}

QString MidiInput::text() const
{
    const char *name = kind == MidiEvent::Kind::Control ? "cc" : kind == MidiEvent::Kind::Program ? "program" : "note";
    const QString channelText = channel < 0 ? QStringLiteral("*") : QString::number(channel + 1);
    return QStringLiteral("%1:%2:%3").arg(QLatin1String(name), channelText).arg(number);
}

QString MidiInput::description() const
{
    const QString what = kind == MidiEvent::Kind::Control ? tr("control %1")
        : kind == MidiEvent::Kind::Program                ? tr("program %1")
                                                          : tr("note %1");
    const QString where = channel < 0 ? tr("on any channel") : tr("on channel %1").arg(channel + 1);
    return what.arg(number) + QLatin1Char(' ') + where;
}

bool MidiInput::matches(const MidiEvent &event) const
{
    const MidiEvent::Kind eventKind = event.kind == MidiEvent::Kind::NoteOff ? MidiEvent::Kind::NoteOn : event.kind;
    return eventKind == kind && event.number == number && (channel < 0 || channel == event.channel);
}

std::optional<MidiBinding> MidiMap::find(const MidiEvent &press) const
{
    std::optional<MidiBinding> anyDevice;
    for (const MidiBinding &binding : m_bindings) {
        if (!binding.input.matches(press))
            continue;
        if (binding.device == press.device)
            return binding;
        if (binding.device.isEmpty() && !anyDevice)
            anyDevice = binding;
    }
    return anyDevice;
}

std::optional<MidiBinding> MidiMap::bindingFor(const MidiAction &action) const
{
    for (const MidiBinding &binding : m_bindings) {
        if (binding.action == action)
            return binding;
    }
    return std::nullopt;
}

std::optional<MidiAction> MidiMap::bind(const MidiBinding &binding)
{
    std::optional<MidiAction> moved;
    for (qsizetype i = m_bindings.size() - 1; i >= 0; --i) {
        const MidiBinding &old = m_bindings[i];
        const bool sameInput = old.device == binding.device && old.input == binding.input;
        if (sameInput && old.action != binding.action)
            moved = old.action;
        if (sameInput || old.action == binding.action)
            m_bindings.removeAt(i);
    }
    if (m_bindings.size() < kMaxBindings)
        m_bindings.append(binding);
    return moved;
}

bool MidiMap::forget(const MidiAction &action)
{
    return m_bindings.removeIf([&action](const MidiBinding &binding) { return binding.action == action; }) > 0;
}

QStringList MidiMap::devices() const
{
    QStringList names;
    for (const MidiBinding &binding : m_bindings) {
        if (!binding.device.isEmpty() && !names.contains(binding.device))
            names << binding.device;
    }
    return names;
}

void MidiMap::setProfile(const QString &device, const QString &profile)
{
    if (profile.isEmpty())
        m_profiles.remove(device);
    else
        m_profiles.insert(device, profile);
}

void MidiMap::load(QSettings &settings, QStringList *problems)
{
    m_bindings.clear();
    m_profiles.clear();
    settings.beginGroup(QStringLiteral("midi"));
    const int count = std::min(settings.beginReadArray(QStringLiteral("bindings")), kMaxBindings);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const QString inputText = settings.value(QStringLiteral("input")).toString();
        const QString actionText = settings.value(QStringLiteral("action")).toString();
        const std::optional<MidiInput> input = MidiInput::parse(inputText);
        const std::optional<MidiAction> action = MidiAction::parse(actionText);
        if (!input || !action) {
            problems->append(tr("MIDI binding %1 (\"%2\", \"%3\") is not understood and was skipped")
                                 .arg(i + 1)
                                 .arg(inputText.left(40), actionText.left(40)));
            continue;
        }
        const MidiBinding binding{settings.value(QStringLiteral("device")).toString().left(256), *input, *action};
        // Written by hand: two inputs for one action are both kept (a pad and a pedal, say);
        // one input for two actions keeps the later, and says so.
        const qsizetype same = m_bindings.indexOf(binding);
        if (same >= 0)
            continue;
        for (qsizetype j = 0; j < m_bindings.size(); ++j) {
            if (m_bindings[j].device == binding.device && m_bindings[j].input == binding.input) {
                problems->append(tr("MIDI binding %1 (%2) uses the input of an earlier one (%3), which it replaces")
                                     .arg(i + 1)
                                     .arg(binding.action.text(), m_bindings[j].action.text()));
                m_bindings.removeAt(j);
                break;
            }
        }
        m_bindings.append(binding);
    }
    settings.endArray();
    const int profiles = std::min(settings.beginReadArray(QStringLiteral("profiles")), kMaxBindings);
    for (int i = 0; i < profiles; ++i) {
        settings.setArrayIndex(i);
        setProfile(settings.value(QStringLiteral("device")).toString().left(256),
                   settings.value(QStringLiteral("profile")).toString().left(64));
    }
    settings.endArray();
    settings.endGroup();
}

void MidiMap::save(QSettings &settings) const
{
    settings.beginGroup(QStringLiteral("midi"));
    settings.remove(QStringLiteral("bindings")); // the group's other keys are the user's
    settings.remove(QStringLiteral("profiles"));
    settings.beginWriteArray(QStringLiteral("bindings"), int(m_bindings.size()));
    for (int i = 0; i < m_bindings.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("device"), m_bindings[i].device);
        settings.setValue(QStringLiteral("input"), m_bindings[i].input.text());
        settings.setValue(QStringLiteral("action"), m_bindings[i].action.text());
    }
    settings.endArray();
    settings.beginWriteArray(QStringLiteral("profiles"), int(m_profiles.size()));
    int i = 0;
    for (auto it = m_profiles.cbegin(); it != m_profiles.cend(); ++it, ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("device"), it.key());
        settings.setValue(QStringLiteral("profile"), it.value());
    }
    settings.endArray();
    settings.endGroup();
}
