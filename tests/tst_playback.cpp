#include "audiotestsupport.h"
#include "editor/form2.h"
#include "fakemediaplayer.h"
#include "fakeopendialog.h"
#include "engine/audiomediaplayer.h"
#include "player/form1.h"
#include "playerfixture.h"
#include "testsupport.h"
#include "common/settings.h"
#include "tracklist/tracklistfile.h"
#include "tracklist/trackliststore.h"
#include "show/showdocument.h"
#include "player/playercommands.h"
#include "player/soundnotice.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
constexpr quint32 Silver = 0xC0C0C0, Red = 0x0000FF, Blue = 0xFF0000, Face = 0x8000000F;
}

// Playback on the track buttons, driven by real clicks and hovers, against a scripted media
// player; ticks are delivered by firing the timer's handler the way the timer does.
class TestPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void clickOnIdleButton();
    void secondClickStops();
    void trackThatEnds();
    void ticksBlinkAndCountDown();
    void remainingTimeDisplay_data();
    void remainingTimeDisplay();
    void hoverPreviewsLength();
    void hoverWhilePlayingLoadsNothing();
    void afterStopEveryButtonEnabled_data();
    void afterStopEveryButtonEnabled();
    void unplayableFileReturnsToRestAtFirstTick_data();
    void unplayableFileReturnsToRestAtFirstTick();
    void clickOnOtherEnabledButtonWhilePlaying();
    void timerRunsWhileEditorIsOpen();
    void saveOfBlankNamesKeepsPlayingButtonUsable();
    void lengthCountedWhilePlaying();
    void fadeOutThenStopsAsASecondClick_data();
    void fadeOutThenStopsAsASecondClick();
    void cartsAreHandedOverToGetReady();
    void playingAcrossPages_data();
    void playingAcrossPages();
    void playingCartKeepsItsIdentity_data();
    void playingCartKeepsItsIdentity();
    void wallKeysAfterAndThroughMenus_data();
    void wallKeysAfterAndThroughMenus();
    void missingFileSaysSo();
    void wallKeysWithEverythingOpen_data();
    void wallKeysWithEverythingOpen();
    void brokenCartsAreSeenBeforeTheyPlay_data();
    void brokenCartsAreSeenBeforeTheyPlay();
    void preListenLeavesTheAirAlone();
    void endToEndWithRealAudio();
    void noSoundOutputIsSaid();
    void rapidClicksOnTheRealPlayer_data();
    void rapidClicksOnTheRealPlayer();

private:
    TrackButton *button(int n) { return m_window->findChild<TrackButton *>(QStringLiteral("CmdTrack(%1)").arg(n)); }
    QString display(const char *name) { return m_window->findChild<QLabel *>(name)->text(); }
    QTimer *timer() { return m_window->findChild<QTimer *>("Timer1"); }
    QString timerTag() { return qobject_cast<TagTimer *>(timer())->tag(); }
    void click(int n) { QTest::mouseClick(button(n), Qt::LeftButton); }
    // One tick, delivered as the timer's own event, so only a running timer ticks.
    void tick()
    {
        QTimerEvent event(timer()->timerId());
        QCoreApplication::sendEvent(timer(), &event);
    }

    QTemporaryDir m_config;
    PlayerFixture m_fixture;
    FakeMediaPlayer *m_player = nullptr;
    std::unique_ptr<Form1> m_window;
};

