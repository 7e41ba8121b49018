#include "audiotestsupport.h"
#include "common/settings.h"
#include "engine/audiomediaplayer.h"
#include "fakemediaplayer.h"
#include "fakeopendialog.h"
#include "player/cuelist.h"
#include "player/form1.h"
#include "player/playercommands.h"
#include "player/runningorder.h"
#include "player/trackbutton.h"
#include "playerfixture.h"
#include "remote/instancelink.h"
#include "show/showdocument.h"
#include "show/showformat.h"
#include "testsupport.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

// A page run in order: the rules of next, steps and follows, the window's GO, and what the sink
// hears of GO and of follows.
class TestRunningOrder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rules_data();
    void rules();
    void followTimes_data();
    void followTimes();
    void followRead_data();
    void followRead();
    void goOnTheWall_data();
    void goOnTheWall();
    void spaceStaysATypedSpace();
    void goAndFollowAtTheSink();
    void followAtTheEndIsSampleClose();

private:
    TrackButton *button(int n) { return m_window->findChild<TrackButton *>(QStringLiteral("CmdTrack(%1)").arg(n)); }
    // A second page, run in order, of carts in slots (file names "/p/N.wav"), shown.
    void showOrder(const QList<int> &cueSlots, PageMode mode = PageMode::One,
                   const QHash<int, CartSettings> &settings = {});

    QTemporaryDir m_config;
    PlayerFixture m_fixture;
    FakeMediaPlayer *m_player = nullptr;
    std::unique_ptr<Form1> m_window;
};

Q_DECLARE_METATYPE(PageMode)

