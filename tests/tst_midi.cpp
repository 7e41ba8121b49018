#include "common/settings.h"
#include "fakemiditransport.h"
#include "midi/alsamiditransport.h"
#include "midi/midibinding.h"
#include "midi/midicodec.h"
#include "midi/midicontrol.h"
#include "platform/monotonicclock.h"
#include "midi/midilights.h"
#include "midi/midimenu.h"
#include "midi/pressdetector.h"
#include "recordingsurface.h"

#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <alsa/asoundlib.h>

namespace {

const QString apc = QStringLiteral("APC MINI:APC MINI MIDI 1");
const QString launchpad = QStringLiteral("Launchpad Mini MK3:Launchpad Mini MK3 LPMiniMK3 MI");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Bindings as kelvo.conf keeps them, for the next MidiControl.
void keep(const QList<MidiBinding> &bindings)
{
    Settings settings;
    MidiMap map;
    for (const MidiBinding &binding : bindings)
        map.bind(binding);
    map.save(*settings.file());
    settings.file()->sync();
}

MidiInput note(int number)
{
    return {MidiEvent::Kind::NoteOn, 0, number};
}

} // namespace

class TestMidi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pressRules_data();
    void pressRules();
    void bindingTexts_data();
    void bindingTexts();
    void settingsRoundTrip();
    void pressesActThroughTheSurface_data();
    void pressesActThroughTheSurface();
    void latePressesAreDropped_data();
    void latePressesAreDropped();
    void learnWithConflicts();
    void lightsPerProfile_data();
    void lightsPerProfile();
    void onlyChangedLightsAreSent();
    void replugFoundByName();
    void handWrittenBindings_data();
    void handWrittenBindings();
    void linksFollowTheDevices_data();
    void linksFollowTheDevices();
    void withoutASequencer();
    void realSequencer();

private:
    QTemporaryDir m_config;
};

void TestMidi::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestMidi::init()
{
    QFile::remove(m_config.filePath(QStringLiteral("kelvo/kelvo.conf")));
}

void TestMidi::pressRules_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("presses"); // kind:channel:number of each press, channels from 1
    QTest::newRow("note-on") << hex("903c64") << QStringList{"note:1:60"};
    QTest::newRow("note-on, velocity 1 is a press all the same") << hex("923c01") << QStringList{"note:3:60"};
    QTest::newRow("note-on velocity 0 is a release") << hex("903c00") << QStringList{};
    QTest::newRow("note-off") << hex("803c40") << QStringList{};
    QTest::newRow("running status") << hex("903c643d7f3c00") << QStringList{"note:1:60", "note:1:61"};
    QTest::newRow("control rising across 64") << hex("b00710b00770") << QStringList{"cc:1:7"};
    QTest::newRow("control staying high") << hex("b00770b0077fb00740") << QStringList{"cc:1:7"};
    QTest::newRow("control falling and rising again") << hex("b00770b00710b00770") << QStringList{"cc:1:7", "cc:1:7"};
    QTest::newRow("control at 63 is not across") << hex("b0073f") << QStringList{};
    QTest::newRow("program change") << hex("c905") << QStringList{"program:10:5"};
    QTest::newRow("clock and active sensing") << hex("f8fef8fa") << QStringList{};
    QTest::newRow("clock inside a note") << hex("90f83c64") << QStringList{"note:1:60"};
    QTest::newRow("SysEx") << hex("f07e7f0601f7") << QStringList{};
    QTest::newRow("data in SysEx is no note") << hex("f03c64f7") << QStringList{};
    QTest::newRow("a status byte ends SysEx") << hex("f00102903c64") << QStringList{"note:1:60"};
    QTest::newRow("aftertouch and pitch bend") << hex("a03c40d040e00040") << QStringList{};
    QTest::newRow("a message cut off") << hex("903c") << QStringList{};
}

void TestMidi::pressRules()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, presses);
    MidiCodec codec;
    PressDetector detector;
    QStringList found;
    for (const MidiEvent &event : codec.decode(bytes, apc)) {
        if (detector.isPress(event))
            found << MidiInput{event.kind, event.channel, event.number}.text();
    }
    QCOMPARE(found, presses);
}

