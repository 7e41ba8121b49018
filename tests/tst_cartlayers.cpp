#include "audiotestsupport.h"
#include "common/colours.h"
#include "common/module1.h"
#include "common/settings.h"
#include "engine/audiomediaplayer.h"
#include "fakemediaplayer.h"
#include "fakeopendialog.h"
#include "player/cartlayers.h"
#include "player/form1.h"
#include "player/playercommands.h"
#include "player/trackbutton.h"
#include "remote/instancelink.h"
#include "playerfixture.h"
#include "show/showdocument.h"
#include "show/showformat.h"
#include "testsupport.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>

// Pages whose carts play together or hand over: what the window does with several carts at once,
// against a scripted player, and what the sink hears with the real one.
class TestCartLayers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void modesAndSettingsRead_data();
    void modesAndSettingsRead();
    void trackListPageIsAlwaysOneAtATime();
    void pressesOnAPage_data();
    void pressesOnAPage();
    void keysForEveryCart_data();
    void keysForEveryCart();
    void endsAndFadesReleaseTheirButtons();
    void voiceOverDucksTheOthers();
    void guardAndEndWarningFollowEachCart();
    void classicPageIsUnchanged();
    void togetherAtTheSink();
    void handOverAtTheSink_data();
    void handOverAtTheSink();

private:
    TrackButton *button(int n) { return m_window->findChild<TrackButton *>(QStringLiteral("CmdTrack(%1)").arg(n)); }
    QString display(const char *name) { return m_window->findChild<QLabel *>(name)->text(); }
    void click(int n, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(button(n), Qt::LeftButton, modifiers);
    }
    void tick()
    {
        auto *timer = m_window->layers()->findChild<QTimer *>(QStringLiteral("LayerTimer"));
        if (timer && timer->isActive()) {
            QTimerEvent event(timer->timerId());
            QCoreApplication::sendEvent(timer, &event);
        }
    }
    // A second page of twelve carts in mode, shown; carts' settings by slot.
    void showSecondPage(PageMode mode, const QHash<int, CartSettings> &settings = {});

    QTemporaryDir m_config;
    PlayerFixture m_fixture;
    FakeMediaPlayer *m_player = nullptr;
    std::unique_ptr<Form1> m_window;
};

Q_DECLARE_METATYPE(PageMode)