void TestRunningOrder::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestRunningOrder::init()
{
    Settings().setFadeSeconds(2);
    Settings().setGuardMilliseconds(0);
    m_window = m_fixture.makeWindow(PlayerFixture::records(12, QStringLiteral("/m/t%1.mp3"), QStringLiteral("T%1")));
    m_player = m_fixture.player;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestRunningOrder::cleanup()
{
    m_window.reset();
}

void TestRunningOrder::showOrder(const QList<int> &cueSlots, PageMode mode, const QHash<int, CartSettings> &settings)
{
    ShowDocument *show = m_window->showDocument();
    QString error;
    QVERIFY(show->addPage(&error));
    m_window->showPage(1);
    TrackList carts{};
    for (const int n : cueSlots) {
        carts[size_t(n)] = {QStringLiteral("/p/%1.wav").arg(n), QStringLiteral("Cue %1").arg(n)};
        m_player->durations.insert(carts[size_t(n)].fullPath, 20.0 + n);
    }
    QVERIFY(show->save(carts, &error));
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        QVERIFY(show->setCartSettings(1, it.key(), it.value(), &error));
    QVERIFY(show->setPageMode(1, mode, &error));
    QVERIFY(show->setRunningOrder(1, true, &error));
    QVERIFY(m_window->cues()->active());
    m_player->calls.clear();
}

void TestRunningOrder::rules_data()
{
    QTest::addColumn<QList<int>>("cues");  // the slots that hold one
    QTest::addColumn<QString>("steps");    // g: GO (fires next), b: back, f: forward, r: restart
    QTest::addColumn<QList<int>>("fired"); // what GO fired, in order
    QTest::addColumn<int>("next");         // -1: the end
    QTest::newRow("in order") << QList<int>{0, 1, 2} << "ggg" << QList<int>{0, 1, 2} << -1;
    QTest::newRow("empty slots skipped") << QList<int>{1, 4, 9} << "gg" << QList<int>{1, 4} << 9;
    QTest::newRow("GO at the end fires nothing") << QList<int>{0, 1} << "gggg" << QList<int>{0, 1} << -1;
    QTest::newRow("back from the end replays the last")
        << QList<int>{0, 1, 2} << "gggbg" << QList<int>{0, 1, 2, 2} << -1;
    QTest::newRow("back at the first stays") << QList<int>{3, 5} << "bbg" << QList<int>{3} << 5;
    QTest::newRow("forward skips a cue") << QList<int>{0, 1, 2} << "fg" << QList<int>{1} << 2;
    QTest::newRow("forward at the end stays") << QList<int>{0} << "gff" << QList<int>{0} << -1;
    QTest::newRow("restart") << QList<int>{2, 6} << "ggrg" << QList<int>{2, 6, 2} << 6;
    QTest::newRow("no cues at all") << QList<int>{} << "gbf" << QList<int>{} << -1;
}

void TestRunningOrder::rules()
{
    QFETCH(QList<int>, cues);
    QFETCH(QString, steps);
    QFETCH(QList<int>, fired);
    QFETCH(int, next);
    RunningOrder order;
    std::array<bool, 12> present{};
    for (const int slot : cues)
        present[size_t(slot)] = true;
    order.setCues(present);
    QList<int> done;
    for (const QChar step : steps) {
        if (step == QLatin1Char('g')) {
            if (const std::optional<int> cue = order.next()) {
                done << *cue;
                order.fired(*cue);
            }
        } else if (step == QLatin1Char('b')) {
            order.stepBack();
        } else if (step == QLatin1Char('f')) {
            order.stepForward();
        } else {
            order.restart();
        }
    }
    QCOMPARE(done, fired);
    QCOMPARE(order.next().value_or(-1), next);
}

void TestRunningOrder::followTimes_data()
{
    QTest::addColumn<QString>("follow"); // "end", seconds, or empty
    QTest::addColumn<bool>("loop");
    QTest::addColumn<double>("duration");
    QTest::addColumn<qint64>("at"); // ms after a start at 10,000; -1: never
    QTest::newRow("waits for GO") << "" << false << 30.0 << qint64(-1);
    QTest::newRow("at its end") << "end" << false << 12.345 << qint64(12345);
    QTest::newRow("12.5 s after its start") << "12.5" << false << 30.0 << qint64(12500);
    QTest::newRow("after its start, shorter than it") << "2" << false << 30.0 << qint64(2000);
    QTest::newRow("at once") << "0" << false << 30.0 << qint64(0);
    QTest::newRow("a loop never ends, never follows at its end") << "end" << true << 30.0 << qint64(-1);
    QTest::newRow("a loop follows after its start all the same") << "3" << true << 30.0 << qint64(3000);
    QTest::newRow("a length not yet known") << "end" << false << 0.0 << qint64(-1);
}

void TestRunningOrder::followTimes()
{
    QFETCH(QString, follow);
    QFETCH(bool, loop);
    QFETCH(double, duration);
    QFETCH(qint64, at);
    CartSettings settings;
    settings.loop = loop;
    if (follow == QLatin1String("end"))
        settings.followEnd = true;
    else if (!follow.isEmpty())
        settings.followAfter = follow.toDouble();
    const std::optional<qint64> when = RunningOrder::followAtMs(settings, 10'000, duration);
    QCOMPARE(when ? *when - 10'000 : -1, at);
}

void TestRunningOrder::followRead_data()
{
    QTest::addColumn<QByteArray>("cart");
    QTest::addColumn<bool>("end");
    QTest::addColumn<double>("after"); // -1: none
    QTest::addColumn<bool>("noted");
    QTest::newRow("end") << QByteArray(R"("follow": "end")") << true << -1.0 << false;
    QTest::newRow("seconds") << QByteArray(R"("follow": 12.5)") << false << 12.5 << false;
    QTest::newRow("negative") << QByteArray(R"("follow": -2)") << false << -1.0 << true;
    QTest::newRow("huge") << QByteArray(R"("follow": 1e9)") << false << -1.0 << true;
    QTest::newRow("of the wrong kind") << QByteArray(R"("follow": [1])") << false << -1.0 << true;
    QTest::newRow("another word") << QByteArray(R"("follow": "soon")") << false << -1.0 << true;
    QTest::newRow("a note") << QByteArray(R"("note": "wait for the blackout")") << false << -1.0 << false;
    QTest::newRow("a note too long is cut") << (R"("note": ")" + QByteArray(600, 'n') + "\"") << false << -1.0 << true;
}

void TestRunningOrder::followRead()
{
    QFETCH(QByteArray, cart);
    QFETCH(bool, end);
    QFETCH(double, after);
    QFETCH(bool, noted);
    QTemporaryDir folder;
    const ShowReading reading = ShowFormat::parse(
        R"({"kelvo-show": 1, "pages": [{"go": true, "carts": [{"file": "a.wav", )" + cart + "}]}]}", folder.path());
    QVERIFY(reading.isShow);
    QVERIFY(reading.show.pages[0].runningOrder);
    const CartSettings &settings = reading.show.pages[0].carts[0].settings;
    QCOMPARE(settings.followEnd, end);
    QCOMPARE(settings.followAfter.value_or(-1), after);
    QVERIFY(settings.note.size() <= CartSettingsFormat::kMaxNoteChars);
    QCOMPARE(!reading.skipped.isEmpty(), noted);
    const ShowReading again = ShowFormat::parse(ShowFormat::serialize(reading.show, folder.path()), folder.path());
    QCOMPARE(again.show.pages[0].carts[0].settings, settings);
    QVERIFY(again.show.pages[0].runningOrder);
}

void TestRunningOrder::goOnTheWall_data()
{
    QTest::addColumn<PageMode>("mode");
    QTest::addColumn<QString>("keys"); // S: Space, B: Shift+Space, F: Ctrl+Space, 1-9: a click on that slot,
                                       // c1-c9: a command fires that slot
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("next"); // -1: the end
    QTest::newRow("Space fires in order, cutting in")
        << PageMode::One << "SSS"
        << QStringList{"put:/p/0.wav", "put:/p/0.wav", "stop", "put:/p/2.wav", "put:/p/2.wav", "stop", "put:/p/5.wav"}
        << -1;
    QTest::newRow("Shift+Space then Space replays")
        << PageMode::Together << "SSSBS"
        << QStringList{"put:/p/0.wav", "keep:1",       "put:/p/2.wav", "keep:2", "put:/p/5.wav",
                       "keep:3",       "stop-layer:3", "put:/p/5.wav", "keep:4"}
        << -1;
    QTest::newRow("Ctrl+Space skips a cue") << PageMode::Together << "FS" << QStringList{"put:/p/2.wav", "keep:1"} << 5;
    QTest::newRow("a command fires its cue and the next follows it")
        << PageMode::Together << "c2S" << QStringList{"put:/p/2.wav", "keep:1", "put:/p/5.wav", "keep:2"} << -1;
    QTest::newRow("a click fires its cue and the next follows it")
        << PageMode::Together << "2S" << QStringList{"put:/p/2.wav", "keep:1", "put:/p/5.wav", "keep:2"} << -1;
    QTest::newRow("hand over: GO fades what plays")
        << PageMode::HandOver << "SS"
        << QStringList{"put:/p/0.wav", "keep:1", "fade-layer:1:2", "put:/p/2.wav", "keep:2"} << 5;
}

void TestRunningOrder::goOnTheWall()
{
    QFETCH(PageMode, mode);
    QFETCH(QString, keys);
    QFETCH(QStringList, calls);
    QFETCH(int, next);
    showOrder({0, 2, 5}, mode);
    // The next cue framed and named; no other.
    QVERIFY(button(0)->cued());
    QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("NextCue"))->text(), QStringLiteral("Next: Cue 0"));
    PlayerCommands remote(*m_window);
    bool command = false;
    for (const QChar key : keys) {
        if (key == QLatin1Char('c')) {
            command = true; // the next digit is a command's fire, not a click
            continue;
        }
        if (command) {
            remote.fire(key.digitValue() + 1);
            command = false;
        } else if (key == QLatin1Char('S'))
            QTest::keyClick(m_window.get(), Qt::Key_Space);
        else if (key == QLatin1Char('B'))
            QTest::keyClick(m_window.get(), Qt::Key_Space, Qt::ShiftModifier);
        else if (key == QLatin1Char('F'))
            QTest::keyClick(m_window.get(), Qt::Key_Space, Qt::ControlModifier);
        else
            QTest::mouseClick(button(key.digitValue()), Qt::LeftButton);
    }
    QCOMPARE(m_player->calls, calls);
    QCOMPARE(m_window->cues()->next().value_or(-1), next);
    for (int n = 0; n < 12; ++n)
        QCOMPARE(button(n)->cued(), n == next);
    // What kelvoctl next prints.
    PlayerCommands commands(*m_window);
    const QByteArray said = InstanceLink::answer("next", commands);
    QCOMPARE(said,
             next < 0 ? QByteArray("none the end of the running order")
                      : "2 " + QByteArray::number(next + 1) + " Cue " + QByteArray::number(next));
    if (next < 0) {
        // GO at the end does nothing, and says so.
        const qsizetype before = m_player->calls.size();
        QTest::keyClick(m_window.get(), Qt::Key_Space);
        QCOMPARE(m_player->calls.size(), before);
        QVERIFY(m_window->findChild<QLabel *>(QStringLiteral("SoundNotice"))->text().contains(QLatin1String("End")));
    }
}

