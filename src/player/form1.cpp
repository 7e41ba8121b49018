#include "player/form1.h"

#include "about/about.h"
#include "common/captionfit.h"
#include "common/classicfont.h"
#include "common/colours.h"
#include "common/module1.h"
#include "common/shape.h"
#include "common/twips.h"
#include "common/usermessage.h"
#include "common/windowlook.h"
#include "common/windowmover.h"
#include "editor/form2.h"
#include "platform/cartplayback.h"
#include "platform/fadecontrol.h"
#include "platform/layercontrol.h"
#include "platform/lookaheadcontrol.h"
#include "platform/loudnesscontrol.h"
#include "platform/opendialog.h"
#include "platform/outputcontrol.h"
#include "platform/prelistencontrol.h"
#include "player/captiondialog.h"
#include "player/cartlayers.h"
#include "player/dialogplacer.h"
#include "player/cartview.h"
#include "player/cuelist.h"
#include "player/endwarning.h"
#include "player/lcddisplay.h"
#include "player/pagemenu.h"
#include "player/pageview.h"
#include "player/playercontrols.h"
#include "player/prelisten.h"
#include "player/soundnotice.h"
#include "player/wallkeys.h"
#include "player/wallscaler.h"
#include "player/windowmenu.h"
#include "show/showdocument.h"
#include "tracklist/trackliststore.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

using namespace Colours;
using namespace Module1;

using PlayerControls::makeButton;
using PlayerControls::styleLabel;

Form1::Form1(std::unique_ptr<MediaPlayer> activeMovie, std::unique_ptr<OpenDialog> openDialog,
             const QString &programFolder, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint),
      ActiveMovie1(std::move(activeMovie)),
      m_fades(dynamic_cast<FadeControl *>(ActiveMovie1.get())),
      m_openDialog(std::move(openDialog)),
      m_store(new TrackListStore(programFolder, this)),
      m_show(new ShowDocument(*m_store, this))
{
    // Read before the window loads it, so the carts are armed once, for the show it opens with.
    const QString showNote = PageView::openStartingShow(*m_show, m_settings);
    connect(m_show, &ShowDocument::saved, this, &Form1::applySavedTracks);
    connect(m_show, &ShowDocument::shownPageChanged, this, &Form1::applyShownPage);
    connect(m_show, &ShowDocument::pagesChanged, this, &Form1::pageChanged);
    connect(m_show, &ShowDocument::cartSettingsChanged, this, &Form1::prepareTracks);
    buildControls();
    Form_Load();
    if (!showNote.isEmpty())
        warnUser(this, showNote);
}

Form1::~Form1()
{
    // The About window has no owner, so it goes with the program explicitly.
    delete m_about.data();
}

