#pragma once

#include "about/about.h"
#include "common/settings.h"
#include "platform/mediaplayer.h"
#include "player/pageview.h"
#include "player/pressguard.h"
#include "player/tagtimer.h"
#include "player/trackbutton.h"
#include "player/windowmenu.h"
#include "show/cartsettings.h"
#include "tracklist/trackslot.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class QMenu;
class FadeControl;
class Form2;
class OpenDialog;
class PreListen;
class QLabel;
class QPushButton;
class PageMenu;
class CartView;
class EndWarning;
class Shape;
class SoundNotice;
class ShowDocument;
class TrackListStore;
class WallKeys;
class CartLayers;
class CueList;
class WallScaler;

// The player window: twelve track buttons, the total and remaining time displays, and the
// commands "Set Tracks", "About" and "E&xit". It is the program's first and main window.
//
// Playback state lives in the controls, as the design has it: the timer runs while a track
// plays and its tag holds the playing index ("-1" after a stop by click); each track button's
// tag holds its slot's path, its enabled flag whether it may be pressed, and its back colour
// the play indication (silver, red/blue blinking, button face). The media player holds the
// loaded file's name. Nothing else keeps a copy.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    // The window drives activeMovie and hands openDialog to the editor. The track list is the
    // one of programFolder (see TrackListStore). The window loads (reads the track list) as it
    // is built.
    Form1(std::unique_ptr<MediaPlayer> activeMovie, std::unique_ptr<OpenDialog> openDialog,
          const QString &programFolder, QWidget *parent = nullptr);
    ~Form1() override;

    // The editor's one shared instance, created hidden on first use.
    Form2 *form2();
    // The About window while it is open; null otherwise.
    About *aboutWindow() const { return m_about; }

    TrackListStore *trackListStore() const { return m_store; }
    ShowDocument *showDocument() const { return m_show; }
    TrackButton *trackButton(int index) const { return CmdTrack[index]; }

    // Gives the keyboard focus to the player window, unless a modal window holds it.
    void focusPlayer();

    // What a remote command does, exactly as a key or a click: fires track index (0-11) as its
    // function key does; stops the playing track as a second click; fades it out as Esc.
    void fireTrack(int index);
    void stopTrack();
    void fadeTrack() { fadeOut(); }
    // Stops whatever plays on air at once (the panic key, Shift+Esc), a fade in progress too.
    void stopAll();
    // Fades out every cart that plays (Ctrl+Esc).
    void fadeAll();
    // The carts that play beside one another, on pages that play them together or hand over.
    CartLayers *layers() const { return m_layers; }
    // The running order of the page shown, when it is one.
    CueList *cues() const { return m_cues; }
    // The wall's size and full screen.
    WallScaler *scaler() const { return m_scaler; }
    // GO (Space): fires the next cue of a running order; false when the page shown is none.
    // A second GO within the double-press guard's time is the same GO.
    bool goNext();
    // What fired the playing track: "go" or "follow" in a running order, else empty.
    QString playingFiredBy() const { return playingTrack() ? m_firedBy : QString(); }
    // Shows page (0-based) of the show, as Page Down or Ctrl+1 does: nothing while the editor is
    // open or when there is no such page. A cart on another page plays on; the page shown then
    // has all twelve buttons locked.
    void showPage(int page);
    // Opens a show file as "Open show..." does: nothing while the editor is open.
    bool openShow(const QString &path);
    // The playing track (its slot on the page it was fired from), and its remaining and total
    // seconds; nothing when none plays.
    std::optional<int> playingTrack() const { return Timer1->isActive() ? slotIndex(Timer1->tag()) : std::nullopt; }
    // Where the playing track's page stands now in the show (0-based), followed through page
    // moves and deletes; nothing when none plays, or its page is gone, or another show is open.
    std::optional<int> playingPage() const;
    // The playing track's file and caption; empty when none plays.
    QString playingFile() const { return playingTrack() ? m_playingFile : QString(); }
    QString playingCaption() const { return playingTrack() ? m_playingCaption : QString(); }
    // Another number for each track started, beyond any of the player's layers' ids.
    quint64 playingSerial() const { return (quint64(1) << 32) + m_startSerial; }
    double remainingSeconds()
    {
        return playingTrack() ? std::max(0.0, ActiveMovie1->duration() - ActiveMovie1->position()) : 0.0;
    }
    double totalSeconds() { return playingTrack() ? ActiveMovie1->duration() : 0.0; }
    bool isFading() const { return m_fading; }

    // The window's own menu (right button, or the Menu key): fade-out, fade length, loudness,
    // outputs; and a track button's (see WindowMenu).
    QMenu *contextMenu() const { return m_menu->menu(); }
    // One of its groups, for the parts of the program that add their own items to it.
    QMenu *menuGroup(WindowMenu::Group group) const { return m_menu->group(group); }
    QMenu *cartMenu(int index);
    // Items of a control surface's own in every track button's menu (see WindowMenu).
    void extendCartMenu(std::function<void(QMenu *, int)> extend) { m_menu->setCartMenuExtension(std::move(extend)); }