void TestMidi::bindingTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isInput");
    QTest::addColumn<QString>("readBack"); // empty: refused
    QTest::newRow("a note") << "note:1:60" << true << "note:1:60";
    QTest::newRow("any channel") << "cc:*:7" << true << "cc:*:7";
    QTest::newRow("a program, spaces") << " program : 16 : 127 " << true << "program:16:127";
    QTest::newRow("channel 0") << "note:0:60" << true << "";
    QTest::newRow("channel 17") << "note:17:60" << true << "";
    QTest::newRow("note 128") << "note:1:128" << true << "";
    QTest::newRow("an unknown kind") << "pitch:1:60" << true << "";
    QTest::newRow("too few parts") << "note:60" << true << "";
    QTest::newRow("fire on the page shown") << "fire:12" << false << "fire:12";
    QTest::newRow("fire on a page") << "fire:99:1" << false << "fire:99:1";
    QTest::newRow("slot 13") << "fire:13" << false << "";
    QTest::newRow("page 100") << "page:100" << false << "";
    QTest::newRow("stop") << "stop" << false << "stop";
    QTest::newRow("next and previous") << "previous" << false << "previous";
    QTest::newRow("stop with an argument") << "stop:1" << false << "";
    QTest::newRow("junk") << QString::fromLatin1("f\x01re:1") << false << "";
}

void TestMidi::bindingTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, isInput);
    QFETCH(QString, readBack);
    if (isInput) {
        const std::optional<MidiInput> input = MidiInput::parse(text);
        QCOMPARE(input ? input->text() : QString(), readBack);
    } else {
        const std::optional<MidiAction> action = MidiAction::parse(text);
        QCOMPARE(action ? action->text() : QString(), readBack);
    }
}

void TestMidi::settingsRoundTrip()
{
    // Written by hand, malformed entries among them; saved back as read.
    const QString path = m_config.filePath(QStringLiteral("hand.conf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "[midi]\ngeneric=0,10,100,50\nbindings\\size=4\n"
        "bindings\\1\\device=APC MINI:APC MINI MIDI 1\nbindings\\1\\input=note:1:56\nbindings\\1\\action=fire:1\n"
        "bindings\\2\\input=note:1:999\nbindings\\2\\action=stop\n"
        "bindings\\3\\input=cc:*:64\nbindings\\3\\action=fade\n"
        "bindings\\4\\input=note:1:57\nbindings\\4\\action=explode\n"
        "profiles\\size=1\nprofiles\\1\\device=APC MINI:APC MINI MIDI 1\nprofiles\\1\\profile=apc-mini-mk2\n");
    file.close();
    MidiMap map;
    QStringList problems;
    {
        QSettings settings(path, QSettings::IniFormat);
        map.load(settings, &problems);
    }
    QCOMPARE(problems.size(), 2);
    QVERIFY(problems[0].contains(QLatin1String("note:1:999")));
    QCOMPARE(map.bindings().size(), 2);
    QCOMPARE(map.bindings()[0], (MidiBinding{apc, {MidiEvent::Kind::NoteOn, 0, 56}, {MidiAction::Kind::Fire, 0, 1}}));
    QCOMPARE(map.bindings()[1].device, QString()); // any device
    QCOMPARE(map.profileOf(apc), QStringLiteral("apc-mini-mk2"));
    {
        QSettings settings(path, QSettings::IniFormat);
        map.save(settings);
        // The group's other keys are kept (a list, as INI files read commas).
        QCOMPARE(settings.value(QStringLiteral("midi/generic")).toStringList().join(QLatin1Char(',')),
                 QStringLiteral("0,10,100,50"));
    }
    MidiMap again;
    QSettings settings(path, QSettings::IniFormat);
    again.load(settings, &problems);
    QCOMPARE(again.bindings(), map.bindings());
    QCOMPARE(again.profileOf(apc), QStringLiteral("apc-mini-mk2"));
}

void TestMidi::pressesActThroughTheSurface_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("device"); // the binding's; "*" for any
    QTest::addColumn<QString>("from");   // the press's
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("a cart of the page shown") << "fire:3" << apc << apc << QStringList{"fire:3"};
    QTest::newRow("a cart of a page") << "fire:2:3" << apc << apc << QStringList{"page:2", "fire:3"};
    QTest::newRow("stop") << "stop" << apc << apc << QStringList{"stop"};
    QTest::newRow("fade") << "fade" << apc << apc << QStringList{"fade"};
    QTest::newRow("GO") << "go" << apc << apc << QStringList{"go"};
    QTest::newRow("stop all") << "stop-all" << apc << apc << QStringList{"stop-all"};
    QTest::newRow("next page") << "next" << apc << apc << QStringList{"page:2"};
    QTest::newRow("previous page") << "previous" << apc << apc << QStringList{"page:0"};
    QTest::newRow("a page") << "page:3" << apc << apc << QStringList{"page:3"};
    QTest::newRow("another device fires nothing") << "fire:3" << apc << launchpad << QStringList{};
    QTest::newRow("a binding for any device") << "fire:3"
                                              << "*" << launchpad << QStringList{"fire:3"};
    QTest::newRow("Kelvo's own lights looped back") << "fire:3"
                                                    << "*"
                                                    << "Kelvo:Kelvo lights" << QStringList{};
}

