#include "audiotestsupport.h"
#include "carts/cartsettingsdialog.h"
#include "carts/cuetime.h"
#include "carts/waveformview.h"
#include "common/colours.h"
#include "playerfixture.h"
#include "show/cartsettings.h"
#include "show/showdocument.h"
#include "waveform/peakcache.h"
#include "waveform/peaksummary.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QJsonObject>
#include <QTimer>

// A cart's own settings on the window: its part of the file in the displays, its colour at rest,
// its fade-out; the end warning and the double-press guard; the settings dialog driven through
// its controls; the waveform's summary and its cache.
class TestCartSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cueTimes_data();
    void cueTimes();
    void cartPlaysItsPart();
    void colourAtRestOnly();
    void cartFadesOutItsOwnLength();
    void endWarning_data();
    void endWarning();
    void secondPress_data();
    void secondPress();
    void dialogEditsTheCart();
    void dialogRefusesWhatCannotPlay_data();
    void dialogRefusesWhatCannotPlay();
    void summaryFollowsTheSamples_data();
    void summaryFollowsTheSamples();
    void damagedCacheIsMadeAgain_data();
    void damagedCacheIsMadeAgain();
    void coloursComeBackAfterAnyPlay_data();
    void coloursComeBackAfterAnyPlay();
    void wallKeysReachOpenDialogs_data();
    void wallKeysReachOpenDialogs();
    void fadeInHeldToThePart();
    void partsTooShortToLoop_data();
    void partsTooShortToLoop();

private:
    TrackButton *button(int n) { return m_window->findChild<TrackButton *>(QStringLiteral("CmdTrack(%1)").arg(n)); }
    QLabel *display(const char *name) { return m_window->findChild<QLabel *>(name); }
    QTimer *timer() { return m_window->findChild<QTimer *>("Timer1"); }
    void tick()
    {
        QTimerEvent event(timer()->timerId());
        QCoreApplication::sendEvent(timer(), &event);
    }
    void setCart(int slot, const CartSettings &settings)
    {
        QString error;
        QVERIFY2(m_window->showDocument()->setCartSettings(0, slot, settings, &error), qPrintable(error));
    }
    void setOption(const QString &key, const QVariant &value)
    {
        QSettings(m_config.path() + QStringLiteral("/kelvo/kelvo.conf"), QSettings::IniFormat).setValue(key, value);
    }

    QTemporaryDir m_config;
    PlayerFixture m_fixture;
    FakeMediaPlayer *m_player = nullptr;
    std::unique_ptr<Form1> m_window;
};

Q_DECLARE_METATYPE(CartSettings)

void TestCartSettings::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    qputenv("XDG_CACHE_HOME", (m_config.path() + QStringLiteral("/cache")).toUtf8());
}

void TestCartSettings::init()
{
    QFile::remove(m_config.path() + QStringLiteral("/kelvo/kelvo.conf"));
    m_window = m_fixture.makeWindow(PlayerFixture::records(12, QStringLiteral("/m/t%1.mp3"), QStringLiteral("T%1")));
    m_player = m_fixture.player;
    for (int n = 0; n < 12; ++n)
        m_player->durations.insert(QStringLiteral("/m/t%1.mp3").arg(n), 60.0 + n);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestCartSettings::cleanup()
{
    m_window.reset();
}

void TestCartSettings::cueTimes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("seconds"); // -1: not a time
    QTest::addColumn<QString>("shown");  // how the seconds show again
    QTest::newRow("hundredths") << "00.02.00" << 2.0 << "00.02.00";
    QTest::newRow("minutes") << "01.30.25" << 90.25 << "01.30.25";
    QTest::newRow("as the displays") << "12.05" << 725.0 << "12.05.00";
    QTest::newRow("one digit of hundredths") << " 00.02.5 " << 2.5 << "00.02.50";
    QTest::newRow("past an hour") << "75.00.99" << 4500.99 << "75.00.99";
    QTest::newRow("seconds past 59") << "00.60.00" << -1.0 << "";
    QTest::newRow("three digits of hundredths") << "00.02.123" << -1.0 << "";
    QTest::newRow("a colon") << "00:02" << -1.0 << "";
    QTest::newRow("negative") << "-00.02.00" << -1.0 << "";
    QTest::newRow("empty") << "" << -1.0 << "";
}

