#include "common/diagnostics.h"
#include "asrun/asrunlog.h"
#include "browser/browserremote.h"
#include "engine/audiomediaplayer.h"
#include "midi/alsamiditransport.h"
#include "midi/midicontrol.h"
#include "midi/midimenu.h"
#include "platform/displaysetup.h"
#include "platform/qtopendialog.h"
#include "platform/terminationsignals.h"
#include "player/form1.h"
#include "player/playercommands.h"
#include "remote/remotecontrol.h"

#include <QApplication>

#include <cstdio>
#include <optional>

int main(int argc, char *argv[])
{
    // A command for a Kelvo already running is handed over before any window or display is
    // needed, so a desktop shortcut or a script gets its answer at once.
    std::optional<Launch> launch;
    {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kelvo")); // names ~/.config/kelvo
        launch.emplace(QCoreApplication::arguments(), QCoreApplication::applicationDirPath(),
                       QStringLiteral(KELVO_VERSION));
        if (launch->finished())
            return launch->exitCode();
    }
    if (const std::optional<QString> problem = displayProblem()) {
        std::fprintf(stderr, "kelvo: %s\n", qPrintable(*problem));
        return 1;
    }
    prepareDisplay();
    // Nothing that reaches stderr may block the window: a pipe nobody reads would freeze it.
    Diagnostics::installMessageHandler();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvo"));
    // The program ends through the player window alone, never because some other window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    Form1 player(std::make_unique<AudioMediaPlayer>(), std::make_unique<QtOpenDialog>(),
                 QCoreApplication::applicationDirPath());
    PlayerCommands commands(player);
    RemoteControl remote(commands, *launch, player.menuGroup(WindowMenu::Group::RemoteControl));
    // MIDI pads, when the machine has a sequencer; without one the menu says so, and that is all.
    AlsaMidiTransport midiTransport;
    MidiControl midi(commands, midiTransport);
    midi.start();
    MidiMenu midiMenu(midi, &player, player.menuGroup(WindowMenu::Group::RemoteControl));
    player.extendCartMenu([&midiMenu](QMenu *menu, int index) { midiMenu.addCartItems(menu, index); });
    // Phones and tablets, when the user turns it on: off by default.
    BrowserRemote browser(commands, &player, player.menuGroup(WindowMenu::Group::RemoteControl));
    remote.setRemotePin([&browser] { return browser.pin(); });
    // What played, for the station's reports, when the user keeps a log.
    AsRunLog asRun(commands, player.menuGroup(WindowMenu::Group::Log));
    // A logout, systemctl stop or kill ends it as "E&xit" does: streams closed, socket removed.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &player, &QWidget::close);
    player.show();
    const int status = app.exec();
    Diagnostics::flush(200);
    return status;
}
