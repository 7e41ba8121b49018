#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

// The wall's keys, wherever the keyboard is within Kelvo: over the player window, an open menu,
// the track-list editor, a cart's settings or the colour chooser. F1 to F12 fire their carts
// (an open menu closes first); Esc fades what plays (and closes an open menu with the same
// press); Shift+Esc stops all at once, Ctrl+Esc fades all; the page keys step through the
// pages; on a page run in order, Space is GO (Shift+Space and Ctrl+Space step the next cue back
// and forward), except in a field being typed into. At rest Esc and
// Shift+Esc are left to the menu or dialog they reach, which close as usual.
class WallKeys : public QObject
{
    Q_OBJECT

public:
    struct Actions
    {
        std::function<void(int slot)> fire;    // slot 0-11, as its function key
        std::function<void()> fade;            // as Esc
        std::function<void()> stopAll;         // as Shift+Esc
        std::function<void()> fadeAll;         // as Ctrl+Esc
        std::function<bool()> playing;         // whether anything plays on air
        std::function<bool(QKeyEvent *)> page; // a page key: true when it was one
        std::function<bool(int step)> cue;     // 0: GO; -1, 1: next steps back, forward; false:
                                               // the page shown is no running order
        std::function<bool()> inOrder;         // whether the page shown is a running order
    };

    // Watches every key of the application for window's wall.
    WallKeys(QWidget *window, Actions actions);
    ~WallKeys() override;

    // Closes every open menu, the innermost first.
    static void closeMenus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handle(QWidget *target, QKeyEvent *key);

    QWidget *m_window;
    Actions m_actions;
};