void TestRunningOrder::spaceStaysATypedSpace()
{
    // Space is GO on the wall and in dialogs, but a space typed into a field stays a space; on a
    // page that is no running order it does what it always did; a double GO inside the guard's
    // time is one GO.
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QVERIFY(m_player->calls.isEmpty());
    showOrder({0, 1}, PageMode::Together);
    QLineEdit field(m_window.get());
    field.setFocus();
    QTest::keyClick(&field, Qt::Key_Space);
    QCOMPARE(field.text(), QStringLiteral(" "));
    QVERIFY(m_player->calls.isEmpty());
    Settings().setGuardMilliseconds(500);
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QCOMPARE(m_player->calls, (QStringList{"put:/p/0.wav", "keep:1"}));
    Settings().setGuardMilliseconds(0);
    // Esc cancels a follow that waits.
    CartSettings follows;
    follows.followAfter = 0.3;
    QString error;
    QVERIFY(m_window->showDocument()->setCartSettings(1, 1, follows, &error));
    QTest::keyClick(m_window.get(), Qt::Key_Space, Qt::ShiftModifier);
    QTest::qWait(600); // the guard's time is over
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QVERIFY(m_window->cues()->followPending() || m_player->calls.last() == QStringLiteral("keep:2"));
}

namespace {

// The sample where frequency is first (or last) heard, in steps of 2.5 ms; -1: never.
qsizetype heardAt(const QList<qint16> &samples, double frequency, bool first)
{
    qsizetype found = -1;
    for (qsizetype at = 0; at + 220 <= samples.size(); at += 110) {
        if (amplitudeAt(samples, at, 220, frequency) > 3000) {
            found = at;
            if (first)
                return found;
        }
    }
    return found;
}

// A window over a show of one page run in order, of the tones given, their cart settings' keys
// in extra (JSON after each cart's caption).
std::unique_ptr<Form1> orderWindow(const QTemporaryDir &dir, const QList<int> &tones, const QStringList &extra,
                                   double seconds)
{
    QStringList carts;
    for (qsizetype n = 0; n < tones.size(); ++n) {
        toneFile(dir, tones[n], seconds);
        carts << QStringLiteral(R"({"file": "tone%1.wav", "caption": "Tone %1"%2})").arg(tones[n]).arg(extra.value(n));
    }
    return PlayerFixture::realWindowOnShow(
        dir.path(),
        QStringLiteral(R"({"name": "Cues", "go": true, "carts": [%1]})").arg(carts.join(QStringLiteral(", "))));
}

} // namespace