void Form1::buildControls()
{
    applyWindowLook(this, QStringLiteral("Form1"), QStringLiteral("Kelvo Version 2"), QSize(8235, 5430), Qt::white);

    Shape1 = new Shape(colour(DarkBlue), 10, QColor(Qt::black), this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(Twips::rect(0, 0, 8235, 5415));

    const QFont trackFont = classicFont(12);
    constexpr int columns[] = {240, 2880, 5520};
    constexpr int rows[] = {240, 1320, 2400, 3480};
    for (int n = 0; n < SlotCount; ++n) {
        auto *button = new TrackButton(this);
        button->setObjectName(QStringLiteral("CmdTrack(%1)").arg(n));
        button->setText(QStringLiteral("Track"));
        button->setGeometry(Twips::rect(columns[n % 3], rows[n / 3], 2535, 975));
        button->setFont(trackFont);
        if (n == 1)
            button->setBackColor(Silver);
        connect(button, &QPushButton::clicked, this, [this, n] {
            // A cart that cannot play says why, where the operator looks.
            if (!Timer1->isActive() && CmdTrack[n]->marked())
                m_notice->flash(CmdTrack[n]->markNote(), 3000);
            const bool wasPlaying = slotPlays(n);
            const auto heard = qScopeGuard([this, n, wasPlaying] { cueMayHaveStarted(n, wasPlaying, QString()); });
            // A page of carts that play together: each press plays or stops its own cart.
            if (m_layers->active() && !Timer1->isActive()) {
                m_layers->press(n, QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
                return;
            }
            // Shift+click on the playing button fades it out; it then stops as a second click.
            if (!m_fading && playingTrack() == n && (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier))
                fadeOut();
            else if (!m_guard->ignores(n, playingTrack()))
                CmdTrack_Click(n);
        });
        connect(button, &TrackButton::mouseMoved, this, [this, n] { CmdTrack_MouseMove(n); });
        connect(button, &TrackButton::menuRequested, this, [this, n](const QPoint &at) {
            m_menu->popupCartMenu(n, CmdTrack[n]->tag(), CmdTrack[n]->isEnabled(), Timer1->isActive(), at);
        });
        connect(button, &TrackButton::filesDropped, this, [this, n](const QStringList &paths) {
            if (!(m_form2 && m_form2->isVisible()))
                m_pageMenu->dropFiles(n, paths, m_form2);
        });
        button->setAccessibleDescription(QStringLiteral("Track %1").arg(n + 1));
        CmdTrack[n] = button;
    }

    Shape2 = new Shape(colour(Yellow), 1, std::nullopt, this);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(Twips::rect(240, 4560, 1815, 615));
    Shape3 = new Shape(colour(Yellow), 1, std::nullopt, this);
    Shape3->setObjectName(QStringLiteral("Shape3"));
    Shape3->setGeometry(Twips::rect(2280, 4560, 1935, 615));

    const QFont displayFont = classicFont(13.5);
    LblLCD = new LcdDisplay(QStringLiteral("00:00"), this);
    styleLabel(LblLCD, "LblLCD", Twips::rect(360, 4680, 855, 375), displayFont);
    Label1 = styleLabel(new QLabel(QStringLiteral(" Total Time"), this), "Label1", Twips::rect(1320, 4680, 495, 375),
                        font());
    LblLCD3 = new LcdDisplay(QStringLiteral("00:00"), this);
    styleLabel(LblLCD3, "LblLCD3", Twips::rect(2400, 4680, 855, 375), displayFont);
    // Label2's opaque background covers part of Shape3's lower line: the positions and the
    // stacking order of the design make it so, and it stays.
    Label2 = styleLabel(new QLabel(QStringLiteral(" Total Remaining"), this), "Label2",
                        Twips::rect(3360, 4680, 735, 495), font());

    const QFont commandFont = classicFont(9.75);
    Command1 = makeButton(this, "Command1", QStringLiteral("About"), Twips::rect(4440, 4560, 1095, 495), font(),
                          QStringLiteral("About Kelvo"));
    CmdSet = makeButton(this, "CmdSet", QStringLiteral("Set Tracks"), Twips::rect(5640, 4560, 1455, 555), commandFont,
                        QStringLiteral("Open the track-list editor"));
    CmdExit = makeButton(this, "CmdExit", QStringLiteral("E&xit"), Twips::rect(7200, 4560, 855, 555), commandFont,
                         QStringLiteral("Exit Kelvo"));
    LblLCD->setAccessibleDescription(QStringLiteral("Total time"));
    LblLCD3->setAccessibleDescription(QStringLiteral("Time remaining"));
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(CmdSet, &QPushButton::clicked, this, &Form1::CmdSet_Click);
    connect(CmdExit, &QPushButton::clicked, this, &Form1::CmdExit_Click);

    QList<QWidget *> tabOrder(CmdTrack.begin(), CmdTrack.end());
    tabOrder << CmdSet << CmdExit << Command1;
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    fitCaptions(this, QList<QWidget *>(CmdTrack.begin(), CmdTrack.end()) << LblLCD << LblLCD3);
    fitCaption(LblLCD, QStringLiteral("999.59")); // the widest time the displays show
    fitCaption(LblLCD3, QStringLiteral("999.59"));

    new WindowMover(this);
    m_preListen = new PreListen(
        dynamic_cast<PreListenControl *>(ActiveMovie1.get()), [this](int index) { return CmdTrack[index]; }, this);
    m_menu = new WindowMenu(
        this, dynamic_cast<LoudnessControl *>(ActiveMovie1.get()), dynamic_cast<OutputControl *>(ActiveMovie1.get()),
        *m_preListen, [this] { return (Timer1->isActive() && !m_fading) || m_layers->anyPlaying(); },
        [this] { return Timer1->isActive() || m_layers->anyPlaying(); });
    connect(m_menu, &WindowMenu::fadeRequested, this, &Form1::fadeOut);
    m_notice = new SoundNotice(this, dynamic_cast<OutputControl *>(ActiveMovie1.get()),
                               {CmdTrack.begin(), CmdTrack.end()});

    m_pageView = new PageView(this, *m_show, *m_notice, {CmdTrack.begin(), CmdTrack.end()},
                              dynamic_cast<LookAheadControl *>(ActiveMovie1.get()),
                              [this](int page) { showPage(page); });
    m_pageMenu = new PageMenu(
        this, m_menu->group(WindowMenu::Group::PagesAndShows), *m_show, [this](int page) { showPage(page); },
        [this] { return Timer1->isActive() || m_layers->anyPlaying(); });
    connect(m_pageMenu, &PageMenu::told, m_notice, [this](const QString &text) { m_notice->flash(text, 3000); });
    m_carts = new CartView(*m_show, dynamic_cast<CartPlaybackControl *>(ActiveMovie1.get()),
                           {CmdTrack.begin(), CmdTrack.end()}, this);
    m_layers = new CartLayers(*m_show, *ActiveMovie1, dynamic_cast<LayerControl *>(ActiveMovie1.get()), m_fades,
                              *m_carts, CmdTrack, LblLCD, LblLCD3, this);
    connect(m_layers, &CartLayers::started, this, &Form1::trackStarted);
    connect(m_layers, &CartLayers::stopped, this, &Form1::trackStopped);
    connect(m_layers, &CartLayers::ended, this, &Form1::trackEnded);
    connect(m_layers, &CartLayers::ticked, this, &Form1::ticked);
    connect(m_layers, &CartLayers::fadeBegun, this, &Form1::fadeBegun);
    m_cues = new CueList(this, *m_show, *m_notice, CmdTrack);
    connect(m_cues, &CueList::goRequested, this, &Form1::fireCue);
    m_endWarning = new EndWarning(m_menu->group(WindowMenu::Group::Playback), LblLCD3, this);
    // The displays show the cart fired last of those playing together: the warning follows it.
    connect(m_layers, &CartLayers::ticked, m_endWarning, [this] {
        if (const std::optional<CartLayers::Playing> last = m_layers->mostRecent(); last && !Timer1->isActive())
            m_endWarning->tick(m_layers->remaining(*last));
    });
    for (auto signal : {&CartLayers::stopped, &CartLayers::ended}) {
        connect(m_layers, signal, m_endWarning, [this] {
            if (!m_layers->anyPlaying() && !Timer1->isActive())
                m_endWarning->rest();
        });
    }
    m_guard = new PressGuard(m_menu->group(WindowMenu::Group::Playback), this);
    connect(m_menu, &WindowMenu::cartSettingsRequested, this, [this](int n) { m_carts->edit(this, n); });
    connect(m_menu, &WindowMenu::changeFileRequested, this, [this](int n) {
        m_openDialog->setFilter(QStringLiteral("Audio files (*.mp3 *.wav *.flac *.ogg *.oga *.opus *.aif *.aiff)"));
        if (m_openDialog->showOpen() && !m_openDialog->fileName().contains(QLatin1Char('"')))
            editCart(n, [this](TrackSlot &slot) {
                slot.fullPath = m_openDialog->fileName();
                if (slot.shortName.trimmed().isEmpty())
                    slot.shortName = QFileInfo(slot.fullPath).completeBaseName();
            });
    });
    connect(m_menu, &WindowMenu::renameRequested, this, [this](int n) {
        if (const std::optional<QString> name = CaptionDialog::ask(this, n, CmdTrack[n]->text()))
            editCart(n, [name](TrackSlot &slot) { slot.shortName = *name; });
    });
    connect(m_menu, &WindowMenu::clearRequested, this,
            [this](int n) { editCart(n, [](TrackSlot &slot) { slot = TrackSlot{}; }); });

    Timer1 = new TagTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);

    m_wallKeys = new WallKeys(
        this,
        {[this](int slot) { PlayerControls::clickForKey(CmdTrack, slot); }, [this] { fadeOut(); },
         [this] { stopAll(); }, [this] { fadeAll(); }, [this] { return Timer1->isActive() || m_layers->anyPlaying(); },
         [this](QKeyEvent *key) { return m_pageView->handleKey(key); },
         [this](int step) { return step == 0 ? goNext() : m_cues->step(step); }, [this] { return m_cues->active(); }});
    connect(m_menu, &WindowMenu::stopAllRequested, this, &Form1::stopAll);
    connect(m_menu, &WindowMenu::fadeAllRequested, this, &Form1::fadeAll);
    connect(m_show, &ShowDocument::pagesChanged, this, &Form1::showOnAir);
    connect(m_show, &ShowDocument::pagesChanged, m_cues, &CueList::refresh);

    new DialogPlacer(this);

    // Last, so that it knows every control at its classic place.
    m_scaler = new WallScaler(this, Shape1, m_menu->group(WindowMenu::Group::View));
    connect(m_scaler, &WallScaler::cornersChanged, this, &Form1::refreshCorners);
    connect(m_pageView, &PageView::lookedAt, this, &Form1::refreshCorners);
    connect(this, &Form1::tracksChanged, this, &Form1::refreshCorners);
}

void Form1::contextMenuEvent(QContextMenuEvent *event)
{
    m_menu->popup(event->globalPos());
    event->accept();
}

void Form1::showPage(int page)
{
    // The editor edits the page shown: it stays that page until the editor closes.
    if (m_form2 && m_form2->isVisible())
        return;
    m_show->showPage(page);
}

bool Form1::openShow(const QString &path)
{
    if (m_form2 && m_form2->isVisible())
        return false;
    return m_pageMenu->openShow(path);
}

void Form1::fireTrack(int index)
{
    if (index < 0 || index >= SlotCount || !CmdTrack[index]->isEnabled())
        return;
    // A command fires a cue of a running order as its click would: next moves on after it.
    const bool wasPlaying = slotPlays(index);
    if (m_layers->active() && !Timer1->isActive())
        m_layers->press(index, false);
    else if (!m_guard->ignores(index, playingTrack()))
        CmdTrack_Click(index);
    cueMayHaveStarted(index, wasPlaying, QString());
}

void Form1::stopTrack()
{
    if (const std::optional<int> playing = playingTrack())
        CmdTrack_Click(*playing);
    else
        m_layers->stopMostRecent();
}

bool Form1::slotPlays(int slot) const
{
    if (Timer1->isActive())
        return playingTrack() == slot && onPlayingPage();
    const quint64 page = m_show->pageId(m_show->shownPage());
    return std::any_of(m_layers->playing().cbegin(), m_layers->playing().cend(),
                       [&](const CartLayers::Playing &cart) { return cart.pageId == page && cart.slot == slot; });
}

void Form1::cueMayHaveStarted(int slot, bool wasPlaying, const QString &firedBy)
{
    if (!m_cues->active() || wasPlaying || !slotPlays(slot))
        return;
    const std::optional<CartLayers::Playing> last = m_layers->mostRecent();
    const double duration = Timer1->isActive() ? ActiveMovie1->duration() : last ? last->total : 0.0;
    if (Timer1->isActive())
        m_firedBy = firedBy;
    else
        m_layers->setFiredBy(firedBy);
    m_cues->started(slot, duration);
}

bool Form1::goNext()
{
    if (!m_cues->active())
        return false;
    // The guard against a double press holds GO too: a second GO that soon is the same GO.
    const int guardMs = m_settings.guardMilliseconds();
    if (guardMs > 0 && m_lastGo.isValid() && m_lastGo.elapsed() < guardMs)
        return true;
    m_lastGo.start();
    return m_cues->go();
}

void Form1::fireCue(int slot, bool byFollow)
{
    if (slot < 0 || slot >= SlotCount)
        return;
    // GO on a cue that plays plays it again from its start.
    const QString firedBy = byFollow ? QStringLiteral("follow") : QStringLiteral("go");
    if (m_layers->active() && !Timer1->isActive()) {
        if (slotPlays(slot))
            m_layers->stopSlot(slot);
        m_layers->press(slot, false);
    } else {
        // One cue at a time: the next cuts in.
        if (Timer1->isActive())
            stopTrack();
        if (CmdTrack[slot]->isEnabled())
            CmdTrack_Click(slot);
    }
    cueMayHaveStarted(slot, false, firedBy);
}

void Form1::stopAll()
{
    m_cues->cancelFollow();
    if (const std::optional<int> playing = playingTrack())
        CmdTrack_Click(*playing);
    m_layers->stopAll();
}

void Form1::fadeAll()
{
    if (Timer1->isActive())
        fadeOut();
    m_layers->fadeAll();
}

void Form1::applyShownPage()
{
    PlayerControls::showRecords(CmdTrack, m_show->load());
    markMissingFiles();
    m_layers->showPage();
    lockForPlayingPage();
    m_cues->refresh();
    prepareTracks();
    m_pageView->refresh();
    showOnAir();
    refreshCorners();
    emit pageChanged();
}

void Form1::editCart(int index, const std::function<void(TrackSlot &)> &change)
{
    // The editor holds the page while it is open; its save would undo this one.
    if ((m_form2 && m_form2->isVisible()) || index < 0 || index >= SlotCount)
        return;
    const QList<TrackSlot> records = m_show->load();
    TrackList tracks{};
    for (int n = 0; n < SlotCount && n < records.size(); ++n)
        tracks[size_t(n)] = records[n];
    change(tracks[size_t(index)]);
    QString error;
    if (!m_show->save(tracks, &error))
        warnUser(this, tr("The cart could not be changed.\n\n%1").arg(error));
}

void Form1::refreshCorners()
{
    if (!m_scaler)
        return;
    const bool shown = m_scaler->showsLengthsAndKeys();
    auto *lengths = dynamic_cast<LookAheadControl *>(ActiveMovie1.get());
    for (int n = 0; n < SlotCount; ++n) {
        QString length;
        if (shown && lengths && !CmdTrack[n]->tag().trimmed().isEmpty()) {
            if (const std::optional<double> seconds = lengths->knownLength(CmdTrack[n]->tag())) {
                const int whole = int(std::lround(*seconds));
                length = QStringLiteral("%1:%2")
                             .arg(whole / 60, 2, 10, QLatin1Char('0'))
                             .arg(whole % 60, 2, 10, QLatin1Char('0'));
            }
        }
        CmdTrack[n]->setCorners(shown ? QStringLiteral("F%1").arg(n + 1) : QString(), length);
    }
}

std::optional<int> Form1::playingPage() const
{
    return playingTrack() ? m_show->pageOf(m_playingPageId) : std::nullopt;
}

bool Form1::onPlayingPage() const
{
    if (!Timer1->isActive())
        return true;
    const std::optional<int> page = m_show->pageOf(m_playingPageId);
    return page && *page == m_show->shownPage();
}

void Form1::lockForPlayingPage()
{
    // On its own page the playing button is the one that may be pressed, and blinks on.
    if (const std::optional<int> playing = playingTrack())
        PlayerControls::lockAll(CmdTrack, onPlayingPage() ? playing : std::nullopt);
}

void Form1::showOnAir()
{
    QString text;
    if (playingTrack() && !onPlayingPage()) {
        const std::optional<int> page = playingPage();
        text = page ? tr("On air: %1 (page %2)").arg(m_playingCaption).arg(*page + 1)
                    : tr("On air: %1 (not in this show)").arg(m_playingCaption);
    }
    m_pageView->setOnAir(text);
}

void Form1::fadeOut()
{
    m_cues->cancelFollow();
    const std::optional<int> playing = slotIndex(Timer1->tag());
    if (!Timer1->isActive() && m_layers->anyPlaying()) {
        m_layers->fadeMostRecent();
        return;
    }
    if (!Timer1->isActive() || !playing || m_fading || !m_fades)
        return; // nothing playing, or a player that cannot fade
    m_fading = true;
    m_fades->fadeOut(m_playingSettings.fadeOut.value_or(m_settings.fadeSeconds()));
    emit fadeBegun();
}

QMenu *Form1::cartMenu(int index)
{
    return m_menu->cartMenu(index, CmdTrack[index]->tag(), !CmdTrack[index]->isEnabled() && Timer1->isActive());
}

Form2 *Form1::form2()
{
    if (!m_form2) {
        m_form2 = new Form2(this, *m_show, *m_openDialog);
        if (auto *loudness = dynamic_cast<LoudnessControl *>(ActiveMovie1.get()))
            m_form2->setFileNotes([loudness](const QString &path) { return loudness->loudnessText(path); });
        // Queued: while the editor is still closing it remains the modal window.
        connect(m_form2, &Form2::unloaded, this, &Form1::focusPlayer, Qt::QueuedConnection);
    }
    return m_form2;
}

void Form1::Form_Load()
{
    CentreOnScreen(this);
    m_store->removeStaleTemporaries();
    // Page 1 of the show: the track list itself, unless the program last ended with a show file.
    const QList<TrackSlot> records = m_show->load();
    PlayerControls::showRecords(CmdTrack, records);
    for (int n = 0; n < records.size(); ++n)
        form2()->setRow(n, records[n]);
    markMissingFiles();
    m_pageView->refresh();
    m_cues->refresh();

    Timer1->stop();
    Timer1->setInterval(250);
    ActiveMovie1->setDurationKnownHandler([this] { showTime(LblLCD, ActiveMovie1->duration() * 100); });
    m_menu->applySettings();
    prepareTracks();
}

void Form1::prepareTracks()
{
    // The player gets every cart ready in the background, so F1 to F12 fire at once too.
    QList<MediaCue> cues;
    for (TrackButton *button : CmdTrack)
        cues.append({button->tag(), button->text()});
    m_carts->prepare(cues);
    ActiveMovie1->prepare(cues);
    m_pageView->lookAhead();
}

void Form1::showTime(QLabel *display, double hundredths)
{
    // Four ticks a second, and the text changes once: the seconds are compared before the text
    // is made. What another hand wrote on the display meanwhile is written over as before.
    const long long seconds = shownSeconds(hundredths);
    ShownTime &shown = m_shownTimes[display == LblLCD ? 0 : 1];
    if (shown.seconds == seconds && display->text() == shown.text)
        return;
    shown = {seconds, TimeText(hundredthsText(hundredths))};
    display->setText(shown.text);
}

void Form1::focusPlayer()
{
    // A track that ends while the editor is open must not pull the focus out of it.
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != this)
        return;
    activateWindow();
    setFocus(Qt::OtherFocusReason);
}