void TestPlayback::initTestCase()
{
    // The settings file of this run's own, not the user's.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestPlayback::init()
{
    QByteArray file;
    for (int n = 0; n < 12; ++n) {
        if (n == 9)
            file += "\"\",\"Blank\"\r\n"; // a blank slot, disabled at start-up
        else
            file += QStringLiteral("\"/m/t%1.mp3\",\"T%1\"\r\n").arg(n).toUtf8();
    }
    m_window = m_fixture.makeWindow(file);
    m_player = m_fixture.player;
    for (int n = 0; n < 12; ++n)
        m_player->durations.insert(QStringLiteral("/m/t%1.mp3").arg(n), 60.0 + n);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestPlayback::cleanup()
{
    m_window.reset();
}

void TestPlayback::clickOnIdleButton()
{
    click(4);
    QCOMPARE(m_player->calls, QStringList{"put:/m/t4.mp3"});
    QCOMPARE(button(4)->backColor(), Red);
    for (int n = 0; n < 12; ++n) {
        QCOMPARE(button(n)->isEnabled(), n == 4);
        if (n != 4)
            QCOMPARE(button(n)->backColor(), Silver);
    }
    QCOMPARE(display("LblLCD"), QStringLiteral("01.04"));
    QCOMPARE(display("LblLCD3"), QStringLiteral("00:00")); // until the first tick
    QVERIFY(timer()->isActive());
    QCOMPARE(timerTag(), QStringLiteral("4"));
    QVERIFY(m_window->hasFocus());
}

void TestPlayback::secondClickStops()
{
    click(4);
    m_player->playedSeconds = 10;
    tick();
    click(4);
    QCOMPARE(m_player->calls, (QStringList{"put:/m/t4.mp3", "put:/m/t4.mp3", "stop"}));
    QVERIFY(!timer()->isActive());
    QCOMPARE(timerTag(), QStringLiteral("-1"));
    QCOMPARE(display("LblLCD3"), QStringLiteral("01.04")); // the full length again
    QCOMPARE(button(4)->backColor(), Face);
    for (int n = 0; n < 12; ++n) {
        QVERIFY(button(n)->isEnabled());
        if (n != 4)
            QCOMPARE(button(n)->backColor(), Silver);
    }
}

void TestPlayback::trackThatEnds()
{
    click(7);
    m_player->playedSeconds = 30;
    tick();
    QVERIFY(timer()->isActive());
    m_player->playedSeconds = 67; // exactly the duration
    tick();
    QVERIFY(!timer()->isActive());
    QCOMPARE(timerTag(), QStringLiteral("7")); // kept after an end
    QCOMPARE(display("LblLCD3"), QStringLiteral("00.00"));
    QCOMPARE(button(7)->backColor(), Face);
    for (int n = 0; n < 12; ++n)
        QVERIFY(button(n)->isEnabled());
    QCOMPARE(m_player->calls.mid(1), (QStringList{"put:/m/t7.mp3", "stop"}));
}

void TestPlayback::ticksBlinkAndCountDown()
{
    click(2);
    QList<quint32> colours;
    for (int i = 0; i < 4; ++i) {
        m_player->playedSeconds = i;
        tick();
        colours << button(2)->backColor();
    }
    QCOMPARE(colours, (QList<quint32>{Blue, Red, Blue, Red}));
    QCOMPARE(display("LblLCD3"), QStringLiteral("00.59")); // 62 - 3 seconds
    QCOMPARE(button(0)->backColor(), Silver);
}

void TestPlayback::remainingTimeDisplay_data()
{
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("expected");
    QTest::newRow("start") << 0.0 << "01.00";
    QTest::newRow("hundredths truncated") << 0.01 << "00.59";
    QTest::newRow("rounds at the hundredths") << 0.001 << "01.00";
    QTest::newRow("half a second left") << 59.5 << "00.00";
    QTest::newRow("just short of the end") << 59.999999 << "00.00";
}

void TestPlayback::remainingTimeDisplay()
{
    QFETCH(double, position);
    QFETCH(QString, expected);
    click(0); // 60 s
    m_player->playedSeconds = position;
    tick();
    QCOMPARE(display("LblLCD3"), expected);
    QVERIFY(timer()->isActive()); // only exactly zero ends the track
}

void TestPlayback::hoverPreviewsLength()
{
    QTest::mouseMove(button(3), QPoint(20, 20));
    QCOMPARE(m_player->calls, (QStringList{"put:/m/t3.mp3", "stop"}));
    QCOMPARE(display("LblLCD"), QStringLiteral("01.03"));
    QVERIFY(!timer()->isActive());
    QTest::mouseMove(button(3), QPoint(30, 30));
    QCOMPARE(m_player->calls.size(), 2); // the same button again costs nothing
    QTest::mouseMove(button(5), QPoint(30, 30));
    QCOMPARE(m_player->calls.mid(2), (QStringList{"put:/m/t5.mp3", "stop"}));
}

void TestPlayback::hoverWhilePlayingLoadsNothing()
{
    click(1);
    // A save while playing enables the other buttons; hovering one must not replace the track.
    button(5)->setEnabled(true);
    QTest::mouseMove(button(5), QPoint(20, 20));
    QCOMPARE(m_player->calls, QStringList{"put:/m/t1.mp3"});
    QVERIFY(m_player->playing);
}

void TestPlayback::afterStopEveryButtonEnabled_data()
{
    QTest::addColumn<bool>("byClick");
    QTest::newRow("stopped by click") << true;
    QTest::newRow("track ended") << false;
}

void TestPlayback::afterStopEveryButtonEnabled()
{
    QFETCH(bool, byClick);
    QVERIFY(!button(9)->isEnabled()); // blank slot
    click(0);
    if (byClick) {
        click(0);
    } else {
        m_player->playedSeconds = 60;
        tick();
    }
    for (int n = 0; n < 12; ++n)
        QVERIFY2(button(n)->isEnabled(), qPrintable(QString::number(n)));
    // The blank slot can now be clicked: it hands its empty path over and returns to rest at
    // the first tick, because an unplayable file has duration and position 0.
    m_player->calls.clear();
    click(9);
    QCOMPARE(m_player->calls, QStringList{"put:"});
    QVERIFY(timer()->isActive());
    tick();
    QVERIFY(!timer()->isActive());
    QCOMPARE(button(9)->backColor(), Face);
}

void TestPlayback::unplayableFileReturnsToRestAtFirstTick_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing file") << "/nowhere/missing.mp3";
    QTest::newRow("default path of button 0") << "c:\\mp3_music\\track4.mp3";
}

void TestPlayback::unplayableFileReturnsToRestAtFirstTick()
{
    QFETCH(QString, path);
    button(6)->setTag(path);
    click(6);
    QCOMPARE(display("LblLCD"), QStringLiteral("00.00"));
    tick();
    QVERIFY(!timer()->isActive());
    QCOMPARE(display("LblLCD3"), QStringLiteral("00.00"));
    for (int n = 0; n < 12; ++n)
        QVERIFY(button(n)->isEnabled());
}

void TestPlayback::clickOnOtherEnabledButtonWhilePlaying()
{
    click(1);
    button(8)->setEnabled(true); // as a save during playback leaves it
    m_player->calls.clear();
    click(8);
    // The playing branch, with the clicked index: load 8, stop, rest.
    QCOMPARE(m_player->calls, (QStringList{"put:/m/t8.mp3", "stop"}));
    QVERIFY(!timer()->isActive());
    QCOMPARE(timerTag(), QStringLiteral("-1"));
    QCOMPARE(display("LblLCD3"), QStringLiteral("01.08"));
    QCOMPARE(button(8)->backColor(), Face);
    QCOMPARE(button(1)->backColor(), Silver);
}

void TestPlayback::timerRunsWhileEditorIsOpen()
{
    click(3);
    QTest::mouseClick(m_window->findChild<QPushButton *>("CmdSet"), Qt::LeftButton);
    Form2 *editor = m_window->findChild<Form2 *>("Form2");
    QVERIFY(editor && editor->isVisible());
    QVERIFY(editor->isModal());
    const quint32 before = button(3)->backColor();
    QTest::qWait(300); // the real timer, ticking under the modal editor
    QVERIFY(button(3)->backColor() != before);
    m_player->playedSeconds = 63;
    QTRY_VERIFY(!timer()->isActive()); // ends while the editor is open
    QVERIFY(editor->isVisible());
    QTest::mouseClick(editor->findChild<QPushButton *>("CmdCancel"), Qt::LeftButton);
}

void TestPlayback::saveOfBlankNamesKeepsPlayingButtonUsable()
{
    click(3);
    QTest::mouseClick(m_window->findChild<QPushButton *>("CmdSet"), Qt::LeftButton);
    Form2 *editor = m_window->findChild<Form2 *>("Form2");
    QVERIFY(editor && editor->isVisible());
    for (int n = 0; n < 12; ++n)
        editor->findChild<QLineEdit *>(QStringLiteral("TxtShortName(%1)").arg(n))->clear();
    QTest::mouseClick(editor->findChild<QPushButton *>("CmdExit"), Qt::LeftButton);
    QTRY_VERIFY(!m_window->findChild<Form2 *>("Form2"));
    QVERIFY(timer()->isActive());
    QCOMPARE(button(3)->text(), QString());
    QVERIFY(button(3)->isEnabled()); // the only way to stop the track by hand
    QVERIFY(!button(4)->isEnabled());
    click(3);
    QVERIFY(!timer()->isActive());
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
}

void TestPlayback::lengthCountedWhilePlaying()
{
    m_player->durations.remove(QStringLiteral("/m/t4.mp3"));
    m_player->pending = true;
    click(4);
    m_player->playedSeconds = 0.5;
    tick();
    tick();
    QVERIFY2(timer()->isActive(), "a length still being counted is no end");
    QCOMPARE(button(4)->backColor(), Red); // blinks meanwhile: red, blue, red

    m_player->durations.insert(QStringLiteral("/m/t4.mp3"), 75.0);
    m_player->pending = false;
    QVERIFY(m_player->durationKnown);
    m_player->durationKnown();
    QCOMPARE(display("LblLCD"), QStringLiteral("01.15"));
    tick();
    QCOMPARE(display("LblLCD3"), QStringLiteral("01.14"));
    QVERIFY(timer()->isActive());
}

void TestPlayback::fadeOutThenStopsAsASecondClick_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("thenClick"); // a plain click during the fade
    QTest::newRow("Esc") << QStringLiteral("Esc") << false;
    QTest::newRow("Shift+click") << QStringLiteral("Shift+click") << false;
    QTest::newRow("the menu's Fade out") << QStringLiteral("menu") << false;
    QTest::newRow("Esc, then a click stops at once") << QStringLiteral("Esc") << true;
    QTest::newRow("Esc with nothing playing") << QStringLiteral("Esc at rest") << false;
}

