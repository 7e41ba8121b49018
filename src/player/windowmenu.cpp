#include "player/windowmenu.h"

#include "tracklist/trackslot.h"
#include "platform/loudnesscontrol.h"
#include "platform/outputcontrol.h"
#include "player/prelisten.h"

#include <QAction>
#include <QActionGroup>
#include <QHash>
#include <QLocale>
#include <QMenu>
#include <QWidget>

WindowMenu::WindowMenu(QWidget *window, LoudnessControl *loudness, OutputControl *outputs, PreListen &preListen,
                       std::function<bool()> canFade, std::function<bool()> canStop)
    : QObject(window),
      m_loudness(loudness),
      m_outputs(outputs),
      m_preListen(preListen),
      m_canFade(std::move(canFade)),
      m_canStop(std::move(canStop))
{
    build(window);
}

void WindowMenu::build(QWidget *window)
{
    m_menu = new QMenu(window);
    m_menu->setObjectName(QStringLiteral("ContextMenu"));

    // The keys are named but not bound here: Esc must fade whatever state the menu was last left
    // in, so the window handles them itself (see WallKeys).
    m_fadeOutAction = m_menu->addAction(tr("Fade out") + QStringLiteral("\tEsc"));
    m_fadeOutAction->setObjectName(QStringLiteral("FadeOut"));
    connect(m_fadeOutAction, &QAction::triggered, this, &WindowMenu::fadeRequested);
    m_stopAllAction = m_menu->addAction(tr("Stop all") + QStringLiteral("\tShift+Esc"));
    m_stopAllAction->setObjectName(QStringLiteral("StopAll"));
    connect(m_stopAllAction, &QAction::triggered, this, &WindowMenu::stopAllRequested);
    m_fadeAllAction = m_menu->addAction(tr("Fade all") + QStringLiteral("\tCtrl+Esc"));
    m_fadeAllAction->setObjectName(QStringLiteral("FadeAll"));
    connect(m_fadeAllAction, &QAction::triggered, this, &WindowMenu::fadeAllRequested);

    m_menu->addSeparator();
    const std::pair<const char *, QString> groups[] = {{"Playback", tr("Playback")},
                                                       {"Outputs", tr("Outputs")},
                                                       {"PagesAndShows", tr("Pages and shows")},
                                                       {"View", tr("View")},
                                                       {"RemoteControl", tr("Remote control")},
                                                       {"Log", tr("Log")}};
    for (const auto &[name, title] : groups) {
        QMenu *submenu = m_menu->addMenu(title);
        submenu->setObjectName(QLatin1String(name));
        m_groups.append(submenu);
    }
    QMenu *playback = group(Group::Playback);
    QMenu *lengths = playback->addMenu(tr("Fade length"));
    lengths->setObjectName(QStringLiteral("FadeLength"));
    auto *lengthGroup = new QActionGroup(lengths);
    for (const double seconds : {0.5, 1.0, 2.0, 4.0, 8.0}) {
        QAction *action = lengths->addAction(tr("%1 s").arg(QLocale().toString(seconds)));
        action->setObjectName(QStringLiteral("FadeLength(%1)").arg(seconds));
        action->setCheckable(true);
        action->setData(seconds);
        lengthGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, seconds] { m_settings.setFadeSeconds(seconds); });
    }

    if (m_outputs) {
        group(Group::Outputs)->addMenu(tr("Output"))->setObjectName(QStringLiteral("Output"));
        group(Group::Outputs)->addMenu(tr("Pre-listen output"))->setObjectName(QStringLiteral("PreListenOutput"));
    }
    m_cartMenu = new QMenu(window);
    m_cartMenu->setObjectName(QStringLiteral("CartMenu"));

    if (m_loudness) {
        QMenu *loudness = playback->addMenu(tr("Match loudness"));
        loudness->setObjectName(QStringLiteral("MatchLoudness"));
        auto *loudnessGroup = new QActionGroup(loudness);
        const std::optional<double> targets[] = {std::nullopt, -23.0, -18.0, -16.0};
        for (const std::optional<double> target : targets) {
            QAction *action = loudness->addAction(target ? tr("%1 LUFS").arg(*target) : tr("Off"));
            action->setObjectName(target ? QStringLiteral("MatchLoudness(%1)").arg(*target)
                                         : QStringLiteral("MatchLoudness(Off)"));
            action->setCheckable(true);
            action->setData(target ? QVariant(*target) : QVariant());
            loudnessGroup->addAction(action);
            connect(action, &QAction::triggered, this, [this, target] {
                m_settings.setLoudnessTarget(target);
                m_loudness->setLoudnessTarget(target);
            });
        }
    }
}

QMenu *WindowMenu::group(Group which) const
{
    return m_groups.at(qsizetype(which));
}

void WindowMenu::applySettings()
{
    if (m_loudness)
        m_loudness->setLoudnessTarget(m_settings.loudnessTarget());
    if (m_outputs)
        m_outputs->setOutputs(m_settings.airOutput(), m_settings.preListenOutput());
}

void WindowMenu::popup(const QPoint &globalPos)
{
    prepare();
    m_menu->popup(globalPos);
}

