#include "platform/audiomediaplayer.h"
#include "platform/qtopendialog.h"
#include "player/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Names the per-user folder of an installed copy's track list (~/.config/kelvo).
    QCoreApplication::setApplicationName(QStringLiteral("kelvo"));
    // The program ends through the player window alone, never because some other window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    auto openDialog = std::make_unique<QtOpenDialog>();
    Form1 player(std::make_unique<AudioMediaPlayer>(), std::move(openDialog), QCoreApplication::applicationDirPath());
    player.show();
    return app.exec();
}