void TestPlayback::fadeOutThenStopsAsASecondClick()
{
    QFETCH(QString, how);
    QFETCH(bool, thenClick);
    Settings().setFadeSeconds(4);
    if (how == QLatin1String("Esc at rest")) {
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QCOMPARE(m_player->calls, QStringList{});
        return;
    }
    click(4);
    if (how == QLatin1String("Esc"))
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
    else if (how == QLatin1String("Shift+click"))
        QTest::mouseClick(button(4), Qt::LeftButton, Qt::ShiftModifier);
    else
        m_window->contextMenu()->findChild<QAction *>(QStringLiteral("FadeOut"))->trigger();
    QCOMPARE(m_player->calls, (QStringList{"put:/m/t4.mp3", "fade:4"}));
    QVERIFY(timer()->isActive()); // the countdown goes on while it fades
    tick();
    QVERIFY(timer()->isActive());
    if (thenClick) {
        click(4);
    } else {
        m_player->faded = true;
        tick();
    }
    // Then it stops exactly as a second click stops it.
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
    QVERIFY(!timer()->isActive());
    QCOMPARE(timerTag(), QStringLiteral("-1"));
    QCOMPARE(display("LblLCD3"), QStringLiteral("01.04"));
    QCOMPARE(button(4)->backColor(), Face);
    for (int n = 0; n < 12; ++n)
        QVERIFY(button(n)->isEnabled()); // a stop enables every button
}