void TestMidi::pressesActThroughTheSurface()
{
    QFETCH(QString, action);
    QFETCH(QString, device);
    QFETCH(QString, from);
    QFETCH(QStringList, calls);
    keep({{device == QLatin1String("*") ? QString() : device, note(60), *MidiAction::parse(action)}});
    RecordingSurface surface;
    FakeMidiTransport transport;
    transport.present = {apc, launchpad};
    MidiControl midi(surface, transport);
    QVERIFY(midi.start());
    transport.press(from, hex("903c7f903c00")); // a press and its release: one action
    QCOMPARE(surface.calls, calls);
}

void TestMidi::latePressesAreDropped_data()
{
    QTest::addColumn<qint64>("lateMs"); // how long ago the reader took it in
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("just read") << qint64(0) << QStringList{"fire:3"};
    QTest::newRow("read 0.5 s ago") << qint64(500) << QStringList{"fire:3"};
    QTest::newRow("read 1.5 s ago, the window hung") << qint64(1500) << QStringList{};
    QTest::newRow("read a minute ago") << qint64(60'000) << QStringList{};
}

void TestMidi::latePressesAreDropped()
{
    // A pad pressed while the window was busy: handled more than a second after it came, it is
    // not acted on.
    QFETCH(qint64, lateMs);
    QFETCH(QStringList, calls);
    keep({{apc, note(60), *MidiAction::parse(QStringLiteral("fire:3"))}});
    RecordingSurface surface;
    FakeMidiTransport transport;
    transport.present = {apc};
    MidiControl midi(surface, transport);
    QVERIFY(midi.start());
    transport.press(apc, hex("903c7f903c00"), monotonicMs() - lateMs);
    QCOMPARE(surface.calls, calls);
}

void TestMidi::learnWithConflicts()
{
    RecordingSurface surface;
    FakeMidiTransport transport;
    transport.present = {apc};
    MidiControl midi(surface, transport);
    QVERIFY(midi.start());
    QVERIFY(transport.connected.isEmpty()); // nothing bound: nothing connected
    QSignalSpy learnt(&midi, &MidiControl::learnt);
    // Bound to nothing: dropped where it is read, never reaching the window.
    QSignalSpy handedOver(&transport, &MidiTransport::received);
    transport.press(apc, hex("903c7fb00740"));
    QCOMPARE(handedOver.size(), 0);

    // Learn cart 1: every device is listened to, and the press fires nothing.
    midi.learn({MidiAction::Kind::Fire, 0, 1});
    QCOMPARE(transport.connected, QStringList{apc});
    transport.press(apc, hex("b00710")); // a control below 64 is no press: still learning
    QVERIFY(midi.learning());
    transport.press(apc, hex("903c7f"));
    QVERIFY(!midi.learning());
    QVERIFY(surface.calls.isEmpty());
    QCOMPARE(handedOver.size(), 2); // while learning, every message is
    transport.press(apc, hex("903d7f903c00"));
    QCOMPARE(handedOver.size(), 2); // bound now: its release is no press, another note not bound
    QCOMPARE(learnt.size(), 1);
    QCOMPARE(midi.map().bindingFor({MidiAction::Kind::Fire, 0, 1})->input.text(), QStringLiteral("note:1:60"));
    QVERIFY(!learnt[0][1].value<std::optional<MidiAction>>());

    // The same pad for Stop: it moves, and the window is told from where.
    midi.learn({MidiAction::Kind::Stop, 0, 0});
    transport.press(apc, hex("903c7f"));
    QCOMPARE(learnt.size(), 2);
    const auto moved = learnt[1][1].value<std::optional<MidiAction>>();
    QVERIFY(moved);
    QCOMPARE(moved->text(), QStringLiteral("fire:1"));
    QVERIFY(!midi.map().bindingFor({MidiAction::Kind::Fire, 0, 1}));
    transport.press(apc, hex("903c7f"));
    QCOMPARE(surface.calls, QStringList{"stop"});

    // Cancelled (Esc, or ten seconds): nothing is bound, and presses fire again.
    midi.learn({MidiAction::Kind::Fade, 0, 0});
    QSignalSpy ended(&midi, &MidiControl::learningEnded);
    midi.cancelLearning();
    QCOMPARE(ended.size(), 1);
    QVERIFY(!midi.map().bindingFor({MidiAction::Kind::Fade, 0, 0}));
    QCOMPARE(MidiControl::kLearnMs, 10000);

    // Kept for the next start; forgotten, gone from there too.
    MidiControl next(surface, transport);
    QCOMPARE(next.map().bindings().size(), 1);
    QVERIFY(next.forget({MidiAction::Kind::Stop, 0, 0}));
    QVERIFY(!next.forget({MidiAction::Kind::Stop, 0, 0}));
    MidiControl after(surface, transport);
    QVERIFY(after.map().bindings().isEmpty());

    // The menu: the cart's own items, the window's actions, the device.
    QMenu window;
    MidiMenu menu(midi, nullptr, &window);
    QMenu cart;
    menu.addCartItems(&cart, 0);
    QVERIFY(cart.findChild<QAction *>(QStringLiteral("LearnMidi")) || !cart.actions().isEmpty());
    QMenu *submenu = window.findChild<QMenu *>(QStringLiteral("MidiMenu"));
    QVERIFY(submenu);
    QStringList items;
    for (QAction *action : submenu->actions())
        items << action->text();
    QVERIFY2(items.contains(QStringLiteral("Learn MIDI for Stop...")), qPrintable(items.join(QLatin1Char('|'))));
    QVERIFY(items.contains(apc));
    transport.unplug(apc);
    QTRY_VERIFY(!midi.isPresent(apc));
    emit submenu->aboutToShow();
    items.clear();
    for (QAction *action : submenu->actions())
        items << action->text();
    QVERIFY2(items.contains(apc + QStringLiteral(" (missing)")), qPrintable(items.join(QLatin1Char('|'))));
}

void TestMidi::lightsPerProfile_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("phase");
    QTest::addColumn<QByteArray>("bytes");
    const int off = int(LightState::Off), armed = int(LightState::Armed), playing = int(LightState::Playing),
              fading = int(LightState::Fading), learning = int(LightState::Learning);
    QTest::newRow("APC mini: off") << "apc-mini" << off << true << hex("903800");
    QTest::newRow("APC mini: armed, green") << "apc-mini" << armed << true << hex("903801");
    QTest::newRow("APC mini: playing, red") << "apc-mini" << playing << true << hex("903803");
    QTest::newRow("APC mini: playing, the blink's other half") << "apc-mini" << playing << false << hex("903800");
    QTest::newRow("APC mini: fading, red blink") << "apc-mini" << fading << true << hex("903804");
    QTest::newRow("APC mini: learning, yellow blink") << "apc-mini" << learning << true << hex("903806");
    QTest::newRow("Launchpad Mini MK3: off") << "launchpad-mini-mk3" << off << true << hex("903800");
    QTest::newRow("Launchpad Mini MK3: armed, dim green") << "launchpad-mini-mk3" << armed << true << hex("903817");
    QTest::newRow("Launchpad Mini MK3: playing, red") << "launchpad-mini-mk3" << playing << true << hex("903805");
    QTest::newRow("Launchpad Mini MK3: playing, blue") << "launchpad-mini-mk3" << playing << false << hex("90382d");
    QTest::newRow("Launchpad Mini MK3: fading, flashing red")
        << "launchpad-mini-mk3" << fading << true << hex("913805");
    QTest::newRow("Launchpad Mini MK3: learning, flashing yellow")
        << "launchpad-mini-mk3" << learning << true << hex("91380d");
    QTest::newRow("generic: off is note-on 0") << "generic" << off << true << hex("903800");
    QTest::newRow("generic: playing") << "generic" << playing << true << hex("90387f");
    QTest::newRow("generic: armed") << "generic" << armed << true << hex("903810");
}