void TestCartLayers::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestCartLayers::init()
{
    Settings().setFadeSeconds(2);
    m_window = m_fixture.makeWindow(PlayerFixture::records(12, QStringLiteral("/m/t%1.mp3"), QStringLiteral("T%1")));
    m_player = m_fixture.player;
    for (int n = 0; n < 12; ++n)
        m_player->durations.insert(QStringLiteral("/m/t%1.mp3").arg(n), 60.0 + n);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestCartLayers::cleanup()
{
    m_window.reset();
}

void TestCartLayers::showSecondPage(PageMode mode, const QHash<int, CartSettings> &settings)
{
    ShowDocument *show = m_window->showDocument();
    QString error;
    QVERIFY(show->addPage(&error));
    m_window->showPage(1);
    TrackList carts{};
    for (int n = 0; n < 12; ++n) {
        carts[size_t(n)] = {QStringLiteral("/p/%1.wav").arg(n), QStringLiteral("P%1").arg(n)};
        m_player->durations.insert(carts[size_t(n)].fullPath, 30.0 + n);
    }
    QVERIFY(show->save(carts, &error));
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        QVERIFY(show->setCartSettings(1, it.key(), it.value(), &error));
    QVERIFY2(show->setPageMode(1, mode, &error), qPrintable(error));
    QCOMPARE(show->pageMode(1), mode);
    m_player->calls.clear();
}

void TestCartLayers::modesAndSettingsRead_data()
{
    QTest::addColumn<QByteArray>("page"); // a page's JSON, with one cart
    QTest::addColumn<PageMode>("mode");
    QTest::addColumn<QString>("group");
    QTest::addColumn<double>("duck");
    QTest::addColumn<bool>("noted"); // the reader says it changed something
    const QByteArray cart = R"("carts": [{"file": "a.wav", "caption": "A")";
    QTest::newRow("no playback: one at a time") << ("{" + cart + "}]}") << PageMode::One << "" << 0.0 << false;
    QTest::newRow("together") << (R"({"playback": "together", )" + cart + "}]}") << PageMode::Together << "" << 0.0
                              << false;
    QTest::newRow("hand over") << (R"({"playback": "handover", )" + cart + "}]}") << PageMode::HandOver << "" << 0.0
                               << false;
    QTest::newRow("an unknown mode is one, said")
        << (R"({"playback": "all", )" + cart + "}]}") << PageMode::One << "" << 0.0 << true;
    QTest::newRow("a number is one, said")
        << (R"({"playback": 2, )" + cart + "}]}") << PageMode::One << "" << 0.0 << true;
    QTest::newRow("a group and a duck") << ("{" + cart + R"(, "group": "beds", "duck_db": -12}]})") << PageMode::One
                                        << "beds" << -12.0 << false;
    QTest::newRow("a duck too deep is held")
        << ("{" + cart + R"(, "duck_db": -90}]})") << PageMode::One << "" << -40.0 << true;
    QTest::newRow("a duck above 0 is held")
        << ("{" + cart + R"(, "duck_db": 6}]})") << PageMode::One << "" << 0.0 << true;
    QTest::newRow("a duck that is no number")
        << ("{" + cart + R"(, "duck_db": "low"}]})") << PageMode::One << "" << 0.0 << true;
    QTest::newRow("a group too long is cut") << ("{" + cart + R"(, "group": ")" + QByteArray(40, 'g') + R"("}]})")
                                             << PageMode::One << QString(32, QLatin1Char('g')) << 0.0 << true;
    QTest::newRow("a group that is no text")
        << ("{" + cart + R"(, "group": 7}]})") << PageMode::One << "" << 0.0 << true;
}

void TestCartLayers::modesAndSettingsRead()
{
    QFETCH(QByteArray, page);
    QFETCH(PageMode, mode);
    QFETCH(QString, group);
    QFETCH(double, duck);
    QFETCH(bool, noted);
    QTemporaryDir folder;
    const ShowReading reading = ShowFormat::parse(R"({"kelvo-show": 1, "pages": [)" + page + "]}", folder.path());
    QVERIFY(reading.isShow);
    QCOMPARE(reading.show.pages[0].mode, mode);
    QCOMPARE(reading.show.pages[0].carts[0].settings.group, group);
    QCOMPARE(reading.show.pages[0].carts[0].settings.duckDb, duck);
    QCOMPARE(!reading.skipped.isEmpty(), noted);
    // And written back as read.
    const ShowReading again = ShowFormat::parse(ShowFormat::serialize(reading.show, folder.path()), folder.path());
    QCOMPARE(again.show.pages[0].mode, mode);
    QCOMPARE(again.show.pages[0].carts[0].settings, reading.show.pages[0].carts[0].settings);
    QVERIFY(again.skipped.isEmpty());
}

void TestCartLayers::trackListPageIsAlwaysOneAtATime()
{
    ShowDocument *show = m_window->showDocument();
    QString error;
    QVERIFY(!show->canChangeMode(0));
    QVERIFY(!show->setPageMode(0, PageMode::Together, &error));
    QCOMPARE(show->pageMode(0), PageMode::One);
    QMenu *pages = m_window->contextMenu()->findChild<QMenu *>(QStringLiteral("Page"));
    QVERIFY(pages);
    emit pages->aboutToShow();
    QVERIFY(!pages->findChild<QMenu *>(QStringLiteral("PageMode"))->isEnabled());
    // A second page can, from its menu.
    QVERIFY(show->addPage(&error));
    m_window->showPage(1);
    emit pages->aboutToShow();
    QMenu *modes = pages->findChild<QMenu *>(QStringLiteral("PageMode"));
    QVERIFY(modes->isEnabled());
    modes->findChild<QAction *>(QStringLiteral("PageMode(%1)").arg(int(PageMode::HandOver)))->trigger();
    QCOMPARE(show->pageMode(1), PageMode::HandOver);
}

void TestCartLayers::pressesOnAPage_data()
{
    QTest::addColumn<PageMode>("mode");
    QTest::addColumn<QStringList>("groups"); // slot 0, 1 and 2's
    QTest::addColumn<QList<int>>("presses"); // slots, in order; -1 - n: Shift+click on n
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QList<int>>("playing"); // the slots playing after, the first fired first
    QTest::newRow("together: two carts play")
        << PageMode::Together << QStringList{"", "", ""} << QList<int>{0, 1}
        << QStringList{"put:/p/0.wav", "keep:1", "put:/p/1.wav", "keep:2"} << QList<int>{0, 1};
    QTest::newRow("together: a second press stops its cart alone")
        << PageMode::Together << QStringList{"", "", ""} << QList<int>{0, 1, 0}
        << QStringList{"put:/p/0.wav", "keep:1", "put:/p/1.wav", "keep:2", "stop-layer:1"} << QList<int>{1};
    QTest::newRow("together: Shift+click fades its cart")
        << PageMode::Together << QStringList{"", "", ""} << QList<int>{0, 1, -1 - 0}
        << QStringList{"put:/p/0.wav", "keep:1", "put:/p/1.wav", "keep:2", "fade-layer:1:2"} << QList<int>{0, 1};
    QTest::newRow("hand over: the first fades as the second starts")
        << PageMode::HandOver << QStringList{"", "", ""} << QList<int>{0, 1}
        << QStringList{"put:/p/0.wav", "keep:1", "fade-layer:1:2", "put:/p/1.wav", "keep:2"} << QList<int>{0, 1};
    QTest::newRow("a group hands over, another group plays on")
        << PageMode::Together << QStringList{"bed", "bed", "fx"} << QList<int>{0, 2, 1}
        << QStringList{"put:/p/0.wav", "keep:1", "put:/p/2.wav", "keep:2", "put:/p/1.wav", "keep:3", "fade-layer:1:2"}
        << QList<int>{0, 2, 1};
}

void TestCartLayers::pressesOnAPage()
{
    QFETCH(PageMode, mode);
    QFETCH(QStringList, groups);
    QFETCH(QList<int>, presses);
    QFETCH(QStringList, calls);
    QFETCH(QList<int>, playing);
    QHash<int, CartSettings> settings;
    for (int n = 0; n < groups.size(); ++n) {
        settings[n].group = groups[n];
    }
    showSecondPage(mode, settings);
    for (const int press : presses)
        press >= 0 ? click(press) : click(-1 - press, Qt::ShiftModifier);
    QCOMPARE(m_player->calls, calls);
    QList<int> playingSlots;
    for (const CartLayers::Playing &cart : m_window->layers()->playing())
        playingSlots << cart.slot;
    QCOMPARE(playingSlots, playing);
    // The wall stays live; each playing cart blinks and counts down on its own button.
    m_player->layers[m_window->layers()->playing().last().layer].played = 10;
    tick();
    for (int n = 0; n < 12; ++n) {
        QVERIFY(button(n)->isEnabled());
        const bool blinking = button(n)->backColor() == Colours::Red || button(n)->backColor() == Colours::Blue;
        QCOMPARE(blinking, playing.contains(n));
    }
    const int last = playing.last();
    QCOMPARE(display("LblLCD"), Module1::displayTime(30.0 + last));
    QCOMPARE(display("LblLCD3"), Module1::displayTime(30.0 + last - 10));
    // What every control is told: the cart fired last.
    PlayerCommands commands(*m_window);
    const SurfaceState state = commands.state();
    QVERIFY(state.playing);
    QCOMPARE(state.slot, last + 1);
    QCOMPARE(state.playingPage, 2);
    QCOMPARE(state.playingCaption, QStringLiteral("P%1").arg(last));
}

void TestCartLayers::keysForEveryCart_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QStringList>("calls"); // after two carts fired
    QTest::newRow("Esc fades the one fired last")
        << int(Qt::Key_Escape) << int(Qt::NoModifier) << QStringList{"fade-layer:2:2"};
    QTest::newRow("Shift+Esc stops every one")
        << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << QStringList{"stop-layer:2", "stop-layer:1"};
    QTest::newRow("Ctrl+Esc fades every one")
        << int(Qt::Key_Escape) << int(Qt::ControlModifier) << QStringList{"fade-layer:1:2", "fade-layer:2:2"};
    QTest::newRow("F1 stops its own") << int(Qt::Key_F1) << int(Qt::NoModifier) << QStringList{"stop-layer:1"};
    QTest::newRow("F3 adds a third") << int(Qt::Key_F3) << int(Qt::NoModifier) << QStringList{"put:/p/2.wav", "keep:3"};
}