void TestRunningOrder::goAndFollowAtTheSink()
{
    // Three tones, 400, 600 and 800 Hz: Space three times fires them in order; Shift+Space and
    // Space replay the third; kelvoctl go does as Space does.
    REQUIRE_AUDIO();
    m_window.reset();
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); });
    QTemporaryDir dir;
    m_window = orderWindow(dir, {400, 600, 800}, {}, 0.6);
    QVERIFY(m_window && QTest::qWaitForWindowExposed(m_window.get()));
    QTest::qWait(500);
    SinkRecorder recorder;
    QVERIFY(recorder.start());
    for (int n = 0; n < 3; ++n) {
        QTest::keyClick(m_window.get(), Qt::Key_Space);
        QTest::qWait(800);
    }
    QTest::keyClick(m_window.get(), Qt::Key_Space, Qt::ShiftModifier);
    PlayerCommands commands(*m_window);
    QCOMPARE(InstanceLink::answer("go", commands), QByteArray("ok"));
    QTest::qWait(800);
    const QList<qint16> samples = recorder.stop();
    const qsizetype at400 = heardAt(samples, 400, true), at600 = heardAt(samples, 600, true);
    const qsizetype at800 = heardAt(samples, 800, true), last800 = heardAt(samples, 800, false);
    QVERIFY2(at400 >= 0 && at600 > at400 && at800 > at600,
             qPrintable(QStringLiteral("%1 %2 %3").arg(at400).arg(at600).arg(at800)));
    // Played twice: heard again well after its first 0.6 s.
    QVERIFY2(last800 - at800 > 44100, qPrintable(QStringLiteral("%1 %2").arg(at800).arg(last800)));
}

