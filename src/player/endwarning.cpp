#include "player/endwarning.h"

#include "common/colours.h"
#include "player/playercontrols.h"

#include <QLabel>
#include <QMenu>

EndWarning::EndWarning(QMenu *menu, QLabel *display, QObject *parent)
    : QObject(parent),
      m_display(display)
{
    QList<std::pair<QString, int>> items{{tr("Off"), 0}};
    for (const int seconds : Settings::kWarningChoices)
        items.append({tr("%1 s").arg(seconds), seconds});
    PlayerControls::addChoiceMenu(
        menu, tr("End warning"), "EndWarning", items, [this] { return m_settings.warningSeconds(); },
        [this](int seconds) {
            m_settings.setWarningSeconds(seconds);
            m_known = false;
        });
}

void EndWarning::tick(double remaining)
{
    if (!m_known) {
        // The settings file is read once a cart plays, then at a change of the choice.
        m_seconds = m_settings.warningSeconds();
        m_known = true;
    }
    show(m_seconds > 0 && remaining <= m_seconds);
}

void EndWarning::show(bool warn)
{
    if (warn == m_showing)
        return;
    m_showing = warn;
    QPalette palette = m_display->palette();
    palette.setColor(QPalette::WindowText, warn ? QColor(Qt::red) : Colours::colour(Colours::Yellow));
    m_display->setPalette(palette);
    if (!warn)
        m_known = false;
}
