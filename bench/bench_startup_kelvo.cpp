#include "firstpaint.h"
#include "engine/audiomediaplayer.h"
#include "platform/displaysetup.h"
#include "platform/qtopendialog.h"
#include "player/form1.h"

#include <QApplication>

// Kelvo's start-up exactly as main.cpp does it, with the track list of the folder given.
int main(int argc, char *argv[])
{
    prepareDisplay();
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QCoreApplication::applicationDirPath();
    Form1 player(std::make_unique<AudioMediaPlayer>(), std::make_unique<QtOpenDialog>(), folder);
    FirstPaint watcher;
    player.installEventFilter(&watcher);
    player.show();
    return app.exec();
}