void Form1::CmdTrack_Click(int index)
{
    // A stop asked while another page is shown (Esc, a command) leaves that page's colours be.
    const bool onItsPage = onPlayingPage();
    for (TrackButton *button : CmdTrack)
        button->setBackColor(Silver);
    if (onItsPage)
        CmdTrack[index]->setBackColor(Red);

    m_fading = false;
    if (Timer1->isActive()) {
        m_carts->beforePut(m_playingSettings);
        m_endWarning->rest();
        ActiveMovie1->setFileName(onItsPage ? CmdTrack[index]->tag() : m_playingFile);
        ActiveMovie1->stop();
        Timer1->stop();
        EnableAllTracks(CmdTrack);
        Timer1->setTag(QStringLiteral("-1"));
        showTime(LblLCD3, ActiveMovie1->duration() * 100);
        if (onItsPage)
            CmdTrack[index]->setBackColor(ButtonFace);
        focusPlayer();
        showOnAir();
        emit trackStopped();
    } else {
        m_playingPageId = m_show->pageId(m_show->shownPage());
        ++m_startSerial;
        m_playingFile = CmdTrack[index]->tag();
        m_playingCaption = CmdTrack[index]->text();
        m_playingSettings = m_show->cartSettings(m_show->shownPage(), index);
        m_carts->beforePut(m_playingSettings);
        m_guard->started();
        ActiveMovie1->setFileName(CmdTrack[index]->tag());
        LockToTrack(CmdTrack, index);
        Timer1->start();
        Timer1->setTag(QString::number(index));
        showTime(LblLCD, ActiveMovie1->duration() * 100);
        focusPlayer();
        emit trackStarted();
    }
}

