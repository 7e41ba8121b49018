#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

class MidiControl;
class QMenu;
class QWidget;
struct MidiAction;

// MIDI in the player window's menu: a "MIDI" submenu that says when there is no sequencer, and
// otherwise learns and forgets stop, fade and the page actions, lists the devices (a bound one
// that is unplugged says "(missing)") with each one's light profile; and "Learn MIDI..." and
// "Forget MIDI" in a track button's menu. A learn shows a small window that says what was bound,
// and from where a press already bound elsewhere was moved.
class MidiMenu : public QObject
{
    Q_OBJECT

public:
    MidiMenu(MidiControl &control, QWidget *window, QMenu *menu);

    // A track button's items, for its slot index (0-11).
    void addCartItems(QMenu *menu, int index);
    // The window a learn shows, while it is open.
    QMessageBox *learnWindow() const { return m_dialog; }

private:
    void fill();
    void learn(const MidiAction &action);

    MidiControl &m_control;
    QWidget *m_window;
    QMenu *m_menu;
    QPointer<QMessageBox> m_dialog;
};
