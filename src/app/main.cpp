#include "platform/audiomediaplayer.h"
#include "platform/qtopendialog.h"
#include "player/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    auto openDialog = std::make_unique<QtOpenDialog>();
    Form1 player(std::make_unique<AudioMediaPlayer>(), std::move(openDialog), QCoreApplication::applicationDirPath());
    player.show();
    return app.exec();
}