void TestCartSettings::cueTimes()
{
    QFETCH(QString, text);
    QFETCH(double, seconds);
    QFETCH(QString, shown);
    const std::optional<double> parsed = CueTime::parse(text);
    QCOMPARE(parsed.has_value(), seconds >= 0);
    if (parsed) {
        QVERIFY(qAbs(*parsed - seconds) < 1e-9);
        QCOMPARE(CueTime::text(*parsed), shown);
    }
}

void TestCartSettings::cartPlaysItsPart()
{
    CartSettings part;
    part.in = 2;
    part.out = 4;
    part.gainDb = -6;
    setCart(3, part);
    // The cue hands the player the part, the hover previews its length, the click plays it.
    QCOMPARE(m_player->prepared.value(3).playback, part.playback());
    QCOMPARE(m_player->prepared.value(4).playback, CartPlayback{});
    QVERIFY(!button(3)->loopMarked());
    part.loop = true;
    setCart(3, part);
    QVERIFY(button(3)->loopMarked()); // the button shows that it loops
    QVERIFY(!button(4)->loopMarked());
    QTest::mouseMove(button(3));
    QTRY_COMPARE(display("LblLCD")->text(), QStringLiteral("00.02"));
    QTest::mouseClick(button(3), Qt::LeftButton);
    QCOMPARE(m_player->playbacks.last(), part.playback());
    QCOMPARE(display("LblLCD")->text(), QStringLiteral("00.02"));
    m_player->playedSeconds = 0.5;
    tick();
    QCOMPARE(display("LblLCD3")->text(), QStringLiteral("00.01"));
    // The stop shows the part's length again; another cart plays whole.
    QTest::mouseClick(button(3), Qt::LeftButton);
    QCOMPARE(display("LblLCD3")->text(), QStringLiteral("00.02"));
    QTest::mouseClick(button(4), Qt::LeftButton);
    QCOMPARE(m_player->playbacks.last(), CartPlayback{});
    QCOMPARE(display("LblLCD")->text(), QStringLiteral("01.04"));
}

void TestCartSettings::colourAtRestOnly()
{
    CartSettings coloured;
    coloured.colour = QStringLiteral("#3366cc");
    setCart(2, coloured);
    QCOMPARE(button(2)->restColour(), QColor(QStringLiteral("#3366cc")));
    QVERIFY(!button(5)->restColour().isValid());
    QCOMPARE(button(2)->backColor(), Colours::ButtonFace);
    const QColor atRest = button(2)->grab().toImage().pixelColor(20, 20);
    QCOMPARE(atRest, QColor(QStringLiteral("#3366cc")));
    // Locked, it is silver as every locked button is; playing, it blinks red and blue.
    QTest::mouseClick(button(7), Qt::LeftButton);
    QCOMPARE(button(2)->grab().toImage().pixelColor(20, 20), Colours::colour(Colours::Silver));
    QTest::mouseClick(button(7), Qt::LeftButton);
    QTest::mouseClick(button(2), Qt::LeftButton);
    QCOMPARE(button(2)->grab().toImage().pixelColor(20, 20), Colours::colour(Colours::Red));
    tick();
    QCOMPARE(button(2)->grab().toImage().pixelColor(20, 20), Colours::colour(Colours::Blue));
    QTest::mouseClick(button(2), Qt::LeftButton);
    QCOMPARE(button(2)->grab().toImage().pixelColor(20, 20), QColor(QStringLiteral("#3366cc")));
}

void TestCartSettings::cartFadesOutItsOwnLength()
{
    CartSettings longFade;
    longFade.fadeOut = 7.5;
    setCart(1, longFade);
    QTest::mouseClick(button(1), Qt::LeftButton);
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QCOMPARE(m_player->calls.last(), QStringLiteral("fade:7.5"));
    QTest::mouseClick(button(1), Qt::LeftButton);
    QTest::mouseClick(button(0), Qt::LeftButton);
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QCOMPARE(m_player->calls.last(), QStringLiteral("fade:2")); // the window's
}