void TestMidi::lightsPerProfile()
{
    QFETCH(QString, profile);
    QFETCH(int, state);
    QFETCH(bool, phase);
    QFETCH(QByteArray, bytes);
    const MidiInput pad{MidiEvent::Kind::NoteOn, 0, 56};
    QCOMPARE(MidiLights::message(profile, pad, LightState(state), phase).toHex(' '), bytes.toHex(' '));
    // A control's light is a control change of the same number.
    const MidiInput knob{MidiEvent::Kind::Control, 0, 56};
    QCOMPARE(quint8(MidiLights::message(profile, knob, LightState(state), phase)[0]) & 0xF0, 0xB0);
    QVERIFY(MidiLights::message(profile, {MidiEvent::Kind::Program, 0, 1}, LightState(state), phase).isEmpty());
    // Devices found by their names.
    QCOMPARE(MidiLights::profileFor(apc), QStringLiteral("apc-mini"));
    QCOMPARE(MidiLights::profileFor(launchpad), QStringLiteral("launchpad-mini-mk3"));
    QCOMPARE(MidiLights::profileFor(QStringLiteral("APC mini mk2:APC mini mk2 Control")),
             QStringLiteral("apc-mini-mk2"));
    QCOMPARE(MidiLights::init(QStringLiteral("launchpad-mini-mk3")), hex("f0002029020d0e01f7"));
}

