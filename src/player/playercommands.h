#pragma once

#include "player/commandsurface.h"

class Form1;

// The command surface of the player window: commands go to the window as its keys would, and
// the window's own moments (a start, a stop, an end, a fade, its tick, a save) come out as
// changed().
class PlayerCommands : public CommandSurface
{
    Q_OBJECT

public:
    explicit PlayerCommands(Form1 &window, QObject *parent = nullptr);

    void fire(int slot) override;
    void showPage(int page) override;
    void stop() override;
    void fade() override;
    void stopAll() override;
    void fadeAll() override;
    void go() override;
    SurfaceState state() override;
    bool openShow(const QString &path) override;
    void raise() override;

private:
    Form1 &m_window;
};