void TestCartLayers::keysForEveryCart()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QStringList, calls);
    showSecondPage(PageMode::Together);
    click(0);
    click(1);
    m_player->calls.clear();
    QTest::keyClick(m_window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_player->calls, calls);
    // A command from outside does the same as the key.
    PlayerCommands commands(*m_window);
    if (key == Qt::Key_Escape && modifiers == Qt::ShiftModifier) {
        QVERIFY(!commands.state().playing);
        QCOMPARE(display("LblLCD3"), Module1::displayTime(30.0)); // the last one's whole length, as a stop leaves it
    }
}

void TestCartLayers::endsAndFadesReleaseTheirButtons()
{
    showSecondPage(PageMode::Together);
    click(3);
    click(4);
    const QList<CartLayers::Playing> playing = m_window->layers()->playing();
    m_player->layers[playing[0].layer].played = m_player->layers[playing[0].layer].duration; // its end
    tick();
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop-layer:1"));
    QCOMPARE(button(3)->backColor(), Colours::ButtonFace);
    QVERIFY(button(4)->backColor() == Colours::Red || button(4)->backColor() == Colours::Blue);
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    m_player->layers[playing[1].layer].faded = true;
    tick();
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop-layer:2"));
    QVERIFY(!m_window->layers()->anyPlaying());
    QCOMPARE(button(4)->backColor(), Colours::ButtonFace);
    // Another page shown meanwhile: the cart plays on, and its button blinks once it is back.
    click(5);
    m_window->showPage(0);
    QCOMPARE(button(5)->text(), QStringLiteral("T5"));
    tick();
    QCOMPARE(button(5)->backColor(), Colours::ButtonFace);
    m_window->showPage(1);
    tick();
    QVERIFY(button(5)->backColor() == Colours::Red || button(5)->backColor() == Colours::Blue);
}

