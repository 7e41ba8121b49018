#pragma once

#include "player/commandsurface.h"

#include <QStringList>

// The player window as a control surface sees it: what it is told ("fire:N", "page:P",
// "stop", "fade"), and a state the test sets and announces with tell().
class RecordingSurface : public CommandSurface
{
public:
    QStringList calls;
    SurfaceState now;

    RecordingSurface()
    {
        now.pageCount = 3;
        for (int n = 0; n < 6; ++n)
            now.carts[size_t(n)] = {QStringLiteral("C%1").arg(n + 1), true, true};
    }
    void fire(int slot) override { calls << QStringLiteral("fire:%1").arg(slot); }
    void showPage(int page) override
    {
        calls << QStringLiteral("page:%1").arg(page);
        if (page >= 1 && page <= now.pageCount)
            now.shownPage = page;
    }
    bool openShow(const QString &) override { return false; }
    void stop() override { calls << QStringLiteral("stop"); }
    void fade() override { calls << QStringLiteral("fade"); }
    void stopAll() override { calls << QStringLiteral("stop-all"); }
    void fadeAll() override { calls << QStringLiteral("fade-all"); }
    void go() override { calls << QStringLiteral("go"); }
    SurfaceState state() override { return now; }
    void raise() override { }
    void tell(Change what) { emit changed(what); }
};