void TestPlayback::playingAcrossPages_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc on another page fades it") << "Esc";
    QTest::newRow("a stop command on another page") << "stop";
    QTest::newRow("its end on another page") << "end";
    QTest::newRow("back on its page, a second click") << "back";
    QTest::newRow("a key on another page does nothing") << "F1";
    QTest::newRow("a click on page 2 plays page 2's cart") << "page 2";
}

void TestPlayback::playingAcrossPages()
{
    QFETCH(QString, how);
    Settings().setFadeSeconds(4);
    ShowDocument *show = m_window->showDocument();
    QVERIFY(!button(0)->marked()); // the classic list looks as it always has, files or not
    QString error;
    QVERIFY(show->addPage(&error) && show->addPage(&error));
    QVERIFY(button(0)->marked()); // a show's pages say which files are not there
    QCOMPARE(show->pageCount(), 3);
    QVERIFY(!m_window->findChild<QLabel *>("PageCaption")->isVisible() || show->pageCount() > 1);
    QTest::keyClick(m_window.get(), Qt::Key_PageDown);
    TrackList second{};
    for (int n = 0; n < 12; ++n) {
        second[size_t(n)] = {QStringLiteral("/p2/%1.mp3").arg(n), QStringLiteral("P2 %1").arg(n)};
        m_player->durations.insert(second[size_t(n)].fullPath, 30.0);
    }
    second[9] = {};
    QVERIFY(show->save(second, &error));
    QCOMPARE(button(0)->text(), QStringLiteral("P2 0"));
    QVERIFY(button(0)->marked());
    QVERIFY(!button(9)->marked()); // a blank cart is not a missing one
    QCOMPARE(m_window->findChild<QLabel *>("PageCaption")->text(), QStringLiteral("Page 2 of 3: Page 2"));
    QCOMPARE(m_window->accessibleDescription(), QStringLiteral("Page 2 of 3: Page 2"));
    if (how == QLatin1String("page 2")) {
        click(0);
        QCOMPARE(m_player->calls, QStringList{"put:/p2/0.mp3"});
        QCOMPARE(m_window->playingPage(), 1);
        return;
    }
    QTest::keyClick(m_window.get(), Qt::Key_PageUp);
    QCOMPARE(show->shownPage(), 0);
    click(4);
    m_player->playedSeconds = 10;
    tick();
    QTest::keyClick(m_window.get(), Qt::Key_PageDown);
    QTest::keyClick(m_window.get(), Qt::Key_PageDown);
    QTest::keyClick(m_window.get(), Qt::Key_PageDown); // no wrapping past the last
    QCOMPARE(show->shownPage(), 2);
    // Twelve locked buttons, none blinking; the countdown goes on.
    m_player->playedSeconds = 20;
    tick();
    QCOMPARE(display("LblLCD3"), QStringLiteral("00.44"));
    for (int n = 0; n < 12; ++n) {
        QVERIFY(!button(n)->isEnabled());
        QCOMPARE(button(n)->backColor(), Silver);
    }
    if (how == QLatin1String("F1")) {
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(m_player->calls, QStringList{"put:/m/t4.mp3"});
        return;
    }
    if (how == QLatin1String("back")) {
        QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(show->shownPage(), 0);
        for (int n = 0; n < 12; ++n)
            QCOMPARE(button(n)->isEnabled(), n == 4);
        tick();
        QVERIFY(button(4)->backColor() == Red || button(4)->backColor() == Blue);
        click(4);
    } else if (how == QLatin1String("Esc")) {
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QCOMPARE(m_player->calls.last(), QStringLiteral("fade:4"));
        m_player->faded = true;
        tick();
    } else if (how == QLatin1String("stop")) {
        m_window->stopTrack();
    } else {
        m_player->playedSeconds = 64;
        tick();
    }
    // Stopped as its own button would stop it: the playing file, never the page shown's.
    QVERIFY(!timer()->isActive());
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
    QCOMPARE(m_player->calls.at(m_player->calls.size() - 2), QStringLiteral("put:/m/t4.mp3"));
    for (int n = 0; n < 12; ++n)
        QVERIFY(button(n)->isEnabled()); // the page shown is released
    QTest::keyClick(m_window.get(), Qt::Key_1, Qt::ControlModifier);
    for (int n = 0; n < 12; ++n) {
        // Page 1 at rest: shown again, its blank slot is locked as at start-up; never left
        // (a second click), every button is enabled as a stop leaves them.
        QCOMPARE(button(n)->isEnabled(), n != 9 || how == QLatin1String("back"));
        QVERIFY(button(n)->backColor() != Red && button(n)->backColor() != Blue);
    }
}

void TestPlayback::playingCartKeepsItsIdentity_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("pageAfter"); // where its page is then (1-based; 0: gone from the show)
    QTest::newRow("its page moved right") << "move right" << 4;
    QTest::newRow("a page before it moved after it") << "move before" << 2;
    QTest::newRow("a page before it deleted") << "delete before" << 2;
    QTest::newRow("its own page deleted") << "delete own" << 0;
    QTest::newRow("another show opened") << "other show" << 0;
    QTest::newRow("the default show opened again") << "default show" << 0;
}