void TestCartSettings::endWarning_data()
{
    QTest::addColumn<QVariant>("option"); // warning/seconds as the file has it
    QTest::addColumn<QList<double>>("remaining");
    QTest::addColumn<QList<bool>>("red");
    const QList<double> countdown{30, 10.01, 10, 3, 0.25};
    QTest::newRow("off by default") << QVariant() << countdown << QList<bool>{false, false, false, false, false};
    QTest::newRow("10 s") << QVariant(10) << countdown << QList<bool>{false, false, true, true, true};
    QTest::newRow("30 s") << QVariant(30) << countdown << QList<bool>{true, true, true, true, true};
    QTest::newRow("not a choice: off") << QVariant(7) << countdown << QList<bool>{false, false, false, false, false};
    QTest::newRow("not a number: off") << QVariant("soon") << countdown
                                       << QList<bool>{false, false, false, false, false};
}

void TestCartSettings::endWarning()
{
    QFETCH(QVariant, option);
    QFETCH(QList<double>, remaining);
    QFETCH(QList<bool>, red);
    if (option.isValid())
        setOption(QStringLiteral("warning/seconds"), option);
    QLabel *lcd = display("LblLCD3");
    const QColor yellow = lcd->palette().color(QPalette::WindowText);
    QTest::mouseClick(button(0), Qt::LeftButton); // 60 s
    for (qsizetype i = 0; i < remaining.size(); ++i) {
        m_player->playedSeconds = 60 - remaining[i];
        tick();
        QCOMPARE(lcd->palette().color(QPalette::WindowText) == QColor(Qt::red), red[i]);
    }
    QTest::mouseClick(button(0), Qt::LeftButton);
    QCOMPARE(lcd->palette().color(QPalette::WindowText), yellow);
}

void TestCartSettings::secondPress_data()
{
    QTest::addColumn<QVariant>("option"); // guard/milliseconds
    QTest::addColumn<QString>("how");     // the second press: click, key, fire, stop
    QTest::addColumn<int>("afterMs");
    QTest::addColumn<bool>("stops");
    QTest::newRow("off: a click stops at once") << QVariant() << "click" << 0 << true;
    QTest::newRow("500 ms: a click at once is ignored") << QVariant(500) << "click" << 0 << false;
    QTest::newRow("500 ms: its key is ignored") << QVariant(500) << "key" << 0 << false;
    QTest::newRow("500 ms: a remote's fire is ignored") << QVariant(500) << "fire" << 0 << false;
    QTest::newRow("500 ms: a stop is never ignored") << QVariant(500) << "stop" << 0 << true;
    QTest::newRow("250 ms: a click after 350 ms stops") << QVariant(250) << "click" << 350 << true;
    QTest::newRow("not a choice: off") << QVariant(400) << "click" << 0 << true;
}

void TestCartSettings::secondPress()
{
    QFETCH(QVariant, option);
    QFETCH(QString, how);
    QFETCH(int, afterMs);
    QFETCH(bool, stops);
    if (option.isValid())
        setOption(QStringLiteral("guard/milliseconds"), option);
    QTest::mouseClick(button(5), Qt::LeftButton);
    QVERIFY(timer()->isActive());
    if (afterMs > 0)
        QTest::qWait(afterMs);
    if (how == QLatin1String("click"))
        QTest::mouseClick(button(5), Qt::LeftButton);
    else if (how == QLatin1String("key"))
        QTest::keyClick(m_window.get(), Qt::Key_F6);
    else if (how == QLatin1String("fire"))
        m_window->fireTrack(5);
    else
        m_window->stopTrack();
    QCOMPARE(!timer()->isActive(), stops);
}

