#include "player/pressguard.h"

#include "player/playercontrols.h"

#include <QMenu>

PressGuard::PressGuard(QMenu *menu, QObject *parent)
    : QObject(parent)
{
    QList<std::pair<QString, int>> items{{tr("Off"), 0}};
    for (const int milliseconds : Settings::kGuardChoices)
        items.append({tr("%1 ms").arg(milliseconds), milliseconds});
    PlayerControls::addChoiceMenu(
        menu, tr("Ignore a second press within"), "IgnoreSecondPress", items,
        [this] { return m_settings.guardMilliseconds(); },
        [this](int milliseconds) { m_settings.setGuardMilliseconds(milliseconds); });
}

void PressGuard::started()
{
    m_milliseconds = m_settings.guardMilliseconds();
    m_since.start();
}

bool PressGuard::ignores(int slot, std::optional<int> playing) const
{
    return playing == slot && m_milliseconds > 0 && m_since.isValid() && m_since.elapsed() < m_milliseconds;
}
