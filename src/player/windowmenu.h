#pragma once

#include "common/settings.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class LoudnessControl;
class OutputControl;
class PreListen;
class QAction;
class QMenu;
class QPoint;
class QWidget;

// The player window's own menu (the right button, or the Menu key): fade-out (Esc), stop all
// (Shift+Esc; the keys themselves are the window's, whatever the menu's state) and fade all
// first, then the rest grouped in submenus: Playback (the fade length, loudness matching, and
// what the window adds), Outputs (for air and pre-listen), Pages and shows, View, Remote control
// and Log, each filled by the part of the program it is for; and a track button's menu,
// which offers pre-listen first, then the cart's own items (change its file, rename it, clear
// it, its settings). The choices are kept in the settings and handed to the player;
// what the menu shows is read afresh each time it opens. Items for what the player cannot do
// are left out.
class WindowMenu : public QObject
{
    Q_OBJECT

public:
    // The menu of window (whose shortcuts it adds); loudness, outputs and preListen may be
    // unable (null, or a PreListen that is not available). canFade tells whether a fade-out
    // may be asked now, canStop whether anything plays; fadeRequested() and stopAllRequested()
    // ask for them.
    WindowMenu(QWidget *window, LoudnessControl *loudness, OutputControl *outputs, PreListen &preListen,
               std::function<bool()> canFade, std::function<bool()> canStop);

    QMenu *menu() const { return m_menu; }
    // The window menu's groups, in the order they stand; each is a submenu of menu().
    enum class Group { Playback, Outputs, PagesAndShows, View, RemoteControl, Log };
    QMenu *group(Group which) const;
    // Hands the stored choices to the player (as the window loads).
    void applySettings();
    // Brings the menu up to date with the settings and the server's outputs, and shows it.
    void popup(const QPoint &globalPos);
    // Track button index's menu, holding path: pre-listen (or stop it) first; then, unless the
    // button is locked by the cart on air, the window's items. Built as it is asked for.
    QMenu *cartMenu(int index, const QString &path, bool locked);
    // The menu of a button at globalPos: an empty slot's button at rest offers the window's
    // menu, as the window itself does; any other its cart menu.
    void popupCartMenu(int index, const QString &path, bool enabled, bool playing, const QPoint &globalPos);

    // Items a control surface adds to a track button's menu (index: its slot, 0-11), after the
    // window's own; not on a button locked by the cart on air.
    void setCartMenuExtension(std::function<void(QMenu *menu, int index)> extend) { m_extend = std::move(extend); }

signals:
    void fadeRequested();
    void stopAllRequested();
    void fadeAllRequested();
    // "Cart settings...", "Change file...", "Rename..." and "Clear" of track button index's menu.
    void cartSettingsRequested(int index);
    void changeFileRequested(int index);
    void renameRequested(int index);
    void clearRequested(int index);

private:
    void build(QWidget *window);
    void prepare();
    void fillOutputMenus();

    LoudnessControl *m_loudness;
    OutputControl *m_outputs;
    PreListen &m_preListen;
    std::function<bool()> m_canFade;
    std::function<bool()> m_canStop;
    Settings m_settings;
    QMenu *m_menu = nullptr;
    QMenu *m_cartMenu = nullptr;
    QList<QMenu *> m_groups; // by Group
    QAction *m_fadeOutAction = nullptr;
    QAction *m_stopAllAction = nullptr;
    QAction *m_fadeAllAction = nullptr;
    std::function<void(QMenu *, int)> m_extend;
};