void TestCartSettings::dialogEditsTheCart()
{
    // Through the cart menu, as a user goes: the dialog opens over the window, is edited by its
    // controls and keeps what is accepted in the show.
    setOption(QStringLiteral("output/prelisten"), QStringLiteral("cue"));
    m_player->preListenOutput = QStringLiteral("cue");
    m_player->mostGainDb = 2;
    const QString file = fixture("three_tones.wav");
    m_window->showDocument()->save(TrackList{TrackSlot{file, QStringLiteral("Tones")}}, nullptr);
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<CartSettingsDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seen = true;
        auto *ok = dialog->findChild<QDialogButtonBox *>("Buttons")->button(QDialogButtonBox::Ok);
        dialog->findChild<QLineEdit *>("In")->setText(QStringLiteral("00.02.00"));
        dialog->findChild<QLineEdit *>("Out")->setText(QStringLiteral("00.01.00"));
        QVERIFY(!ok->isEnabled()); // in after out
        QVERIFY(!dialog->findChild<QLabel *>("Problem")->text().isEmpty());
        dialog->findChild<QLineEdit *>("Out")->setText(QStringLiteral("00.04.00"));
        QVERIFY(ok->isEnabled());
        dialog->findChild<QDoubleSpinBox *>("Level")->setValue(6);
        QVERIFY(dialog->findChild<QLabel *>("LevelHeld")->text().contains(QStringLiteral("2.0 dB")));
        dialog->findChild<QCheckBox *>("Loop")->setChecked(true);
        dialog->findChild<QDoubleSpinBox *>("FadeIn")->setValue(0.5);
        dialog->findChild<QLineEdit *>("FadeOut")->setText(QStringLiteral("4"));
        // The waveform arrives from the background and knows the file's length.
        auto *waveform = dialog->findChild<WaveformView *>("Waveform");
        QTRY_VERIFY(waveform->secondsAt(waveform->width() - 1) > 5.99);
        dialog->findChild<QPushButton *>("PlayFromIn")->click();
        dialog->findChild<QPushButton *>("PlayToOut")->click();
        ok->click();
    });
    QMenu *menu = m_window->cartMenu(0);
    QAction *open = menu->findChild<QAction *>("CartSettings");
    QVERIFY(open && open->isEnabled());
    open->trigger();
    QVERIFY(seen);
    CartSettings expected;
    expected.in = 2;
    expected.out = 4;
    expected.gainDb = 6;
    expected.loop = true;
    expected.fadeIn = 0.5;
    expected.fadeOut = 4;
    QCOMPARE(m_window->showDocument()->cartSettings(0, 0), expected);
    QCOMPARE(m_player->prepared.value(0).playback, expected.playback());
    // Pre-listened from in to out, then the last 5 s before out (all there is: from in).
    QCOMPARE(m_player->preListenedParts.size(), 2);
    QCOMPARE(m_player->preListenedParts[0].in, 2.0);
    QCOMPARE(m_player->preListenedParts[1].out, std::optional<double>(4.0));
}

void TestCartSettings::dialogRefusesWhatCannotPlay_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("fadeOut");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("in at out") << "00.03.00"
                               << "00.03.00"
                               << "" << false;
    QTest::newRow("in not a time") << "three"
                                   << ""
                                   << "" << false;
    QTest::newRow("out empty: the end") << "00.03.00"
                                        << ""
                                        << "" << true;
    QTest::newRow("fade-out too long") << "00.00.00"
                                       << ""
                                       << "61" << false;
    QTest::newRow("fade-out not a number") << "00.00.00"
                                           << ""
                                           << "soon" << false;
    QTest::newRow("fade-out of nothing") << "00.00.00"
                                         << ""
                                         << "0" << true;
}

void TestCartSettings::dialogRefusesWhatCannotPlay()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(QString, fadeOut);
    QFETCH(bool, accepted);
    CartSettingsDialog dialog(m_window.get(), fixture("three_tones.wav"), QStringLiteral("Tones"), {}, nullptr, false,
                              2.0);
    QVERIFY(!dialog.findChild<QPushButton *>("PlayFromIn")->isEnabled()); // no pre-listen output
    dialog.findChild<QLineEdit *>("In")->setText(in);
    dialog.findChild<QLineEdit *>("Out")->setText(out);
    dialog.findChild<QLineEdit *>("FadeOut")->setText(fadeOut);
    QCOMPARE(dialog.isValid(), accepted);
    QCOMPARE(dialog.findChild<QDialogButtonBox *>("Buttons")->button(QDialogButtonBox::Ok)->isEnabled(), accepted);
}