void Form1::Timer1_Timer()
{
    const std::optional<int> playing = slotIndex(Timer1->tag());
    if (m_fading && playing && m_fades && m_fades->fadedOut()) {
        CmdTrack_Click(*playing); // silent now: it stops as a second click stops it
        return;
    }
    if (ActiveMovie1->durationPending()) {
        // Playing while its length is counted: the countdown starts once the length is known.
        if (playing && onPlayingPage())
            PlayerControls::blink(CmdTrack[*playing]);
        return;
    }
    // One reading of the position a tick: the time shown and the test for the end agree, and the
    // sound server is asked once.
    const double position = ActiveMovie1->position();
    const double duration = ActiveMovie1->duration();
    showTime(LblLCD3, duration * 100 - position * 100);
    m_endWarning->tick(duration - position);

    if (duration - position == 0) {
        m_fading = false;
        const QString loaded = ActiveMovie1->fileName();
        ActiveMovie1->setFileName(loaded);
        ActiveMovie1->stop();
        StopAndReleaseButtons(*Timer1, CmdTrack);
        m_endWarning->rest();
        // Timer1 is off now: whether its page is shown is asked of the page itself.
        const std::optional<int> page = m_show->pageOf(m_playingPageId);
        if (playing && page && *page == m_show->shownPage())
            CmdTrack[*playing]->setBackColor(ButtonFace);
        focusPlayer();
        showOnAir();
        emit trackEnded();
    } else if (playing) {
        if (onPlayingPage())
            PlayerControls::blink(CmdTrack[*playing]);
        emit ticked();
    }
}