void TestPlayback::playingCartKeepsItsIdentity()
{
    // Page 3 slot 2 plays; the show's pages change under it. Its button, and what every
    // control is told, follow the page itself, never the number it had.
    QFETCH(QString, edit);
    QFETCH(int, pageAfter);
    Settings().setFadeSeconds(2);
    const auto forgetShow = qScopeGuard([] { Settings().setLastShow(QString()); });
    ShowDocument *show = m_window->showDocument();
    PlayerCommands commands(*m_window);
    QString error;
    for (int n = 0; n < 3; ++n)
        QVERIFY(show->addPage(&error));
    for (int page = 1; page < 4; ++page) {
        m_window->showPage(page);
        TrackList carts{};
        for (int n = 0; n < 12; ++n) {
            carts[size_t(n)] = {QStringLiteral("/p%1/%2.mp3").arg(page + 1).arg(n),
                                QStringLiteral("P%1 %2").arg(page + 1).arg(n)};
            m_player->durations.insert(carts[size_t(n)].fullPath, 40.0);
        }
        QVERIFY(show->save(carts, &error));
    }
    m_window->showPage(2);
    click(1);
    QCOMPARE(commands.state().playingPage, 3);
    m_window->showPage(1);
    QTemporaryDir other;
    if (edit == QLatin1String("move right")) {
        QVERIFY(show->movePage(2, 1, &error));
    } else if (edit == QLatin1String("move before")) {
        QVERIFY(show->movePage(1, 2, &error));
    } else if (edit == QLatin1String("delete before")) {
        QVERIFY(show->deletePage(1, &error));
    } else if (edit == QLatin1String("delete own")) {
        QVERIFY(show->deletePage(2, &error));
    } else if (edit == QLatin1String("other show")) {
        const QString path = other.filePath(QStringLiteral("Other.kelvo"));
        QVERIFY(ShowDocument::create(path, &error));
        QVERIFY(m_window->openShow(path));
    } else {
        QString note;
        show->openDefault(&note);
    }
    const SurfaceState state = commands.state();
    QVERIFY(state.playing);
    QCOMPARE(state.playingPage, pageAfter);
    QCOMPARE(state.slot, pageAfter > 0 ? 2 : 0);
    QCOMPARE(state.playingCaption, QStringLiteral("P3 1"));
    QCOMPARE(state.playingFile, QStringLiteral("/p3/1.mp3"));
    QCOMPARE(m_window->playingPage(), pageAfter > 0 ? std::optional<int>(pageAfter - 1) : std::nullopt);
    // Every page but its own: twelve locked buttons, none red; its own: its button blinks.
    for (int page = 0; page < show->pageCount(); ++page) {
        m_window->showPage(page);
        tick();
        tick();
        const bool own = page == pageAfter - 1;
        for (int n = 0; n < 12; ++n) {
            QCOMPARE(button(n)->isEnabled(), own && n == 1);
            QCOMPARE(button(n)->backColor() == Red || button(n)->backColor() == Blue, own && n == 1);
        }
        auto *onAir = m_window->findChild<QLabel *>(QStringLiteral("OnAir"));
        QCOMPARE(onAir->isVisible(), !own);
        if (!own) {
            QCOMPARE(onAir->text(),
                     pageAfter > 0 ? QStringLiteral("On air: P3 1 (page %1)").arg(pageAfter)
                                   : QStringLiteral("On air: P3 1 (not in this show)"));
            QVERIFY2(m_window->accessibleDescription().contains(onAir->text()),
                     qPrintable(m_window->accessibleDescription()));
        }
    }
    // Esc and a stop reach it wherever it came from; the stop puts its own file, not a page's.
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QCOMPARE(m_player->calls.last(), QStringLiteral("fade:2"));
    commands.stop();
    QCOMPARE(m_player->calls.at(m_player->calls.size() - 2), QStringLiteral("put:/p3/1.mp3"));
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
    QVERIFY(!commands.state().playing);
    QVERIFY(!m_window->findChild<QLabel *>(QStringLiteral("OnAir"))->isVisible());
}

void TestPlayback::wallKeysAfterAndThroughMenus_data()
{
    QTest::addColumn<QString>("menu"); // "window" or "cart": which menu was opened
    QTest::addColumn<QString>("when"); // "at rest": opened and closed before the fire; "open": open at the key
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("call"); // the player's last call after the key
    const int none = Qt::NoModifier;
    QTest::newRow("window menu at rest, then Esc") << "window"
                                                   << "at rest" << int(Qt::Key_Escape) << none << "fade:2";
    QTest::newRow("cart menu at rest, then Esc") << "cart"
                                                 << "at rest" << int(Qt::Key_Escape) << none << "fade:2";
    QTest::newRow("window menu open, Esc closes it and fades") << "window"
                                                               << "open" << int(Qt::Key_Escape) << none << "fade:2";
    QTest::newRow("cart menu open, Esc closes it and fades") << "cart"
                                                             << "open" << int(Qt::Key_Escape) << none << "fade:2";
    QTest::newRow("menu open, F5 stops its cart") << "window"
                                                  << "open" << int(Qt::Key_F5) << none << "stop";
    QTest::newRow("menu open, Shift+Esc stops all")
        << "window"
        << "open" << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << "stop";
    QTest::newRow("no menu, Shift+Esc stops all") << ""
                                                  << "" << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << "stop";
}