void TestCartSettings::summaryFollowsTheSamples_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("WAV") << fixture("three_tones.wav");
    QTest::newRow("mp3") << fixture("three_tones.mp3");
    QTest::newRow("24-bit") << fixture("wav48_mono24.wav");
}

void TestCartSettings::summaryFollowsTheSamples()
{
    QFETCH(QString, file);
    int parts = 0;
    const std::optional<PeakSummary> summary = PeakSummaries::summarise(file, {},
                                                                        [&parts](const PeakSummary &) { ++parts; });
    QVERIFY(summary && summary->complete());
    QCOMPARE(summary->frames, decodedFrames(file));
    QVERIFY(summary->blocks() <= PeakSummaries::kMostBlocks);
    // Each block holds the lowest and highest of its own samples (the left channel's within).
    const QList<qint16> left = decodedLeft(file);
    for (qsizetype b = 0; b < summary->blocks(); b += 97) {
        const QList<qint16> block = left.mid(b * summary->framesPerBlock, summary->framesPerBlock);
        QVERIFY(!block.isEmpty());
        QVERIFY(summary->lows[size_t(b)] <= *std::min_element(block.begin(), block.end()) + 1);
        QVERIFY(summary->highs[size_t(b)] >= *std::max_element(block.begin(), block.end()) - 1);
    }
    // Kept, and found again while the file is unchanged.
    QTemporaryDir folder;
    PeakCache cache(folder.path());
    QVERIFY(!cache.find(file));
    QVERIFY(cache.insert(file, *summary));
    const std::optional<PeakSummary> kept = cache.find(file);
    QVERIFY(kept);
    QCOMPARE(kept->lows, summary->lows);
    QCOMPARE(kept->highs, summary->highs);
    QCOMPARE(kept->frames, summary->frames);
}

void TestCartSettings::damagedCacheIsMadeAgain_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("cut short") << "cut";
    QTest::newRow("another magic") << "magic";
    QTest::newRow("the file changed") << "touch";
    QTest::newRow("a huge count") << "count";
    QTest::newRow("a block changed, the head intact") << "body";
    QTest::newRow("larger than a cache file can be") << "huge";
}

void TestCartSettings::damagedCacheIsMadeAgain()
{
    QFETCH(QString, damage);
    QTemporaryDir folder;
    const QString audio = folder.filePath(QStringLiteral("a.wav"));
    QVERIFY(QFile::copy(fixture("three_tones.wav"), audio));
    PeakCache cache(folder.filePath(QStringLiteral("peaks")));
    const std::optional<PeakSummary> summary = PeakSummaries::summarise(audio);
    QVERIFY(summary && cache.insert(audio, *summary));
    const QStringList kept = QDir(folder.filePath(QStringLiteral("peaks"))).entryList(QDir::Files);
    QCOMPARE(kept.size(), 1);
    const QString cacheFile = folder.filePath(QStringLiteral("peaks/") + kept[0]);
    QByteArray bytes = readBytes(cacheFile);
    if (damage == QLatin1String("cut")) {
        bytes.chop(3);
    } else if (damage == QLatin1String("magic")) {
        bytes[0] = 'X';
    } else if (damage == QLatin1String("touch")) {
        QFile file(audio);
        QVERIFY(file.open(QIODevice::Append));
        file.write("x");
    } else if (damage == QLatin1String("count")) {
        // The block count, just before the blocks and the checksum: far more than a summary may have.
        const qsizetype at = bytes.size() - 32 - 4 * summary->blocks() - 4;
        bytes.replace(at, 4, QByteArray::fromHex("7fffffff"));
    } else if (damage == QLatin1String("body")) {
        // A loud block made silent, as a sine drawn flat.
        const qsizetype at = bytes.size() - 32 - 4 * (summary->blocks() / 2);
        bytes.replace(at, 4, QByteArray(4, '\0'));
    } else {
        bytes += QByteArray(PeakCache::kMostBytes, '\0');
    }
    QVERIFY(writeBytes(cacheFile, bytes));
    QVERIFY(!cache.find(audio));
}