void TestMidi::onlyChangedLightsAreSent()
{
    keep({{apc, note(56), {MidiAction::Kind::Fire, 0, 1}},
          {apc, note(57), {MidiAction::Kind::Fire, 0, 2}},
          {apc, note(58), {MidiAction::Kind::Fire, 0, 9}}}); // an empty slot
    RecordingSurface surface;
    FakeMidiTransport transport;
    transport.present = {apc};
    MidiControl midi(surface, transport);
    QVERIFY(midi.start());
    QCOMPARE(transport.connected, QStringList{apc});
    // Every light once as the device is connected: two armed carts, an empty one.
    QCOMPARE(transport.take(apc), (QStringList{"90 38 01", "90 39 01", "90 3a 00"}));
    QCOMPARE(transport.take(QString()), (QStringList{"90 38 10", "90 39 10", "90 3a 00"})); // Kelvo lights
    // Cart 1 plays: its pad red, cart 2's goes dark as its button locks.
    surface.now.slot = 1;
    surface.now.playingPage = 1;
    surface.now.carts[1].enabled = false;
    surface.tell(CommandSurface::Change::Started);
    QCOMPARE(transport.take(apc), (QStringList{"90 38 03", "90 39 00"}));
    // The countdown's ticks blink the playing pad alone, in step with the window.
    surface.tell(CommandSurface::Change::Remaining);
    QCOMPARE(transport.take(apc), QStringList{"90 38 00"});
    surface.tell(CommandSurface::Change::Remaining);
    QCOMPARE(transport.take(apc), QStringList{"90 38 03"});
    // Nothing changed: nothing sent.
    surface.tell(CommandSurface::Change::Carts);
    QCOMPARE(transport.take(apc), QStringList{});
    // A fade blinks fast, by the device's own blink; the stop puts every pad back.
    surface.now.fading = true;
    surface.tell(CommandSurface::Change::FadeBegun);
    QCOMPARE(transport.take(apc), QStringList{"90 38 04"});
    surface.now = RecordingSurface().now;
    surface.tell(CommandSurface::Change::Stopped);
    QCOMPARE(transport.take(apc), (QStringList{"90 38 01", "90 39 01"}));
    // Carts playing together: every one of them is lit, not only the one fired last.
    surface.now.playing = true;
    surface.now.slot = 2;
    surface.now.playingPage = 1;
    surface.now.playingCarts = {{1, 1, 1, 10, 20, QStringLiteral("Bed"), QString(), false, QString()},
                                {2, 1, 2, 5, 6, QStringLiteral("Voice"), QString(), false, QString()}};
    surface.tell(CommandSurface::Change::Started);
    QCOMPARE(transport.take(apc), (QStringList{"90 38 03", "90 39 03"}));
    surface.now = RecordingSurface().now;
    surface.tell(CommandSurface::Change::Stopped);
    QCOMPARE(transport.take(apc), (QStringList{"90 38 01", "90 39 01"}));
    // Another page: every light is sent again.
    surface.now.shownPage = 2;
    surface.tell(CommandSurface::Change::Page);
    QCOMPARE(transport.take(apc).size(), 3);
}