void TestRunningOrder::followAtTheEndIsSampleClose()
{
    // Cue 1 follows at its end: cue 2's first sample comes within 20 ms of cue 1's last. Cue 2
    // follows 2.0 s after its start: cue 3 starts 2.0 +- 0.02 s after cue 2 did.
    REQUIRE_AUDIO();
    m_window.reset();
    const auto forget = qScopeGuard([] { Settings().setLastShow(QString()); });
    QTemporaryDir dir;
    m_window = orderWindow(dir, {400, 600, 800},
                           {QStringLiteral(R"(, "follow": "end")"), QStringLiteral(R"(, "follow": 2.0)")}, 1.0);
    QVERIFY(m_window && QTest::qWaitForWindowExposed(m_window.get()));
    QTest::qWait(500);
    SinkRecorder recorder;
    QVERIFY(recorder.start(QStringLiteral("test_null.monitor"), 5));
    QTest::keyClick(m_window.get(), Qt::Key_Space);
    QTest::qWait(3600);
    const QList<qint16> samples = recorder.stop();
    const qsizetype last400 = heardAt(samples, 400, false), first600 = heardAt(samples, 600, true);
    const qsizetype first800 = heardAt(samples, 800, true);
    QVERIFY2(last400 > 0 && first600 > 0 && first800 > 0,
             qPrintable(QStringLiteral("%1 %2 %3").arg(last400).arg(first600).arg(first800)));
    // The windows step by 2.5 ms and span 5 ms: a gap of one window or so is the measure's own.
    const double gapMs = double(first600 - last400) * 1000 / 44100;
    QVERIFY2(std::abs(gapMs) <= 20, qPrintable(QStringLiteral("cue 2 began %1 ms after cue 1 ended").arg(gapMs)));
    const double afterS = double(first800 - first600) / 44100;
    qInfo("cue 2 began %.1f ms after cue 1 ended, cue 3 %.4f s after cue 2", gapMs, afterS);
    QVERIFY2(std::abs(afterS - 2.0) <= 0.02, qPrintable(QStringLiteral("cue 3 began %1 s after cue 2").arg(afterS)));
}

QTEST_MAIN(TestRunningOrder)
#include "tst_runningorder.moc"