void TestPlayback::wallKeysAfterAndThroughMenus()
{
    // Before a show the operator opens the menus at rest (an output, a cart's settings); on air
    // one may be open when the key is needed. Neither takes the key away.
    QFETCH(QString, menu);
    QFETCH(QString, when);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, call);
    Settings().setFadeSeconds(2);
    const auto open = [&]() -> QMenu * {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(10, 10), m_window->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(menu == QLatin1String("window") ? static_cast<QWidget *>(m_window.get()) : button(4),
                                &event);
        auto *shown = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        return shown && shown->isVisible() ? shown : nullptr;
    };
    if (when == QLatin1String("at rest")) {
        QMenu *shown = open();
        QVERIFY(shown);
        shown->close();
    }
    click(4);
    QWidget *target = m_window.get();
    if (when == QLatin1String("open")) {
        QMenu *shown = open();
        QVERIFY(shown);
        target = shown;
    }
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_player->calls.last(), call);
    QVERIFY(!QApplication::activePopupWidget()); // the menu is closed by the same press
    if (call == QLatin1String("stop")) {
        QVERIFY(!timer()->isActive());
        QCOMPARE(m_player->calls.at(m_player->calls.size() - 2), QStringLiteral("put:/m/t4.mp3"));
    }
}

void TestPlayback::wallKeysWithEverythingOpen_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("call"); // the player's last call after the key
    QTest::addColumn<bool>("playing"); // after it
    QTest::addColumn<bool>("dialog");  // a dialog typed into (Rename page...) rather than the editor and a menu
    QTest::newRow("F1: its button on the page shown is locked")
        << int(Qt::Key_F1) << int(Qt::NoModifier) << "put:/m/t4.mp3" << true << false;
    QTest::newRow("Esc fades the cart of the other page")
        << int(Qt::Key_Escape) << int(Qt::NoModifier) << "fade:2" << true << false;
    QTest::newRow("Shift+Esc stops it") << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << "stop" << false << false;
    QTest::newRow("a dialog being typed into: F1")
        << int(Qt::Key_F1) << int(Qt::NoModifier) << "put:/m/t4.mp3" << true << true;
    QTest::newRow("a dialog being typed into: Esc fades")
        << int(Qt::Key_Escape) << int(Qt::NoModifier) << "fade:2" << true << true;
    QTest::newRow("a dialog being typed into: Shift+Esc stops")
        << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << "stop" << false << true;
}