void TestMidi::replugFoundByName()
{
    keep({{launchpad, note(11), {MidiAction::Kind::Fire, 0, 1}}});
    RecordingSurface surface;
    FakeMidiTransport transport;
    MidiControl midi(surface, transport);
    QVERIFY(midi.start());
    QVERIFY(transport.connected.isEmpty()); // not there yet
    QCOMPARE(midi.knownDevices(), QStringList{launchpad});
    QVERIFY(!midi.isPresent(launchpad));
    // Plugged in (another client number, the same name): connected, programmer mode, its light.
    transport.plug(launchpad);
    QTRY_COMPARE(transport.connected, QStringList{launchpad});
    QCOMPARE(transport.take(launchpad), (QStringList{"f0 00 20 29 02 0d 0e 01 f7", "90 0b 17"}));
    transport.press(launchpad, hex("900b7f"));
    QCOMPARE(surface.calls, QStringList{"fire:1"});
    // Unplugged and back: found again, and every light sent again.
    transport.unplug(launchpad);
    QTRY_VERIFY(!midi.isPresent(launchpad));
    transport.plug(launchpad);
    QTRY_COMPARE(transport.connected.size(), 2);
    QCOMPARE(transport.take(launchpad), (QStringList{"f0 00 20 29 02 0d 0e 01 f7", "90 0b 17"}));
}

void TestMidi::handWrittenBindings_data()
{
    QTest::addColumn<QByteArray>("bindings"); // [midi] bindings as written by hand
    QTest::addColumn<QStringList>("kept");    // input=action, in order
    QTest::addColumn<int>("problems");
    QTest::newRow("two pads for one cart: both kept")
        << QByteArray("size=2\n1\\input=note:1:56\n1\\action=fire:1\n2\\input=note:1:57\n2\\action=fire:1\n")
        << QStringList{"note:1:56=fire:1", "note:1:57=fire:1"} << 0;
    QTest::newRow("one pad for two carts: the later kept, and said")
        << QByteArray("size=2\n1\\input=note:1:56\n1\\action=fire:1\n2\\input=note:1:56\n2\\action=fire:2\n")
        << QStringList{"note:1:56=fire:2"} << 1;
    QTest::newRow("the same binding twice: one kept")
        << QByteArray("size=2\n1\\input=note:1:56\n1\\action=stop\n2\\input=note:1:56\n2\\action=stop\n")
        << QStringList{"note:1:56=stop"} << 0;
}