void TestCartSettings::coloursComeBackAfterAnyPlay_data()
{
    QTest::addColumn<int>("coloured"); // the slot given a colour; -1: none
    QTest::addColumn<int>("played");   // the slot played and stopped first
    QTest::addColumn<int>("looked");   // the slot whose face is read
    QTest::newRow("another cart played") << 3 << 8 << 3;
    QTest::newRow("its own cart played") << 3 << 3 << 3;
    QTest::newRow("slot 2 coloured, before any play") << 1 << -1 << 1;
    QTest::newRow("slot 2 coloured, after another played") << 1 << 5 << 1;
    QTest::newRow("no colour: slot 2 keeps its silver") << -1 << -1 << 1;
    QTest::newRow("no colour: silver after another played") << -1 << 8 << 3;
}

void TestCartSettings::coloursComeBackAfterAnyPlay()
{
    QFETCH(int, coloured);
    QFETCH(int, played);
    QFETCH(int, looked);
    const QColor mine(QStringLiteral("#2e8b57"));
    if (coloured >= 0) {
        CartSettings settings;
        settings.colour = mine.name();
        setCart(coloured, settings);
    }
    const auto face = [&] { return button(looked)->grab().toImage().pixelColor(20, 20); };
    if (played >= 0) {
        QTest::mouseClick(button(played), Qt::LeftButton);
        if (played != looked)
            QCOMPARE(face(), Colours::colour(Colours::Silver)); // locked: silver over the colour
        tick();
        QTest::mouseClick(button(played), Qt::LeftButton);
    }
    // The stored back colours stay as the classic window has them; only what shows changes.
    const bool classicSilver = looked == 1 || (played >= 0 && played != looked);
    QCOMPARE(button(looked)->backColor(), classicSilver ? Colours::Silver : Colours::ButtonFace);
    if (coloured == looked)
        QCOMPARE(face(), mine);
    else
        QCOMPARE(face(), classicSilver ? Colours::colour(Colours::Silver) : Colours::colour(Colours::ButtonFace));
}

void TestCartSettings::wallKeysReachOpenDialogs_data()
{
    QTest::addColumn<QString>("dialog"); // "settings", or "colour" (the chooser over the settings)
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("playing");   // a cart plays when the key is pressed
    QTest::addColumn<QString>("call");   // the player's last call after it; empty: none
    QTest::addColumn<bool>("stillOpen"); // the dialog after the key
    const int none = Qt::NoModifier;
    QTest::newRow("Cart settings, Esc fades") << "settings" << int(Qt::Key_Escape) << none << true << "fade:2" << true;
    QTest::newRow("Cart settings, Shift+Esc stops")
        << "settings" << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << true << "stop" << true;
    QTest::newRow("Cart settings, F1 stops its cart")
        << "settings" << int(Qt::Key_F1) << none << true << "stop" << true;
    QTest::newRow("Cart settings, F5 at rest plays")
        << "settings" << int(Qt::Key_F5) << none << false << "put:/m/t4.mp3" << true;
    QTest::newRow("Cart settings, Esc at rest closes it")
        << "settings" << int(Qt::Key_Escape) << none << false << "" << false;
    QTest::newRow("colour chooser, Esc fades") << "colour" << int(Qt::Key_Escape) << none << true << "fade:2" << true;
    QTest::newRow("colour chooser, F1 stops") << "colour" << int(Qt::Key_F1) << none << true << "stop" << true;
}