void TestPlayback::wallKeysWithEverythingOpen()
{
    // On air at once: a cart of page 1 plays, page 2 is shown, the editor is open over it and a
    // menu is open over the editor. The keys still do what they say, and the menu closes.
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, call);
    QFETCH(bool, playing);
    QFETCH(bool, dialog);
    Settings().setFadeSeconds(2);
    QString error;
    QVERIFY(m_window->showDocument()->addPage(&error));
    click(4);
    m_window->showPage(1);
    if (dialog) {
        // Opened from the menu, centred on the window, its text box holding the keyboard.
        bool asked = false;
        QTimer::singleShot(0, m_window.get(), [&] {
            QWidget *box = QApplication::activeModalWidget();
            auto *text = box ? box->findChild<QLineEdit *>() : nullptr;
            if (!text)
                return;
            asked = true;
            QTest::keyClick(text, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            box->close();
        });
        m_window->contextMenu()->findChild<QAction *>(QStringLiteral("RenamePage"))->trigger();
        QVERIFY(asked);
        QCOMPARE(m_player->calls.last(), call);
        QCOMPARE(timer()->isActive(), playing);
        return;
    }
    QTest::mouseClick(m_window->findChild<QPushButton *>("CmdSet"), Qt::LeftButton);
    Form2 *editor = m_window->findChild<Form2 *>("Form2");
    QVERIFY(QTest::qWaitForWindowActive(editor));
    QMenu menu(editor);
    menu.addAction(QStringLiteral("Something"));
    menu.popup(editor->mapToGlobal(QPoint(10, 10)));
    QVERIFY(QApplication::activePopupWidget() == &menu);
    QTest::keyClick(&menu, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(!menu.isVisible());
    QCOMPARE(m_player->calls.last(), call);
    QCOMPARE(timer()->isActive(), playing);
    QVERIFY(editor->isVisible());
    QCOMPARE(m_window->showDocument()->shownPage(), 1);
    editor->close();
}

void TestPlayback::missingFileSaysSo()
{
    // A show's cart whose file is gone: its corner says why, and a press says so where the
    // operator looks, for a while.
    QString error;
    QVERIFY(m_window->showDocument()->addPage(&error));
    QVERIFY(button(3)->marked());
    QCOMPARE(button(3)->markNote(), QStringLiteral("File missing: /m/t3.mp3"));
    auto *notice = m_window->findChild<SoundNotice *>(QStringLiteral("SoundNotice"));
    QVERIFY(!notice->isVisible());
    click(3);
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), QStringLiteral("File missing: /m/t3.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(!notice->isVisible(), 4000);
}

void TestPlayback::brokenCartsAreSeenBeforeTheyPlay_data()
{
    QTest::addColumn<bool>("pages");   // a show of pages, or the classic list
    QTest::addColumn<QString>("file"); // "there", "missing", "unplayable" (there, but found not to play)
    QTest::addColumn<bool>("marked");  // a red corner once the player has looked
    QTest::newRow("a show's playable cart") << true << "there" << false;
    QTest::newRow("a show's missing cart") << true << "missing" << true;
    QTest::newRow("a show's cart that cannot play") << true << "unplayable" << true;
    QTest::newRow("the classic list keeps its look") << false << "unplayable" << false;
}

void TestPlayback::brokenCartsAreSeenBeforeTheyPlay()
{
    QFETCH(bool, pages);
    QFETCH(QString, file);
    QFETCH(bool, marked);
    const QString path = QDir(m_fixture.folder()).filePath(file + QStringLiteral(".wav"));
    if (file != QLatin1String("missing"))
        writeBytes(path, "not audio");
    ShowDocument *show = m_window->showDocument();
    QString error;
    TrackList tracks{};
    tracks[3] = {path, QStringLiteral("Cart")};
    QVERIFY(show->save(tracks, &error));
    if (pages)
        QVERIFY(show->addPage(&error));
    // The player looks at the new file in the background, and says so when it is done.
    if (file == QLatin1String("unplayable"))
        m_player->unplayable << path;
    QVERIFY(m_player->lookedAt);
    m_player->lookedAt(path);
    QCOMPARE(button(3)->marked(), marked);
    if (!pages)
        return;
    // Every page's carts are handed over to be looked at once; a page switch hands over nothing.
    QVERIFY(!m_player->lookedAhead.isEmpty());
    QVERIFY(m_player->lookedAhead.last().contains(path));
    const qsizetype handed = m_player->lookedAhead.size();
    QTest::keyClick(m_window.get(), Qt::Key_PageDown);
    QTest::keyClick(m_window.get(), Qt::Key_PageUp);
    QCOMPARE(m_player->lookedAhead.size(), handed);
    // A cart put on page 2 is, at once.
    QTest::keyClick(m_window.get(), Qt::Key_PageDown);
    TrackList second{};
    second[0] = {QStringLiteral("/p2/new.mp3"), QStringLiteral("New")};
    QVERIFY(show->save(second, &error));
    QCOMPARE(m_player->lookedAhead.size(), handed + 1);
    QVERIFY(m_player->lookedAhead.last().contains(QStringLiteral("/p2/new.mp3")));
    QVERIFY(m_player->lookedAhead.last().contains(path)); // page 1's, not shown
}

void TestPlayback::preListenLeavesTheAirAlone()
{
    Settings().setPreListenOutput(QStringLiteral("phones"));
    m_window.reset();
    m_window = m_fixture.makeWindow(m_fixture.records(12, QStringLiteral("/m/t%1.mp3"), QStringLiteral("T%1")));
    m_player = m_fixture.player;
    m_player->durations.insert(QStringLiteral("/m/t4.mp3"), 64);
    m_player->durations.insert(QStringLiteral("/m/t2.mp3"), 62);
    m_window->show();
    click(4);
    m_window->cartMenu(2)->findChild<QAction *>(QStringLiteral("PreListen"))->trigger();
    QCOMPARE(m_player->preListened, QStringLiteral("/m/t2.mp3"));
    QVERIFY(button(2)->framed());
    // The air goes on untouched: one put, the timer, the blink, the locked buttons, the displays.
    QCOMPARE(m_player->calls, QStringList{"put:/m/t4.mp3"});
    QVERIFY(timer()->isActive());
    QCOMPARE(timerTag(), QStringLiteral("4"));
    QVERIFY(!button(2)->isEnabled());
    QCOMPARE(display("LblLCD"), QStringLiteral("01.04"));
    QCOMPARE(m_window->cartMenu(2)->actions().constFirst()->text(), QStringLiteral("Stop pre-listen"));
    click(4); // the air stops; the pre-listen goes on
    QVERIFY(m_player->preListenPlays);
    QVERIFY(button(2)->framed());
    click(2); // the pre-listened cart fires on air as usual, and the pre-listen goes on
    QCOMPARE(m_player->calls.last(), QStringLiteral("put:/m/t2.mp3"));
    QVERIFY(button(2)->framed());
    m_player->preListenPlays = false; // it reaches its end
    QTRY_VERIFY(!button(2)->framed());
    Settings().setPreListenOutput({});
}

void TestPlayback::cartsAreHandedOverToGetReady()
{
    const auto cueText = [this] {
        QStringList text;
        for (const MediaCue &cue : m_player->prepared)
            text << cue.fileName + QLatin1Char('=') + cue.caption;
        return text;
    };
    QCOMPARE(m_player->prepared.size(), 12);
    QCOMPARE(cueText().first(), QStringLiteral("/m/t0.mp3=T0"));
    TrackList tracks{};
    tracks[0] = {QStringLiteral("/m/new.mp3"), QStringLiteral("New")};
    QVERIFY(m_window->trackListStore()->save(tracks, nullptr));
    QCOMPARE(cueText().first(), QStringLiteral("/m/new.mp3=New"));
    QCOMPARE(cueText().at(1), QStringLiteral("="));
}

void TestPlayback::noSoundOutputIsSaid()
{
    // The real player and a sound server of the test's own: none at the start, then started,
    // then killed while nothing plays. The window says when nothing can be heard, and no more.
    m_window.reset();
    QTemporaryDir dir;
    PrivatePulse pulse(dir.filePath("pulse"));
    const ScopedEnvironment server("PULSE_SERVER", pulse.server().toUtf8());
    QVERIFY(writeBytes(TrackListFile::pathIn(dir.path()),
                       "\"" + fixture("cbr_tag.mp3").toUtf8() + "\",\"Two\"\r\n\"" + fixture("short880.mp3").toUtf8()
                           + "\",\"One\"\r\n"));
    m_window = std::make_unique<Form1>(std::make_unique<AudioMediaPlayer>(), std::make_unique<FakeOpenDialog>(),
                                       dir.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *notice = m_window->findChild<QLabel *>(QStringLiteral("SoundNotice"));
    QVERIFY(notice);
    const QString said = QStringLiteral("No sound output: no sound server answers");
    QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), 1000);
    QCOMPARE(notice->text(), said);
    QCOMPARE(m_window->accessibleDescription(), said);
    QCOMPARE(button(0)->toolTip(), said);

    // A click still plays, on the silent clock, and the notice stays.
    click(1);
    QTRY_VERIFY_WITH_TIMEOUT(!timer()->isActive(), 3000);
    QVERIFY(notice->isVisible());

    // The server comes: the next hover over a cart finds it.
    QVERIFY(pulse.start());
    QTest::qWait(200);
    QVERIFY(notice->isVisible()); // nothing asks while nothing happens
    // The move itself, whatever earlier tests left of the test's own cursor.
    QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), button(0)->mapToGlobal(QPointF(10, 10)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button(0), &hover);
    QCOMPARE(display("LblLCD"), QStringLiteral("00.02"));
    QTRY_VERIFY_WITH_TIMEOUT(!notice->isVisible(), 1000);
    QVERIFY(m_window->accessibleDescription() != said);
    QCOMPARE(button(0)->toolTip(), QString());

    // Killed while idle: said within a second.
    pulse.stop();
    QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), 1000);
    QCOMPARE(notice->text(), said);
}

