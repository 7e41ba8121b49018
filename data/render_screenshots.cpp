// The user's guide's pictures, from the real program's windows and sound engine: the wall full
// screen with a cart on air, and a cart's settings. scripts/screenshots.sh runs it under Xvfb
// with a private sound server. Usage: render_screenshots AUDIO_FILE OUTDIR
#include "carts/cartsettingsdialog.h"
#include "engine/audiomediaplayer.h"
#include "platform/qtopendialog.h"
#include "player/form1.h"
#include "player/wallscaler.h"
#include "tracklist/tracklistfile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_screenshots AUDIO_FILE OUTDIR\n");
        return 2;
    }
    const QString audio = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QDir out(QString::fromLocal8Bit(argv[2]));
    // The settings of this run's own, not the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_DATA_HOME", config.path().toUtf8());
    QTemporaryDir program;
    TrackList tracks{};
    const char *names[] = {"Station ID", "News Bed", "Traffic",  "Weather", "Applause", "Door Bell",
                           "Thunder",    "Phone",    "Laughter", "Intro",   "Outro",    "Sting"};
    for (int n = 0; n < SlotCount; ++n)
        tracks[size_t(n)] = {audio, QString::fromLatin1(names[n])};
    QString error;
    if (!TrackListFile::write(TrackListFile::pathIn(program.path()), tracks, &error)) {
        std::fprintf(stderr, "render_screenshots: %s\n", qPrintable(error));
        return 1;
    }
    Form1 window(std::make_unique<AudioMediaPlayer>(), std::make_unique<QtOpenDialog>(), program.path());
    window.show();
    window.scaler()->setFullScreen(true);
    pump(1500);                     // full screen, and every cart's length known
    window.trackButton(3)->click(); // a cart on air: it blinks and counts down
    pump(1300);
    const bool wall = window.grab().save(out.filePath(QStringLiteral("wall.png")));
    window.stopTrack();
    window.scaler()->classicSize();
    pump(300);
    CartSettingsDialog dialog(&window, audio, QStringLiteral("Applause"), {}, nullptr, false, 2.0);
    dialog.show();
    pump(1500); // its waveform drawn
    const bool settings = dialog.grab().save(out.filePath(QStringLiteral("cart-settings.png")));
    dialog.close();
    if (!wall || !settings) {
        std::fprintf(stderr, "render_screenshots: the pictures could not be written to %s\n", argv[2]);
        return 1;
    }
    std::printf("render_screenshots: %s and %s\n", qPrintable(out.filePath(QStringLiteral("wall.png"))),
                qPrintable(out.filePath(QStringLiteral("cart-settings.png"))));
    return 0;
}