void TestCartSettings::wallKeysReachOpenDialogs()
{
    // The operator opens a cart's settings, or its colour chooser, and the wall still answers.
    QFETCH(QString, dialog);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, playing);
    QFETCH(QString, call);
    QFETCH(bool, stillOpen);
    if (playing)
        QTest::mouseClick(button(0), Qt::LeftButton);
    const qsizetype callsBefore = m_player->calls.size();
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *settings = qobject_cast<CartSettingsDialog *>(QApplication::activeModalWidget());
        QVERIFY(settings);
        QCOMPARE(settings->windowModality(), Qt::WindowModal); // the window's, not the program's
        const auto press = [&](QWidget *target) {
            QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            seen = true;
            QCOMPARE(m_player->calls.size() > callsBefore ? m_player->calls.last() : QString(), call);
        };
        if (dialog == QLatin1String("settings")) {
            press(settings->focusWidget() ? settings->focusWidget() : settings);
            QCOMPARE(settings->isVisible(), stillOpen);
            settings->reject();
            return;
        }
        QTimer::singleShot(0, this, [&, settings] {
            auto *chooser = settings->findChild<QColorDialog *>(QStringLiteral("ColourChooser"));
            QVERIFY(chooser && chooser->isVisible());
            press(chooser);
            QCOMPARE(chooser->isVisible(), stillOpen);
            chooser->reject();
            settings->reject();
        });
        settings->findChild<QPushButton *>(QStringLiteral("Colour"))->click();
    });
    QMenu *menu = m_window->cartMenu(0);
    menu->findChild<QAction *>(QStringLiteral("CartSettings"))->trigger();
    QVERIFY(seen);
}

void TestCartSettings::fadeInHeldToThePart()
{
    // A fade-in longer than the part would keep the whole part all but silent: it is held to
    // the part, and the dialog says so.
    CartSettings settings;
    settings.in = 1;
    settings.out = 3;
    settings.fadeIn = 30;
    CartSettingsDialog dialog(m_window.get(), fixture("three_tones.wav"), QStringLiteral("Tones"), settings, nullptr,
                              false, 2);
    QCOMPARE(dialog.settings().fadeIn, 2.0);
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("FadeInHeld"))->text().contains(QStringLiteral("2.00 s")));
    dialog.findChild<QDoubleSpinBox *>(QStringLiteral("FadeIn"))->setValue(1.5);
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("FadeInHeld"))->text().isEmpty());
    QCOMPARE(dialog.settings().fadeIn, 1.5);
}

void TestCartSettings::partsTooShortToLoop_data()
{
    QTest::addColumn<double>("out");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<bool>("outKept");
    QTest::addColumn<bool>("loopKept");
    QTest::addColumn<bool>("dialogTakes"); // the dialog, whose times are in hundredths
    QTest::newRow("out equal to in, looping") << 2.0 << true << false << false << false;
    QTest::newRow("out 5 ms after in, looping") << 2.005 << true << false << false << true;
    QTest::newRow("out 20 ms after in, looping") << 2.02 << true << true << true << true;
    QTest::newRow("out equal to in, once") << 2.0 << false << false << false << false;
}

void TestCartSettings::partsTooShortToLoop()
{
    // As a show file has them: a loop of no part is refused, not a loop of the rest of the file.
    QFETCH(double, out);
    QFETCH(bool, loop);
    QFETCH(bool, outKept);
    QFETCH(bool, loopKept);
    QFETCH(bool, dialogTakes);
    QJsonObject cart{{QStringLiteral("in"), 2.0}, {QStringLiteral("out"), out}, {QStringLiteral("loop"), loop}};
    QStringList notes;
    const CartSettings settings = CartSettingsFormat::take(cart, QStringLiteral("cart 1"), &notes);
    QCOMPARE(settings.out.has_value(), outKept);
    QCOMPARE(settings.loop, loopKept);
    QCOMPARE(notes.isEmpty(), outKept);
    // The dialog refuses the same parts.
    CartSettings asked;
    asked.in = 2;
    asked.out = out;
    asked.loop = loop;
    CartSettingsDialog dialog(m_window.get(), fixture("three_tones.wav"), QStringLiteral("Tones"), asked, nullptr,
                              false, 2);
    QCOMPARE(dialog.findChild<QDialogButtonBox *>(QStringLiteral("Buttons"))->button(QDialogButtonBox::Ok)->isEnabled(),
             dialogTakes);
}

QTEST_MAIN(TestCartSettings)
#include "tst_cartsettings.moc"