void WindowMenu::prepare()
{
    // What the menu shows is read afresh: the settings file may have been provisioned meanwhile.
    // A group nothing filled (no outputs to choose) is not shown.
    for (QMenu *submenu : std::as_const(m_groups))
        submenu->menuAction()->setVisible(!submenu->isEmpty());
    m_fadeOutAction->setEnabled(m_canFade());
    m_stopAllAction->setEnabled(m_canStop());
    m_fadeAllAction->setEnabled(m_canStop());
    const double seconds = m_settings.fadeSeconds();
    for (QAction *action : m_menu->findChild<QMenu *>(QStringLiteral("FadeLength"))->actions())
        action->setChecked(action->data().toDouble() == seconds);
    if (m_loudness) {
        const std::optional<double> target = m_settings.loudnessTarget();
        for (QAction *action : m_menu->findChild<QMenu *>(QStringLiteral("MatchLoudness"))->actions())
            action->setChecked(target ? action->data().isValid() && action->data().toDouble() == *target
                                      : !action->data().isValid());
    }
    if (m_outputs)
        fillOutputMenus();
}

void WindowMenu::fillOutputMenus()
{
    const QList<MediaOutput> outputs = m_outputs->outputs();
    const QString air = m_settings.airOutput();
    const QString cue = m_settings.preListenOutput();
    // Outputs by what they show: twins (sixty "Null Output"s) get their names added.
    QHash<QString, int> seen;
    for (const MediaOutput &output : outputs)
        ++seen[output.description.isEmpty() ? output.name : output.description];
    const auto fill = [&](QMenu *menu, const QString &firstText, const QString &chosen, bool isAir) {
        menu->clear();
        auto *group = new QActionGroup(menu);
        const auto add = [&](const QString &text, const QString &name) {
            QAction *action = menu->addAction(text);
            action->setObjectName(name.isEmpty() ? QStringLiteral("(none)") : name);
            action->setCheckable(true);
            action->setChecked(name == chosen);
            group->addAction(action);
            connect(action, &QAction::triggered, this, [this, name, isAir] {
                if (isAir)
                    m_settings.setAirOutput(name);
                else
                    m_settings.setPreListenOutput(name);
                m_outputs->setOutputs(m_settings.airOutput(), m_settings.preListenOutput());
            });
        };
        add(firstText, QString());
        bool found = chosen.isEmpty();
        for (const MediaOutput &output : outputs) {
            QString text = output.description.isEmpty() ? output.name : output.description;
            if (seen.value(text) > 1 && text != output.name)
                text += QStringLiteral(" (%1)").arg(output.name);
            if (!isAir && !output.name.isEmpty() && output.name == air)
                text += tr(" (same as Output)");
            add(text, output.name);
            found = found || output.name == chosen;
        }
        // Kept, and said to be missing: it is used again once it comes back.
        if (!found)
            add(tr("%1 (missing)").arg(chosen), chosen);
    };
    fill(m_menu->findChild<QMenu *>(QStringLiteral("Output")), tr("Default"), air, true);
    fill(m_menu->findChild<QMenu *>(QStringLiteral("PreListenOutput")), tr("None"), cue, false);
}

QMenu *WindowMenu::cartMenu(int index, const QString &path, bool locked)
{
    m_cartMenu->clear();
    QAction *action = nullptr;
    if (m_preListen.cart() == index) {
        action = m_cartMenu->addAction(tr("Stop pre-listen"), this, [this] { m_preListen.stop(); });
    } else {
        const QString cue = m_settings.preListenOutput();
        QString text = tr("Pre-listen");
        if (cue.isEmpty())
            text += tr(" (no pre-listen output: choose one under Pre-listen output)");
        else if (cue == m_settings.airOutput())
            text += tr(" (same as Output)");
        action = m_cartMenu->addAction(text, this, [this, index, path] { m_preListen.start(index, path); });
        action->setEnabled(m_preListen.available() && !cue.isEmpty() && !trimSpaces(path).isEmpty());
    }
    action->setObjectName(QStringLiteral("PreListen"));
    // A button locked by the cart on air offers pre-listen alone: cueing the next cart is what
    // it is for during a show, and nothing else there may touch the air.
    if (locked)
        return m_cartMenu;
    // The cart's own work, from the keyboard as well as the mouse (the Menu key on a cart).
    const bool loaded = !trimSpaces(path).isEmpty();
    m_cartMenu->addAction(tr("Change file..."), this, [this, index] { emit changeFileRequested(index); })
        ->setObjectName(QStringLiteral("ChangeFile"));
    QAction *rename = m_cartMenu->addAction(tr("Rename..."), this, [this, index] { emit renameRequested(index); });
    rename->setObjectName(QStringLiteral("Rename"));
    rename->setEnabled(loaded);
    QAction *clear = m_cartMenu->addAction(tr("Clear"), this, [this, index] { emit clearRequested(index); });
    clear->setObjectName(QStringLiteral("Clear"));
    clear->setEnabled(loaded);
    QAction *settings = m_cartMenu->addAction(tr("Cart settings..."), this,
                                              [this, index] { emit cartSettingsRequested(index); });
    settings->setObjectName(QStringLiteral("CartSettings"));
    settings->setEnabled(!trimSpaces(path).isEmpty());
    if (m_extend)
        m_extend(m_cartMenu, index);
    m_cartMenu->addSeparator();
    m_cartMenu->addActions(m_menu->actions());
    return m_cartMenu;
}

void WindowMenu::popupCartMenu(int index, const QString &path, bool enabled, bool playing, const QPoint &globalPos)
{
    if (!enabled && !playing) {
        popup(globalPos);
        return;
    }
    prepare();
    cartMenu(index, path, !enabled)->popup(globalPos);
}
