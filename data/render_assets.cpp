// Build-time helper: renders the installed icons (from the window icon's drawing code) and the
// screenshot the AppStream metadata shows, into the folder given. Runs offscreen.
#include "common/appicon.h"
#include "engine/audiomediaplayer.h"
#include "platform/qtopendialog.h"
#include "player/form1.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/tracklistformat.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_assets OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 32, 48, 256}) {
        const QString folder = out.filePath(QStringLiteral("icons/%1x%1").arg(size));
        if (!QDir().mkpath(folder) || !drawAppIcon(size).save(folder + QStringLiteral("/org.kelvo.Kelvo.png")))
            return 1;
    }

    // The player window as a user sees it with a cart wall filled in.
    QTemporaryDir program;
    TrackList tracks{};
    const char *names[] = {"Station ID", "News Bed",   "Traffic",  "Weather", "Applause", "Door Bell",
                           "Thunder",    "Phone Ring", "Laughter", "Intro",   "Outro",    "Sting"};
    for (int n = 0; n < SlotCount; ++n)
        tracks[n] = {QStringLiteral("/home/studio/carts/%1.mp3").arg(n + 1), QString::fromLatin1(names[n])};
    QString error;
    if (!TrackListFile::write(TrackListFile::pathIn(program.path()), tracks, &error))
        return 1;
    Form1 window(std::make_unique<AudioMediaPlayer>(), std::make_unique<QtOpenDialog>(), program.path());
    window.show();
    return window.grab().save(out.filePath(QStringLiteral("screenshot.png"))) ? 0 : 1;
}