void TestCartLayers::voiceOverDucksTheOthers()
{
    // A bed (no duck) and a voice-over that ducks by 12 dB: the bed goes down in 150 ms while it
    // plays, and back up in 500 ms once it stops; a second bed started under it starts ducked.
    CartSettings voiceOver;
    voiceOver.duckDb = -12;
    showSecondPage(PageMode::Together, {{1, voiceOver}});
    click(0);
    click(1);
    QCOMPARE(m_player->calls.mid(4), QStringList{"duck-layer:1:-12:0.15"});
    click(2);
    QCOMPARE(m_player->calls.mid(5), (QStringList{"put:/p/2.wav", "keep:3", "duck-layer:3:-12:0.15"}));
    click(1); // the voice-over stops
    QCOMPARE(m_player->calls.mid(8), (QStringList{"stop-layer:2", "duck-layer:1:0:0.5", "duck-layer:3:0:0.5"}));
}

void TestCartLayers::guardAndEndWarningFollowEachCart()
{
    Settings settings;
    settings.setGuardMilliseconds(500);
    QSettings(settings.fileName(), QSettings::IniFormat).setValue(QStringLiteral("warning/seconds"), 5);
    const auto reset = qScopeGuard([] {
        Settings().setGuardMilliseconds(0);
        QSettings(Settings().fileName(), QSettings::IniFormat).setValue(QStringLiteral("warning/seconds"), 0);
    });
    showSecondPage(PageMode::Together);
    click(0);
    click(0); // a double press: the second is ignored
    QCOMPARE(m_player->calls, (QStringList{"put:/p/0.wav", "keep:1"}));
    click(1);
    QTest::keyClick(m_window.get(), Qt::Key_Escape); // a fade is never ignored
    QCOMPARE(m_player->calls.last(), QStringLiteral("fade-layer:2:2"));
    // The remaining display warns in the last seconds of the cart it shows, the one fired last.
    QLabel *lcd = m_window->findChild<QLabel *>(QStringLiteral("LblLCD3"));
    const QColor yellow = lcd->palette().color(QPalette::WindowText);
    m_player->layers[2].played = 31 - 3; // three seconds left
    tick();
    QCOMPARE(lcd->palette().color(QPalette::WindowText), QColor(Qt::red));
    // And each button warns of its own end, counting its own time.
    QVERIFY(button(1)->progressWarns());
    QCOMPARE(button(1)->progressText(), QStringLiteral("00.03"));
    QVERIFY(!button(0)->progressWarns());
    QCOMPARE(button(0)->progressText(), QStringLiteral("00.30"));
    QTest::keyClick(m_window.get(), Qt::Key_Escape, Qt::ShiftModifier);
    QCOMPARE(lcd->palette().color(QPalette::WindowText), yellow);
}