void TestPlayback::endToEndWithRealAudio()
{
    REQUIRE_AUDIO();
    m_window.reset();
    QTemporaryDir dir;
    QVERIFY(writeBytes(TrackListFile::pathIn(dir.path()),
                       "\"" + fixture("cbr_tag.mp3").toUtf8() + "\",\"Two seconds\"\r\n\""
                           + fixture("short880.mp3").toUtf8() + "\",\"One second\"\r\n"));
    m_window = std::make_unique<Form1>(std::make_unique<AudioMediaPlayer>(), std::make_unique<FakeOpenDialog>(),
                                       dir.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    // Hovering previews lengths and plays nothing.
    SinkRecorder hover;
    QVERIFY(hover.start());
    QTest::mouseMove(button(1), QPoint(10, 10));
    QCOMPARE(display("LblLCD"), QStringLiteral("00.01"));
    QTest::mouseMove(button(0), QPoint(10, 10));
    QCOMPARE(display("LblLCD"), QStringLiteral("00.02"));
    QTest::qWait(400);
    QCOMPARE(soundSpan(hover.stop()).first, qsizetype(-1));

    // A click plays the two-second track, counts down, ends and returns to rest.
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    click(0);
    QCOMPARE(display("LblLCD"), QStringLiteral("00.02"));
    QVERIFY(!button(1)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(display("LblLCD3"), QStringLiteral("00.01"), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!timer()->isActive(), 4000);
    QCOMPARE(display("LblLCD3"), QStringLiteral("00.00"));
    QCOMPARE(timerTag(), QStringLiteral("0"));
    QCOMPARE(button(0)->backColor(), Face);
    for (int n = 0; n < 12; ++n)
        QVERIFY(button(n)->isEnabled());
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples);
    QVERIFY2(qAbs(span.seconds() - 2.0) < 0.02, qPrintable(QString::number(span.seconds())));
    QVERIFY(qAbs(toneFrequency(samples, span) - 440) < 9);
}

void TestPlayback::rapidClicksOnTheRealPlayer_data()
{
    QTest::addColumn<bool>("busyWait");
    QTest::newRow("250 ms apart") << false;
    // A busy user-interface thread makes the timer's tick overdue, so it fires inside whatever
    // event processing the next click's stop runs into.
    QTest::newRow("300 ms busy between clicks") << true;
}

void TestPlayback::rapidClicksOnTheRealPlayer()
{
    REQUIRE_AUDIO();
    QFETCH(bool, busyWait);
    m_window.reset();
    QTemporaryDir dir;
    QVERIFY(writeBytes(TrackListFile::pathIn(dir.path()),
                       "\"" + fixture("six_seconds.mp3").toUtf8() + "\",\"Six seconds\"\r\n"));
    m_window = std::make_unique<Form1>(std::make_unique<AudioMediaPlayer>(), std::make_unique<FakeOpenDialog>(),
                                       dir.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    for (int i = 0; i < 50; ++i) {
        click(0);
        if (busyWait) {
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < 300) { }
        } else {
            QTest::qWait(250);
        }
    }
    QCOMPARE(timer()->isActive(), false); // an even number of clicks: at rest
    QCOMPARE(timerTag(), QStringLiteral("-1"));
    QCOMPARE(display("LblLCD3"), QStringLiteral("00.06"));
    for (int n = 0; n < 12; ++n)
        QVERIFY(button(n)->isEnabled());
}

QTEST_MAIN(TestPlayback)
#include "tst_playback.moc"