signals:
    // The window's moments, for its command surface: a click (or a key, or a command) started or
    // stopped a track; a track reached its end; a fade-out began; a tick while a track plays;
    // the buttons' tracks changed (a save, a drop).
    void trackStarted();
    void trackStopped();
    void trackEnded();
    void fadeBegun();
    void ticked();
    void tracksChanged();
    // Another page is shown, or the show's pages changed.
    void pageChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void CmdTrack_Click(int index);
    void CmdTrack_MouseMove(int index);
    void Timer1_Timer();
    void CmdSet_Click();
    void Command1_Click();
    void CmdExit_Click();
    // Gives every track button the caption, tag and enabled flag of a saved track list.
    void applySavedTracks(const TrackList &tracks);
    // Hands the buttons' files and captions to the player to get ready.
    void prepareTracks();
    // Gives the buttons the page shown: its records as the window loads them, locked as the
    // playing cart requires.
    void applyShownPage();
    void lockForPlayingPage();
    // Whether the page shown holds the playing cart's button (true at rest).
    bool onPlayingPage() const;
    // Names the cart on air on the window while its page is not the one shown.
    void showOnAir();
    // Marks the buttons whose file is not there (a show's pages only).
    void markMissingFiles() { m_pageView->markMissingFiles(); }
    // Fades the playing track out; it then stops as a second click stops it.
    void fadeOut();
    // Shows an amount of hundredths of a second on a time display.
    void showTime(QLabel *display, double hundredths);

    std::unique_ptr<MediaPlayer> ActiveMovie1;
    FadeControl *const m_fades; // what the player offers of fades; null: none
    std::unique_ptr<OpenDialog> m_openDialog;
    TrackListStore *m_store = nullptr;
    ShowDocument *m_show = nullptr;

    Shape *Shape1 = nullptr;
    Shape *Shape2 = nullptr;
    Shape *Shape3 = nullptr;
    std::array<TrackButton *, SlotCount> CmdTrack{};
    QPushButton *CmdSet = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *CmdExit = nullptr;
    QLabel *LblLCD = nullptr;
    QLabel *LblLCD3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    TagTimer *Timer1 = nullptr;

    Settings m_settings;
    WindowMenu *m_menu = nullptr;
    PreListen *m_preListen = nullptr;
    PageMenu *m_pageMenu = nullptr;
    PageView *m_pageView = nullptr;
    SoundNotice *m_notice = nullptr;
    CartView *m_carts = nullptr;
    EndWarning *m_endWarning = nullptr;
    PressGuard *m_guard = nullptr;
    WallKeys *m_wallKeys = nullptr;
    CartLayers *m_layers = nullptr;
    CueList *m_cues = nullptr;
    WallScaler *m_scaler = nullptr;
    // Gives each button its key and length in its corners, when the wall shows them.
    void refreshCorners();
    // Changes the slot index of the page shown and saves the page, as the editor would.
    void editCart(int index, const std::function<void(TrackSlot &)> &change);
    QString m_firedBy;      // what fired the playing track (see playingFiredBy())
    QElapsedTimer m_lastGo; // for the double-press guard
    // Fires cue slot of the running order shown: byFollow when its predecessor's follow asked.
    void fireCue(int slot, bool byFollow);
    // Whether the cart of slot on the page shown plays now.
    bool slotPlays(int slot) const;
    // A cart of the page shown was pressed and may have started: the running order hears of it.
    void cueMayHaveStarted(int slot, bool wasPlaying, const QString &firedBy);
    bool m_fading = false;
    // What showTime() last wrote on a display, so that a tick that leaves the seconds as they
    // were writes nothing.
    struct ShownTime
    {
        long long seconds = -2; // none yet: shown seconds are -1 or more
        QString text;
    };
    std::array<ShownTime, 2> m_shownTimes;
    quint64 m_playingPageId = 0; // while Timer1 runs: the page its tag's slot was fired from
    QString m_playingFile;       // and that cart's file, caption and settings
    QString m_playingCaption;
    CartSettings m_playingSettings;
    quint64 m_startSerial = 0;

    QPointer<Form2> m_form2;
    QPointer<About> m_about;
};