void TestCartLayers::classicPageIsUnchanged()
{
    // The track list's page, and any page left one at a time: the classic lock, no layer.
    click(2);
    QCOMPARE(m_player->calls, QStringList{"put:/m/t2.mp3"});
    for (int n = 0; n < 12; ++n)
        QCOMPARE(button(n)->isEnabled(), n == 2);
    QVERIFY(!m_window->layers()->anyPlaying());
    click(2);
    QCOMPARE(m_player->calls.last(), QStringLiteral("stop"));
    showSecondPage(PageMode::One);
    click(0);
    QCOMPARE(m_player->calls, QStringList{"put:/p/0.wav"});
    QVERIFY(!button(1)->isEnabled());
}

void TestCartLayers::togetherAtTheSink()
{
    // A page in "together": carts 1 (440 Hz) and 2 (1 kHz) fired 300 ms apart are both heard
    // from the second fire on, each at its own level; Shift+Esc silences both at once.
    REQUIRE_AUDIO();
    m_window.reset();
    QTemporaryDir dir;
    toneFile(dir, 440, 4);
    toneFile(dir, 1000, 4);
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); });
    m_window = PlayerFixture::realWindowOnShow(dir.path(), QStringLiteral(R"({"name": "Layers", "playback": "together",
        "carts": [{"file": "tone440.wav", "caption": "Low"}, {"file": "tone1000.wav", "caption": "High"}]})"));
    QVERIFY(m_window);
    QCOMPARE(m_window->showDocument()->pageMode(0), PageMode::Together);
    QTest::qWait(500); // both armed
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    click(0);
    QTest::qWait(300);
    click(1);
    QCOMPARE(m_window->layers()->playing().size(), 2);
    // What kelvoctl playing prints: a line a cart, the first fired first.
    PlayerCommands commands(*m_window);
    const QList<QByteArray> lines = InstanceLink::answer("playing", commands).split('\t');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith("1 1 ") && lines[0].endsWith(" 4.00 Low"), lines[0].constData());
    QVERIFY2(lines[1].startsWith("1 2 ") && lines[1].endsWith(" 4.00 High"), lines[1].constData());
    QTest::qWait(1000);
    QTest::keyClick(m_window.get(), Qt::Key_Escape, Qt::ShiftModifier);
    QVERIFY(!m_window->layers()->anyPlaying());
    QTest::qWait(300);
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples, 200);
    QVERIFY(span.first >= 0);
    const qsizetype window = 441 * 4; // 40 ms
    const auto level = [&](double from, double frequency) {
        return amplitudeAt(samples, span.first + qsizetype(from * 44100), window, frequency);
    };
    // Alone at first, then both, each at its own level (8192 each).
    QVERIFY2(level(0.1, 440) > 6000 && level(0.1, 1000) < 800,
             qPrintable(QStringLiteral("%1 %2").arg(level(0.1, 440)).arg(level(0.1, 1000))));
    QVERIFY2(level(0.6, 440) > 6000 && level(0.6, 1000) > 6000,
             qPrintable(QStringLiteral("%1 %2").arg(level(0.6, 440)).arg(level(0.6, 1000))));
    // Where each was last heard, in steps of 5 ms: together, whatever the stop's own latency.
    const auto lastHeard = [&](double frequency) {
        qsizetype last = -1;
        for (qsizetype at = span.first; at + 441 <= samples.size(); at += 220) {
            if (amplitudeAt(samples, at, 441, frequency) > 2000)
                last = at;
        }
        return last;
    };
    const qsizetype lowEnd = lastHeard(440), highEnd = lastHeard(1000);
    QVERIFY(lowEnd > 0 && highEnd > 0);
    QVERIFY2(std::abs(lowEnd - highEnd) <= 441,
             qPrintable(QStringLiteral("%1 and %2 samples").arg(lowEnd).arg(highEnd)));
}