void TestMidi::handWrittenBindings()
{
    QFETCH(QByteArray, bindings);
    QFETCH(QStringList, kept);
    QFETCH(int, problems);
    // A file of each row's own: QSettings keeps what it read of a path for as long as its time
    // stamp is the same.
    const QString path = m_config.filePath(QStringLiteral("twice-%1.conf").arg(QTest::currentDataTag()).remove(' '));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray text = "[midi]\n";
    for (const QByteArray &line : bindings.split('\n')) {
        if (!line.isEmpty())
            text += "bindings\\" + line + '\n';
    }
    file.write(text);
    file.close();
    MidiMap map;
    QStringList said;
    QSettings settings(path, QSettings::IniFormat);
    map.load(settings, &said);
    QCOMPARE(said.size(), problems);
    QStringList read;
    for (const MidiBinding &binding : map.bindings())
        read << binding.input.text() + QLatin1Char('=') + binding.action.text();
    QCOMPARE(read, kept);
    // Both pads of one cart fire it, and forgetting the cart forgets both.
    if (kept.size() == 2) {
        RecordingSurface surface;
        FakeMidiTransport transport;
        MidiControl midi(surface, transport, map);
        QVERIFY(midi.start());
        transport.press(QString(), hex("9038409039409039004000"));
        QCOMPARE(surface.calls, (QStringList{"fire:1", "fire:1"}));
        QVERIFY(midi.forget({MidiAction::Kind::Fire, 0, 1}));
        QVERIFY(midi.map().bindings().isEmpty());
    }
}

void TestMidi::linksFollowTheDevices_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("replugged faster than the announcements were read") << "replug";
    QTest::newRow("announcements that never stop") << "steady";
    QTest::newRow("a light refused is sent again") << "refused";
    QTest::newRow("a learn lets go of what it listened to") << "learn";
    QTest::newRow("a cancelled learn too") << "cancel";
}

void TestMidi::linksFollowTheDevices()
{
    QFETCH(QString, what);
    const QString other = QStringLiteral("Other pad:Other pad MIDI 1");
    RecordingSurface surface;
    FakeMidiTransport transport;
    MidiMap map;
    map.bind({apc, note(56), {MidiAction::Kind::Fire, 0, 1}});
    map.setProfile(apc, QStringLiteral("apc-mini"));
    transport.present = {apc, other};
    MidiControl midi(surface, transport, map);
    if (what == QLatin1String("refused"))
        transport.refuse = true;
    QVERIFY(midi.start());
    QCOMPARE(transport.connected, QStringList{apc});
    if (what == QLatin1String("replug")) {
        QCOMPARE(transport.take(apc), QStringList{"90 38 01"});
        transport.replug(apc); // the name never left the list
        QTRY_COMPARE(transport.connected, (QStringList{apc, apc}));
        QCOMPARE(transport.take(apc), QStringList{"90 38 01"}); // lit afresh
    } else if (what == QLatin1String("steady")) {
        transport.unplug(apc);
        QTRY_VERIFY(!midi.isPresent(apc));
        transport.present << apc;
        // An announcement every 50 ms does not keep putting the connect off.
        QElapsedTimer timer;
        timer.start();
        while (transport.connected.size() < 2 && timer.elapsed() < 2000) {
            emit transport.devicesChanged();
            QTest::qWait(50);
        }
        QVERIFY2(timer.elapsed() < MidiControl::kSettleMs * 4, qPrintable(QString::number(timer.elapsed())));
    } else if (what == QLatin1String("refused")) {
        QVERIFY(transport.sent.isEmpty());
        transport.refuse = false;
        surface.tell(CommandSurface::Change::Carts); // the state is the same; the light was never taken
        QCOMPARE(transport.take(apc), QStringList{"90 38 01"});
    } else {
        midi.learn({MidiAction::Kind::Fire, 0, 2});
        QCOMPARE(transport.connected, (QStringList{apc, other}));
        if (what == QLatin1String("learn"))
            transport.press(apc, hex("903a7f"));
        else
            midi.cancelLearning();
        QVERIFY(!midi.learning());
        QCOMPARE(transport.disconnected, QStringList{other}); // the bound one stays
    }
}