void Form1::CmdTrack_MouseMove(int index)
{
    // Once a save has enabled the other buttons during playback, a hover over one of them must
    // not load its file over the playing track.
    if (Timer1->isActive() || m_layers->anyPlaying())
        return;
    if (ActiveMovie1->fileName() == CmdTrack[index]->tag())
        return;
    m_carts->beforePut(m_show->shownPage(), index);
    ActiveMovie1->setFileName(CmdTrack[index]->tag());
    showTime(LblLCD, ActiveMovie1->duration() * 100);
    ActiveMovie1->stop();
}

void Form1::CmdSet_Click()
{
    Form2 *editor = form2();
    // The page shown, read afresh: another program may have edited the file since.
    const QList<TrackSlot> records = m_show->load();
    for (int n = 0; n < records.size(); ++n)
        editor->setRow(n, records[n]);
    editor->showModal();
}

void Form1::Command1_Click()
{
    if (!m_about)
        m_about = new About();
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void Form1::CmdExit_Click()
{
    Timer1->stop();
    ActiveMovie1->stop();
    QCoreApplication::exit(0);
}

void Form1::applySavedTracks(const TrackList &tracks)
{
    // The playing button stays enabled whatever its new short name: it is the only way to stop
    // the track. The stop or the end then enables every button as always.
    const std::optional<int> playing = Timer1->isActive() ? slotIndex(Timer1->tag()) : std::nullopt;
    for (int n = 0; n < SlotCount; ++n) {
        TrackButton *button = CmdTrack[n];
        if (!trimSpaces(tracks[n].shortName).isEmpty()) {
            button->setText(tracks[n].shortName);
            button->setEnabled(true);
        } else {
            button->setText(QString());
            button->setEnabled(n == playing);
        }
        button->setTag(tracks[n].fullPath);
    }
    markMissingFiles();
    // A cart playing on another page keeps the page shown locked.
    if (playing && !onPlayingPage())
        lockForPlayingPage();
    m_layers->showPage();
    m_cues->refresh();
    prepareTracks();
    emit tracksChanged();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager (Alt+F4 and the like): end the program as "E&xit" does, rather
    // than leave an invisible process behind with a hidden editor.
    event->accept();
    CmdExit_Click();
}