void TestCartLayers::handOverAtTheSink_data()
{
    QTest::addColumn<QString>("playback");
    QTest::addColumn<bool>("groups"); // 440 and 1000 Hz a group of their own, 660 Hz another
    QTest::newRow("a page that hands over") << "handover" << false;
    QTest::newRow("a group on a page that plays together") << "together" << true;
}

void TestCartLayers::handOverAtTheSink()
{
    // The second cart starts at once while the first fades over its own fade length (1 s),
    // read from the recording; with groups, a cart of another group plays on throughout.
    REQUIRE_AUDIO();
    QFETCH(QString, playback);
    QFETCH(bool, groups);
    m_window.reset();
    QTemporaryDir dir;
    toneFile(dir, 440, 5);
    toneFile(dir, 1000, 5);
    toneFile(dir, 660, 5);
    const QString group = groups ? QStringLiteral(R"(, "group": "beds")") : QString();
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); });
    m_window = PlayerFixture::realWindowOnShow(dir.path(),
                                               QStringLiteral(R"({"name": "Beds", "playback": "%1", "carts": [
        {"file": "tone440.wav", "caption": "First", "fade_out": 1%2}, {"file": "tone1000.wav", "caption": "Second"%2},
        {"file": "tone660.wav", "caption": "Other", "group": "fx"}]})")
                                                   .arg(playback, group));
    QVERIFY(m_window);
    QTest::qWait(500);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    QElapsedTimer clock;
    clock.start();
    click(0);
    if (groups)
        click(2);
    QTest::qWait(800);
    const double secondAt = double(clock.elapsed()) / 1000;
    click(1);
    QTest::qWait(1800);
    QTest::keyClick(m_window.get(), Qt::Key_Escape, Qt::ShiftModifier);
    const QList<qint16> samples = recorder.stop();
    const SoundSpan span = soundSpan(samples, 200);
    QVERIFY(span.first >= 0);
    const auto level = [&](double at, double frequency) {
        return amplitudeAt(samples, span.first + qsizetype(at * 44100), 4410, frequency);
    };
    const double before = level(secondAt - 0.3, 440);
    QVERIFY2(before > 6000, qPrintable(QString::number(before)));
    const double halfway = level(secondAt + 0.45, 440);
    QVERIFY2(halfway < 0.85 * before && halfway > 0.15 * before,
             qPrintable(QStringLiteral("%1 of %2 halfway through the fade").arg(halfway).arg(before)));
    QVERIFY2(level(secondAt + 1.3, 440) < 300, qPrintable(QString::number(level(secondAt + 1.3, 440))));
    QVERIFY2(level(secondAt + 0.2, 1000) > 6000, qPrintable(QString::number(level(secondAt + 0.2, 1000))));
    if (groups)
        QVERIFY2(level(secondAt + 1.3, 660) > 6000, qPrintable(QString::number(level(secondAt + 1.3, 660))));
}

QTEST_MAIN(TestCartLayers)
#include "tst_cartlayers.moc"