void TestMidi::withoutASequencer()
{
    // As on machines with no sound subsystem: the MIDI menu says so, and that is all.
    RecordingSurface surface;
    FakeMidiTransport transport;
    transport.sequencer = false;
    MidiControl midi(surface, transport);
    QVERIFY(!midi.start());
    QVERIFY(!midi.available());
    QMenu window;
    MidiMenu menu(midi, nullptr, &window);
    QMenu *submenu = window.findChild<QMenu *>(QStringLiteral("MidiMenu"));
    QCOMPARE(submenu->actions().size(), 1);
    QVERIFY(submenu->actions()[0]->text().contains(QLatin1String("/dev/snd/seq")));
    QVERIFY(!submenu->actions()[0]->isEnabled());
    QMenu cart;
    menu.addCartItems(&cart, 0);
    QVERIFY(cart.actions().isEmpty());
    surface.tell(CommandSurface::Change::Started);
    QVERIFY(transport.sent.isEmpty());

    // The real transport where there is none says why.
    if (!QFile::exists(QStringLiteral("/dev/snd/seq"))) {
        AlsaMidiTransport alsa;
        QString why;
        QVERIFY(!alsa.start(&why));
        QVERIFY2(why.contains(QLatin1String("/dev/snd/seq")), qPrintable(why));
    }
}

void TestMidi::realSequencer()
{
    // A client of the test's own plays a pad into "Kelvo in"; the cart fires and "Kelvo lights"
    // answers; Kelvo's own lights fed back to its input fire nothing.
    if (!QFile::exists(QStringLiteral("/dev/snd/seq")))
        QSKIP("no ALSA sequencer here (/dev/snd/seq is missing): the fake transport's rows stand in");
    keep({{QString(), note(60), {MidiAction::Kind::Fire, 0, 1}}});
    RecordingSurface surface;
    AlsaMidiTransport alsa;
    MidiControl midi(surface, alsa);
    QVERIFY(midi.start());
    snd_seq_t *seq = nullptr;
    QCOMPARE(snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0), 0);
    snd_seq_set_client_name(seq, "Kelvo test pad");
    const int port = snd_seq_create_simple_port(seq, "pad",
                                                SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                                    | SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    QVERIFY(port >= 0);
    snd_seq_addr_t kelvoIn{}, kelvoLights{};
    QCOMPARE(snd_seq_parse_address(seq, &kelvoIn, "Kelvo:0"), 0);
    QCOMPARE(snd_seq_parse_address(seq, &kelvoLights, "Kelvo:1"), 0);
    QCOMPARE(snd_seq_connect_to(seq, port, kelvoIn.client, kelvoIn.port), 0);
    QCOMPARE(snd_seq_connect_from(seq, port, kelvoLights.client, kelvoLights.port), 0);
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, static_cast<unsigned char>(port));
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_noteon(&event, 0, 60, 100);
    QVERIFY(snd_seq_event_output_direct(seq, &event) >= 0);
    QTRY_COMPARE(surface.calls, QStringList{"fire:1"});
    surface.now.slot = 1;
    surface.now.playingPage = 1;
    surface.tell(CommandSurface::Change::Started);
    // The light arrives at the pad's client through "Kelvo lights".
    bool lit = false;
    for (int i = 0; i < 100 && !lit; ++i) {
        snd_seq_event_t *in = nullptr;
        if (snd_seq_event_input_pending(seq, 1) > 0 && snd_seq_event_input(seq, &in) >= 0 && in)
            lit = in->type == SND_SEQ_EVENT_NOTEON && in->data.note.note == 60 && in->data.note.velocity > 0;
        QTest::qWait(10);
    }
    QVERIFY(lit);
    // Kelvo's lights into Kelvo's own input: its own echo fires nothing.
    snd_seq_port_subscribe_t *loop = nullptr;
    snd_seq_port_subscribe_alloca(&loop);
    snd_seq_port_subscribe_set_sender(loop, &kelvoLights);
    snd_seq_port_subscribe_set_dest(loop, &kelvoIn);
    QCOMPARE(snd_seq_subscribe_port(seq, loop), 0);
    surface.tell(CommandSurface::Change::Page);
    QTest::qWait(200);
    QCOMPARE(surface.calls, QStringList{"fire:1"});
    snd_seq_close(seq);
}

QTEST_MAIN(TestMidi)
#include "tst_midi.moc"
