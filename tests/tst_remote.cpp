#include "audiotestsupport.h"
#include "common/colours.h"
#include "common/settings.h"
#include "editor/form2.h"
#include "fakemediaplayer.h"
#include "player/form1.h"
#include "player/playercommands.h"
#include "player/trackbutton.h"
#include "playerfixture.h"
#include "common/ratelimiter.h"
#include "platform/sha256.h"
#include "remote/commandline.h"
#include "platform/monotonicclock.h"
#include "remote/instancelink.h"
#include "remote/oscdispatch.h"
#include "remote/remotecontrol.h"
#include "player/commandsurface.h"
#include "testsupport.h"
#include "tracklist/trackliststore.h"

#include <lo/lo_lowlevel.h>

#include <QAction>
#include <QElapsedTimer>
#include <QCryptographicHash>
#include <QMenu>
#include <QMetaEnum>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <fcntl.h>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include <cstdlib>
#include <cstring>

// Control from outside: the command line, the one instance per track list, OSC.
class TestRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void instanceRequests_data();
    void instanceRequests();
    void oscDispatch_data();
    void oscDispatch();
    void oscFuzzInputsReplayed_data();
    void oscFuzzInputsReplayed();
    void oscFromLoopback();
    void commandsUnderLoad();
    void commandSurfaceTellsItsControllers_data();
    void commandSurfaceTellsItsControllers();
    void startsHandOverToTheRunningOne();
    void diagnosticsAreRateLimited_data();
    void diagnosticsAreRateLimited();
    void floodWithStderrBlocked();
    void socketNamesAgree_data();
    void socketNamesAgree();
    void kelvoctlArguments_data();
    void kelvoctlArguments();
    void kelvoctlDrivesTheRunningOne();
    void pressDuringAHangNeverPlays_data();
    void pressDuringAHangNeverPlays();
    void lateRequestsAreRefused_data();
    void lateRequestsAreRefused();
    void showPagesFromTheCommandLine();
    void endsCleanlyOnSignals_data();
    void endsCleanlyOnSignals();
    void saysWhatIsMissing_data();
    void saysWhatIsMissing();
    void runningOneKeepsItsSocket_data();
    void runningOneKeepsItsSocket();

private:
    QTemporaryDir m_home; // settings and runtime folders of the run's own
};

namespace {

// A target that records what it is told, as "fire:N", "stop", "fade", "raise".
class RecordingTarget : public CommandSurface
{
public:
    QStringList calls;
    SurfaceState playing = [] {
        SurfaceState state;
        state.slot = 3;
        state.remaining = 12.5;
        state.total = 60.0;
        state.playingPage = 2;
        state.pageCount = 3;
        state.playingCarts = {{5, 2, 1, 40, 50, QStringLiteral("Bed"), QString(), false, QString()},
                              {6, 2, 3, 12.5, 60, QStringLiteral("Voice"), QString(), false, QString()}};
        return state;
    }();
    void fire(int slot) override { calls << QStringLiteral("fire:%1").arg(slot); }
    void showPage(int page) override
    {
        calls << QStringLiteral("page:%1").arg(page);
        playing.shownPage = page;
    }
    bool openShow(const QString &path) override
    {
        calls << QStringLiteral("open:%1").arg(path);
        return true;
    }
    void stop() override { calls << QStringLiteral("stop"); }
    void fade() override { calls << QStringLiteral("fade"); }
    void stopAll() override { calls << QStringLiteral("stop-all"); }
    void fadeAll() override { calls << QStringLiteral("fade-all"); }
    void go() override { calls << QStringLiteral("go"); }
    SurfaceState state() override { return playing; }
    void raise() override { calls << QStringLiteral("raise"); }
};

// One OSC message, as a sender would put it on the wire.
QByteArray oscMessage(const char *path, const char *types, ...)
{
    lo_message message = lo_message_new();
    va_list args;
    va_start(args, types);
    for (const char *t = types; *t; ++t) {
        switch (*t) {
        case 'i':
            lo_message_add_int32(message, va_arg(args, int));
            break;
        case 'f':
            lo_message_add_float(message, float(va_arg(args, double)));
            break;
        case 's':
            lo_message_add_string(message, va_arg(args, const char *));
            break;
        default:
            break;
        }
    }
    va_end(args);
    size_t size = 0;
    void *bytes = lo_message_serialise(message, path, nullptr, &size);
    QByteArray packet(static_cast<const char *>(bytes), qsizetype(size));
    std::free(bytes);
    lo_message_free(message);
    return packet;
}

// A /kelvo/state reply read back: "slot remaining total".
QString stateText(const QByteArray &reply)
{
    QByteArray bytes = reply;
    int result = 0;
    lo_message message = lo_message_deserialise(bytes.data(), size_t(bytes.size()), &result);
    if (!message)
        return QStringLiteral("not OSC");
    const QString types = QString::fromLatin1(lo_message_get_types(message));
    lo_arg **argv = lo_message_get_argv(message);
    // Read as bytes: liblo's arguments are only 4-byte aligned.
    qint32 slot = 0, playingPage = 0, shownPage = 0;
    float remaining = 0, total = 0;
    if (types == QLatin1String("iffii")) {
        std::memcpy(&slot, argv[0], 4);
        std::memcpy(&remaining, argv[1], 4);
        std::memcpy(&total, argv[2], 4);
        std::memcpy(&playingPage, argv[3], 4);
        std::memcpy(&shownPage, argv[4], 4);
    }
    const QString text = types == QLatin1String("iffii") ? QStringLiteral("%1 %2 %3 %4 %5")
                                                               .arg(slot)
                                                               .arg(double(remaining))
                                                               .arg(double(total))
                                                               .arg(playingPage)
                                                               .arg(shownPage)
                                                         : QStringLiteral("types ") + types;
    lo_message_free(message);
    return QString::fromLatin1(bytes.constData()) + QLatin1Char(' ') + text;
}

// A portable copy of the program, with kelvoctl beside it and a list of one cart.
struct PortableCopy
{
    QTemporaryDir folder;
    QString kelvo = folder.filePath(QStringLiteral("kelvo"));
    QString kelvoctl = folder.filePath(QStringLiteral("kelvoctl"));

    bool make()
    {
        for (const auto &[from, to] :
             {std::pair{QStringLiteral(KELVO_BINARY), kelvo}, std::pair{QStringLiteral(KELVOCTL_BINARY), kelvoctl}}) {
            if (!QFile::copy(from, to)
                || !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
                return false;
        }
        return writeBytes(TrackListFile::pathIn(folder.path()),
                          "\"" + fixture("six_seconds.mp3").toUtf8() + "\",\"Six\"\r\n");
    }

    // Runs program with arguments; its exit status (-1: it did not end within 8 s).
    static int run(const QString &program, const QStringList &arguments, QByteArray *out = nullptr,
                   QByteArray *err = nullptr, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(8000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (out)
            *out = process.readAllStandardOutput().trimmed();
        if (err)
            *err = process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The processes running the copy's kelvo.
    QList<qint64> running() const
    {
        QList<qint64> pids;
        for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            if (pid.toLongLong() > 0 && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == kelvo)
                pids << pid.toLongLong();
        }
        return pids;
    }

    ~PortableCopy()
    {
        for (const qint64 pid : running())
            ::kill(pid_t(pid), SIGKILL);
    }
};

// A loopback UDP port free now, for a listener of the test's own; 0 when none could be had.
quint16 freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress::LocalHost, 0) ? probe.localPort() : 0;
}

} // namespace

void TestRemote::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
    QDir().mkpath(m_home.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.filePath(QStringLiteral("runtime"))));
}

void TestRemote::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QByteArray>("request");
    using A = CommandLine::Action;
    QTest::newRow("plain start") << QStringList{} << int(A::Run) << 0 << QByteArray("raise");
    QTest::newRow("--fire 1") << QStringList{"--fire", "1"} << int(A::Fire) << 1 << QByteArray("fire 1");
    QTest::newRow("--fire=12") << QStringList{"--fire=12"} << int(A::Fire) << 12 << QByteArray("fire 12");
    QTest::newRow("--stop") << QStringList{"--stop"} << int(A::Stop) << 0 << QByteArray("stop");
    QTest::newRow("--fade") << QStringList{"--fade"} << int(A::Fade) << 0 << QByteArray("fade");
    QTest::newRow("--state") << QStringList{"--state"} << int(A::State) << 0 << QByteArray("state");
    QTest::newRow("--help") << QStringList{"--help"} << int(A::Help) << 0 << QByteArray("raise");
    QTest::newRow("--version") << QStringList{"--version"} << int(A::Version) << 0 << QByteArray("raise");
    QTest::newRow("--fire 13") << QStringList{"--fire", "13"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("--fire 0") << QStringList{"--fire", "0"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("--fire x") << QStringList{"--fire", "x"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("--fire with no slot") << QStringList{"--fire"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("two commands") << QStringList{"--stop", "--state"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("unknown option") << QStringList{"--play"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("a stray argument") << QStringList{"song.mp3"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("--page 3") << QStringList{"--page", "3"} << int(A::Page) << 0 << QByteArray("page 3");
    QTest::newRow("--page 3 --fire 2") << QStringList{"--page", "3", "--fire", "2"} << int(A::Fire) << 2
                                       << QByteArray("fire 3 2");
    QTest::newRow("--page 100") << QStringList{"--page", "100"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("--page with --stop") << QStringList{"--page", "2", "--stop"} << int(A::Bad) << 0
                                        << QByteArray("raise");
    QTest::newRow("a show file") << QStringList{"/shows/act one.kelvo"} << int(A::Run) << 0
                                 << QByteArray("open /shows/act one.kelvo");
    QTest::newRow("a show file with a command")
        << QStringList{"a.kelvo", "--fire", "1"} << int(A::Bad) << 0 << QByteArray("raise");
    QTest::newRow("two show files") << QStringList{"a.kelvo", "b.kelvo"} << int(A::Bad) << 0 << QByteArray("raise");
}

void TestRemote::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(int, slot);
    QFETCH(QByteArray, request);
    const CommandLine command = CommandLine::parse(QStringList{"kelvo"} + arguments, QStringLiteral("2.0"));
    QCOMPARE(int(command.action), action);
    QCOMPARE(command.slot, slot);
    QCOMPARE(command.request(), request);
    if (command.action == CommandLine::Action::Bad)
        QVERIFY(command.text.contains(QLatin1String("Usage: kelvo"))); // a usage line with the reason
    QVERIFY(CommandLine::parse({"kelvo", "--new-instance", "--fire", "2"}, QStringLiteral("2.0")).newInstance);
}

void TestRemote::instanceRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("fire") << QByteArray("fire 4\n") << QByteArray("ok") << QStringList{"fire:4"};
    QTest::newRow("fire out of range") << QByteArray("fire 13") << QByteArray("error slots are 1 to 12")
                                       << QStringList{};
    QTest::newRow("stop") << QByteArray("stop") << QByteArray("ok") << QStringList{"stop"};
    QTest::newRow("fade") << QByteArray("fade") << QByteArray("ok") << QStringList{"fade"};
    QTest::newRow("raise") << QByteArray("raise") << QByteArray("ok") << QStringList{"raise"};
    QTest::newRow("state") << QByteArray("state") << QByteArray("3 12.50 60.00 2 1") << QStringList{};
    QTest::newRow("page") << QByteArray("page 3") << QByteArray("ok") << QStringList{"page:3"};
    QTest::newRow("page 0") << QByteArray("page 0") << QByteArray("error pages are 1 to 99") << QStringList{};
    QTest::newRow("page 100") << QByteArray("page 100") << QByteArray("error pages are 1 to 99") << QStringList{};
    QTest::newRow("fire on a page") << QByteArray("fire 2 5") << QByteArray("ok") << QStringList{"page:2", "fire:5"};
    QTest::newRow("fire on a page, slot 13")
        << QByteArray("fire 2 13") << QByteArray("error slots are 1 to 12") << QStringList{};
    QTest::newRow("open a show, spaces and all")
        << QByteArray("open /tmp/my show.kelvo\n") << QByteArray("ok") << QStringList{"open:/tmp/my show.kelvo"};
    QTest::newRow("open a relative path")
        << QByteArray("open show.kelvo") << QByteArray("error unknown request") << QStringList{};
    QTest::newRow("unknown") << QByteArray("play 1") << QByteArray("error unknown request") << QStringList{};
    QTest::newRow("empty") << QByteArray("") << QByteArray("error unknown request") << QStringList{};
}

void TestRemote::instanceRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, calls);
    RecordingTarget target;
    QCOMPARE(InstanceLink::answer(request, target), answer);
    QCOMPARE(target.calls, calls);
}

void TestRemote::oscDispatch_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("reply"); // the state reply read back; empty for none
    QTest::addColumn<bool>("complains");
    QTest::newRow("fire 1") << oscMessage("/kelvo/fire", "i", 1) << QStringList{"fire:1"} << QString() << false;
    QTest::newRow("fire 12") << oscMessage("/kelvo/fire", "i", 12) << QStringList{"fire:12"} << QString() << false;
    QTest::newRow("fire 0") << oscMessage("/kelvo/fire", "i", 0) << QStringList{} << QString() << true;
    QTest::newRow("fire 13") << oscMessage("/kelvo/fire", "i", 13) << QStringList{} << QString() << true;
    QTest::newRow("fire as a float") << oscMessage("/kelvo/fire", "f", 1.0) << QStringList{} << QString() << true;
    QTest::newRow("fire as a string") << oscMessage("/kelvo/fire", "s", "1") << QStringList{} << QString() << true;
    QTest::newRow("fire with nothing") << oscMessage("/kelvo/fire", "") << QStringList{} << QString() << true;
    QTest::newRow("stop") << oscMessage("/kelvo/stop", "") << QStringList{"stop"} << QString() << false;
    QTest::newRow("stop with an argument") << oscMessage("/kelvo/stop", "i", 1) << QStringList{} << QString() << true;
    QTest::newRow("fade") << oscMessage("/kelvo/fade", "") << QStringList{"fade"} << QString() << false;
    QTest::newRow("stop all") << oscMessage("/kelvo/stopall", "") << QStringList{"stop-all"} << QString() << false;
    QTest::newRow("what plays") << oscMessage("/kelvo/playing", "") << QStringList{}
                                << QStringLiteral("/kelvo/playing types iiffsiiffs") << false;
    QTest::newRow("what plays, with an argument")
        << oscMessage("/kelvo/playing", "i", 1) << QStringList{} << QString() << true;
    QTest::newRow("fade all") << oscMessage("/kelvo/fadeall", "") << QStringList{"fade-all"} << QString() << false;
    QTest::newRow("GO") << oscMessage("/kelvo/go", "") << QStringList{"go"} << QString() << false;
    QTest::newRow("GO with an argument") << oscMessage("/kelvo/go", "i", 1) << QStringList{} << QString() << true;
    QTest::newRow("stop all with an argument")
        << oscMessage("/kelvo/stopall", "i", 1) << QStringList{} << QString() << true;
    QTest::newRow("state") << oscMessage("/kelvo/state", "") << QStringList{}
                           << QStringLiteral("/kelvo/state 3 12.5 60 2 1") << false;
    QTest::newRow("page 2") << oscMessage("/kelvo/page", "i", 2) << QStringList{"page:2"} << QString() << false;
    QTest::newRow("page 0") << oscMessage("/kelvo/page", "i", 0) << QStringList{} << QString() << true;
    QTest::newRow("page as a float") << oscMessage("/kelvo/page", "f", 2.0) << QStringList{} << QString() << true;
    QTest::newRow("fire page 3 slot 2") << oscMessage("/kelvo/fire", "ii", 3, 2) << QStringList{"page:3", "fire:2"}
                                        << QString() << false;
    QTest::newRow("fire page 100") << oscMessage("/kelvo/fire", "ii", 100, 2) << QStringList{} << QString() << true;
    QTest::newRow("fire page 2 slot 13") << oscMessage("/kelvo/fire", "ii", 2, 13) << QStringList{} << QString()
                                         << true;
    QTest::newRow("unknown path") << oscMessage("/kelvo/open", "s", "/etc/passwd") << QStringList{} << QString()
                                  << true;
    QTest::newRow("a bundle") << QByteArray("#bundle\0\0\0\0\0\0\0\0\1", 16) + oscMessage("/kelvo/stop", "")
                              << QStringList{} << QString() << true;
    QTest::newRow("oversized") << oscMessage("/kelvo/fire", "si", QByteArray(1100, 'a').constData(), 1) << QStringList{}
                               << QString() << true;
    QTest::newRow("not OSC") << QByteArray("fire 1\n") << QStringList{} << QString() << true;
    QTest::newRow("empty") << QByteArray() << QStringList{} << QString() << true;
}

void TestRemote::oscDispatch()
{
    QFETCH(QByteArray, packet);
    QFETCH(QStringList, calls);
    QFETCH(QString, reply);
    QFETCH(bool, complains);
    RecordingTarget target;
    const OscDispatch::Outcome outcome = OscDispatch::handle(packet, target);
    QCOMPARE(target.calls, calls);
    QCOMPARE(outcome.reply ? stateText(*outcome.reply) : QString(), reply);
    QCOMPARE(!outcome.complaint.isEmpty(), complains);
}

void TestRemote::oscFuzzInputsReplayed_data()
{
    QTest::addColumn<QString>("file");
    for (const QString &file : fuzzInputs("osc"))
        QTest::newRow(qPrintable(QFileInfo(file).fileName())) << file;
}

void TestRemote::oscFuzzInputsReplayed()
{
    QFETCH(QString, file);
    RecordingTarget target;
    const OscDispatch::Outcome outcome = OscDispatch::handle(readBytes(file), target);
    QVERIFY(target.calls.size() <= 2); // a page, and a fire on it
    QVERIFY(!target.calls.contains(QStringLiteral("raise")));
    // The two queries' replies alone: the state, and what plays.
    QVERIFY(!outcome.reply || stateText(*outcome.reply) == QLatin1String("/kelvo/state 3 12.5 60 2 1")
            || stateText(*outcome.reply) == QLatin1String("/kelvo/playing types iiffsiiffs"));
}

void TestRemote::oscFromLoopback()
{
    // A port of the test's own, free now.
    const quint16 port = freeUdpPort();
    QVERIFY(port != 0);
    {
        Settings settings;
        settings.setOscEnabled(true);
    }
    QFile conf(Settings().fileName());
    QVERIFY(conf.open(QIODevice::Append));
    conf.write(QStringLiteral("[osc]\nport=%1\n").arg(port).toUtf8());
    conf.close();
    PlayerFixture setup;
    std::unique_ptr<Form1> window = setup.makeWindow(PlayerFixture::records(3, "/m/t%1.mp3", "T%1"));
    setup.player->durations.insert(QStringLiteral("/m/t0.mp3"), 30);
    Launch launch({"kelvo", "--new-instance"}, setup.folder(), QStringLiteral("2.0"));
    PlayerCommands commands(*window);
    RemoteControl remote(commands, launch, window->contextMenu());
    QVERIFY2(remote.oscAction()->isChecked(), qPrintable(remote.oscAction()->text()));
    QVERIFY(remote.oscAction()->text().contains(QString::number(port)));

    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
    sender.writeDatagram(oscMessage("/kelvo/fire", "i", 1), QHostAddress::LocalHost, port);
    QTRY_COMPARE(setup.player->calls, QStringList{"put:/m/t0.mp3"});
    sender.writeDatagram(oscMessage("/kelvo/state", ""), QHostAddress::LocalHost, port);
    QTRY_VERIFY(sender.hasPendingDatagrams());
    QCOMPARE(stateText(sender.receiveDatagram().data()), QStringLiteral("/kelvo/state 1 30 30 1 1"));
    sender.writeDatagram(oscMessage("/kelvo/stop", ""), QHostAddress::LocalHost, port);
    QTRY_COMPARE(setup.player->calls.last(), QStringLiteral("stop"));
    QVERIFY(!window->playingTrack());

    // A press that waits unread for more than a second (the window hung meanwhile) is dropped;
    // the next one, read at once, plays.
    setup.player->calls.clear();
    sender.writeDatagram(oscMessage("/kelvo/fire", "i", 1), QHostAddress::LocalHost, port);
    QThread::msleep(1300); // the user-interface thread busy, no event handled
    QTest::qWait(200);
    QCOMPARE(setup.player->calls, QStringList{});
    sender.writeDatagram(oscMessage("/kelvo/fire", "i", 1), QHostAddress::LocalHost, port);
    QTRY_COMPARE(setup.player->calls, QStringList{"put:/m/t0.mp3"});
    commands.stop();

    // The port taken by someone else: the menu says so, and the rest of Kelvo works.
    remote.oscAction()->trigger(); // off
    QUdpSocket squatter;
    QVERIFY(squatter.bind(QHostAddress::LocalHost, port));
    remote.oscAction()->trigger(); // on again
    QVERIFY2(remote.oscAction()->text().contains(QLatin1String("in use")), qPrintable(remote.oscAction()->text()));
    commands.fire(2);
    QCOMPARE(window->playingTrack(), std::optional<int>(1));
    Settings().setOscEnabled(false);
}

void TestRemote::commandsUnderLoad()
{
    // Commands arriving 200 times a second for 5 s, through an open editor and saves: the
    // window's state is always one clicks could have made.
    PlayerFixture setup;
    std::unique_ptr<Form1> window = setup.showWindow(PlayerFixture::records(12, "/m/t%1.mp3", "T%1"));
    for (int n = 0; n < 12; ++n)
        setup.player->durations.insert(QStringLiteral("/m/t%1.mp3").arg(n), 5 + n);
    Launch launch({"kelvo", "--new-instance"}, setup.folder(), QStringLiteral("2.0"));
    PlayerCommands remote(*window);
    QRandomGenerator random(7);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i) {
        if (i == 300)
            window->form2()->showModal(); // the editor opens and stays open a while
        if (i == 600)
            window->form2()->close();
        if (i % 150 == 75) { // a save of the same list while commands fly
            TrackList tracks{};
            const QList<TrackSlot> records = window->trackListStore()->load();
            for (int n = 0; n < records.size(); ++n)
                tracks[n] = records[n];
            QString error;
            QVERIFY2(window->trackListStore()->save(tracks, &error), qPrintable(error));
        }
        // Half through OSC packets, half as the instance socket hands them over.
        const int slot = int(random.bounded(14)); // 0 and 13 too
        switch (random.bounded(5)) {
        case 0:
            OscDispatch::handle(oscMessage("/kelvo/fire", "i", slot), remote);
            break;
        case 1:
            InstanceLink::answer("fire " + QByteArray::number(slot), remote);
            break;
        case 2:
            OscDispatch::handle(oscMessage("/kelvo/stop", ""), remote);
            break;
        case 3:
            InstanceLink::answer("fade", remote);
            setup.player->faded = random.bounded(2) == 1;
            break;
        default:
            OscDispatch::handle(oscMessage("/kelvo/state", ""), remote);
            break;
        }
        setup.player->playedSeconds += 0.01;
        QTest::qWait(5); // 200 a second, for 5 s
        const std::optional<int> playing = window->playingTrack();
        for (int n = 0; n < 12; ++n) {
            const quint32 colour = window->trackButton(n)->backColor();
            const bool blinking = colour == Colours::Red || colour == Colours::Blue;
            QVERIFY2(!blinking || playing == n,
                     qPrintable(QStringLiteral("command %1: button %2 blinks").arg(i).arg(n)));
        }
        if (playing)
            QVERIFY(window->trackButton(*playing)->isEnabled());
    }
    QVERIFY(clock.elapsed() < 60000);
}

void TestRemote::commandSurfaceTellsItsControllers_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("changes"); // as a controller hears them, the countdown apart
    QTest::newRow("a start") << QStringList{"fire 1"} << QStringList{"Started"};
    QTest::newRow("a stop") << QStringList{"fire 1", "stop"} << QStringList{"Started", "Stopped"};
    QTest::newRow("a second press stops") << QStringList{"fire 1", "fire 1"} << QStringList{"Started", "Stopped"};
    QTest::newRow("a locked slot does nothing") << QStringList{"fire 1", "fire 2"} << QStringList{"Started"};
    QTest::newRow("an end") << QStringList{"fire 1", "end"} << QStringList{"Started", "Ended"};
    QTest::newRow("a fade, then silence")
        << QStringList{"fire 1", "fade", "faded"} << QStringList{"Started", "FadeBegun", "Stopped"};
    QTest::newRow("a fade with nothing playing") << QStringList{"fade"} << QStringList{};
    QTest::newRow("a save") << QStringList{"save"} << QStringList{"Carts"};
    QTest::newRow("idle") << QStringList{"wait"} << QStringList{};
}

void TestRemote::commandSurfaceTellsItsControllers()
{
    // A controller (a pad's light, a tablet's countdown) follows the surface's signal alone.
    QFETCH(QStringList, steps);
    QFETCH(QStringList, changes);
    PlayerFixture setup;
    std::unique_ptr<Form1> window = setup.makeWindow(PlayerFixture::records(3, "/m/t%1.mp3", "T%1"));
    setup.player->durations.insert(QStringLiteral("/m/t0.mp3"), 30);
    PlayerCommands commands(*window);
    QStringList heard;
    int remaining = 0;
    connect(&commands, &CommandSurface::changed, this, [&](CommandSurface::Change what) {
        if (what == CommandSurface::Change::Remaining)
            ++remaining;
        else
            heard << QString::fromLatin1(QMetaEnum::fromType<CommandSurface::Change>().valueToKey(int(what)));
    });
    QElapsedTimer clock;
    clock.start();
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("fire ")))
            commands.fire(step.mid(5).toInt());
        else if (step == QLatin1String("stop"))
            commands.stop();
        else if (step == QLatin1String("fade"))
            commands.fade();
        else if (step == QLatin1String("faded"))
            setup.player->faded = true;
        else if (step == QLatin1String("end"))
            setup.player->playedSeconds = 30;
        else if (step == QLatin1String("save")) {
            TrackList tracks{};
            tracks[0] = {QStringLiteral("/m/new.mp3"), QStringLiteral("New")};
            QString error;
            QVERIFY2(window->trackListStore()->save(tracks, &error), qPrintable(error));
        }
        QTest::qWait(600); // two ticks or more
    }
    QCOMPARE(heard, changes);
    // The countdown from the window's own tick while a cart plays (four a second at most), and
    // nothing at all once nothing plays.
    QVERIFY2(remaining <= int(clock.elapsed() / 250) + 1, qPrintable(QString::number(remaining)));
    QCOMPARE(remaining > 0, changes.value(0) == QLatin1String("Started"));
    if (!window->playingTrack()) {
        const int before = remaining + int(heard.size());
        QTest::qWait(600);
        QCOMPARE(remaining + int(heard.size()), before);
    }
    const SurfaceState state = commands.state();
    QCOMPARE(state.slot, window->playingTrack() ? 1 : 0);
    QCOMPARE(state.carts[0].caption, window->trackButton(0)->text());
    QCOMPARE(state.carts[0].loaded, true);
    QCOMPARE(state.carts[11].loaded, false);
}

void TestRemote::startsHandOverToTheRunningOne()
{
    // The real program, started as a desktop shortcut would: a portable copy with its list.
    PortableCopy copy;
    QVERIFY(copy.make());
    const QString &program = copy.kelvo;
    const auto run = [&program](const QStringList &arguments, QByteArray *out = nullptr) {
        return PortableCopy::run(program, arguments, out);
    };
    QCOMPARE(run({"--fire", "13"}), 2);
    QCOMPARE(run({"--fire", "x"}), 2);
    QCOMPARE(run({"--stop"}), 1); // none runs

    QProcess first;
    first.start(program, {});
    QVERIFY(first.waitForStarted());
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0, 5000);
    QCOMPARE(state, QByteArray("0 0.00 0.00 0 1"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run({}), 0); // a second start raises the first and ends
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    SinkRecorder recorder;
    const bool recording = audioServerAvailable() && recorder.start();
    QCOMPARE(run({"--fire", "1"}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0 && state.startsWith("1 "), 3000);
    QTest::qWait(500);
    QCOMPARE(run({"--stop"}), 0);
    QCOMPARE(run({"--state"}, &state), 0);
    QCOMPARE(state, QByteArray("0 0.00 0.00 0 1"));
    if (recording) {
        const QList<qint16> samples = recorder.stop();
        QVERIFY2(soundSpan(samples).seconds() > 0.3, "slot 1 was not heard");
    }

    // Killed: its socket stays behind, and must not block the next start.
    first.kill();
    first.waitForFinished();
    QCOMPARE(run({"--state"}), 1);
    QProcess started;
    started.start(program, {"--fire", "1"}); // none runs: it starts one that plays slot 1
    QVERIFY(started.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0 && state.startsWith("1 "), 5000);
    started.kill();
    started.waitForFinished();
}

void TestRemote::diagnosticsAreRateLimited_data()
{
    QTest::addColumn<QStringList>("events"); // "peer@seconds", each a line "junk from peer"
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("one line per peer in ten seconds")
        << QStringList{"a@0", "a@1", "a@9.9", "a@10"} << 2 << "junk from a (and 2 more like it before)";
    QTest::newRow("peers apart") << QStringList{"a@0", "b@0", "a@1", "b@2"} << 2 << "junk from b";
    QTest::newRow("quiet again: no count") << QStringList{"a@0", "a@10", "a@30"} << 3 << "junk from a";
    QStringList many;
    for (int i = 0; i < 300; ++i)
        many << QStringLiteral("p%1@0").arg(i);
    QTest::newRow("more peers than it keeps share one line")
        << many << int(RateLimiter::kMostKeys) + 1 << "junk from p256";
}

void TestRemote::diagnosticsAreRateLimited()
{
    QFETCH(QStringList, events);
    QFETCH(int, written);
    QFETCH(QString, lastLine);
    RateLimiter limiter;
    QStringList lines;
    for (const QString &event : events) {
        const QString peer = event.section(QLatin1Char('@'), 0, 0);
        const auto at = qint64(event.section(QLatin1Char('@'), 1).toDouble() * 1e9);
        if (const std::optional<QString> line = limiter.admit(QStringLiteral("osc\n") + peer,
                                                              QStringLiteral("junk from ") + peer, at))
            lines << *line;
    }
    QCOMPARE(lines.size(), written);
    QCOMPARE(lines.last(), lastLine);
}

void TestRemote::floodWithStderrBlocked()
{
    // Junk OSC packets while the program's stderr is a pipe nobody reads: the window and the
    // command line go on working, and the pipe gets a few lines, not one per packet.
    const quint16 port = freeUdpPort();
    QVERIFY(port != 0);
    PortableCopy copy;
    QVERIFY(copy.make());
    const QString &program = copy.kelvo;
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("kelvo"))));
    QVERIFY(writeBytes(config.filePath(QStringLiteral("kelvo/kelvo.conf")),
                       QStringLiteral("[osc]\nenabled=true\nport=%1\n").arg(port).toUtf8()));
    int pipeEnds[2];
    QCOMPARE(::pipe2(pipeEnds, O_CLOEXEC), 0);
    const auto closePipe = qScopeGuard([&pipeEnds] {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
    });
    QProcess running;
    running.setProcessEnvironment(env);
    running.setStandardOutputFile(QProcess::nullDevice());
    const int stderrEnd = pipeEnds[1];
    running.setChildProcessModifier([stderrEnd] { ::dup2(stderrEnd, STDERR_FILENO); });
    running.start(program, {});
    QVERIFY(running.waitForStarted());
    const auto stopRunning = qScopeGuard([&running] {
        running.kill();
        running.waitForFinished();
    });
    const auto run = [&](const QStringList &arguments, QByteArray *out = nullptr) {
        return PortableCopy::run(program, arguments, out, nullptr, env);
    };
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0, 5000);

    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
    QRandomGenerator random(11);
    for (int i = 0; i < 5000; ++i) {
        QByteArray junk(int(random.bounded(1, 200)), Qt::Uninitialized);
        for (char &c : junk)
            c = char(random.bounded(256));
        sender.writeDatagram(junk, QHostAddress::LocalHost, port);
        if (i % 500 == 499)
            QTest::qWait(10); // the socket's receive buffer is not the limit tried here
    }
    QTest::qWait(500);
    QCOMPARE(run({"--fire", "1"}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0 && state.startsWith("1 "), 3000);
    QCOMPARE(run({"--stop"}), 0);
    int pending = 0;
    QCOMPARE(::ioctl(pipeEnds[0], FIONREAD, &pending), 0);
    QVERIFY2(pending > 0 && pending < 4096, qPrintable(QStringLiteral("%1 bytes on stderr").arg(pending)));
}

void TestRemote::socketNamesAgree_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("abc") << QByteArray("abc");
    QTest::newRow("55 bytes: one block with its length") << QByteArray(55, 'x');
    QTest::newRow("56 bytes: the length needs a second block") << QByteArray(56, 'x');
    QTest::newRow("64 bytes") << QByteArray(64, 'y');
    QTest::newRow("a path with UTF-8") << QByteArray("/home/zoë/Kelvo Shows/Quorbel");
    QTest::newRow("10,000 bytes") << QByteArray(10000, '\xe9');
}

void TestRemote::socketNamesAgree()
{
    // kelvoctl names the socket with a digest of its own; it must be the program's.
    QFETCH(QByteArray, data);
    QCOMPARE(QByteArray::fromStdString(sha256Hex(data.toStdString())),
             QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

void TestRemote::kelvoctlArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status"); // with no Kelvo running
    QTest::addColumn<QString>("says");
    QTest::newRow("nothing") << QStringList{} << 2 << "a command is needed";
    QTest::newRow("fire with no slot") << QStringList{"fire"} << 2 << "fire needs a slot";
    QTest::newRow("fire 0") << QStringList{"fire", "0"} << 2 << "slots are 1 to 12";
    QTest::newRow("fire 13") << QStringList{"fire", "13"} << 2 << "slots are 1 to 12";
    QTest::newRow("fire 1x") << QStringList{"fire", "1x"} << 2 << "slots are 1 to 12";
    QTest::newRow("fire 99999999999999999999")
        << QStringList{"fire", "99999999999999999999"} << 2 << "slots are 1 to 12";
    QTest::newRow("stop with an argument") << QStringList{"stop", "now"} << 2 << "takes no argument";
    QTest::newRow("unknown") << QStringList{"jump"} << 2 << "unknown command";
    QTest::newRow("stop, none running") << QStringList{"stop"} << 1 << "no Kelvo is running";
    QTest::newRow("fade, none running") << QStringList{"fade"} << 1 << "no Kelvo is running";
    QTest::newRow("state, none running") << QStringList{"state"} << 1 << "no Kelvo is running";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "";
}

void TestRemote::kelvoctlArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, says);
    PortableCopy copy;
    QVERIFY(copy.make());
    QByteArray out, err;
    QCOMPARE(PortableCopy::run(copy.kelvoctl, arguments, &out, &err), status);
    QVERIFY2(err.contains(says.toUtf8()), err.constData());
    QVERIFY(err.count('\n') <= 2);
    if (status == 0)
        QVERIFY(out.startsWith("kelvoctl") || out.startsWith("Usage: kelvoctl"));
    QVERIFY(copy.running().isEmpty()); // nothing started
}

void TestRemote::kelvoctlDrivesTheRunningOne()
{
    // kelvoctl as a desktop shortcut or a control desk uses it: none running, "fire 1" starts
    // Kelvo playing slot 1; then state, stop and fire reach that one.
    PortableCopy copy;
    QVERIFY(copy.make());
    SinkRecorder recorder;
    const bool recording = audioServerAvailable() && recorder.start();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"fire", "1"}), 0);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed()))); // it does not wait for Kelvo
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(PortableCopy::run(copy.kelvoctl, {"state"}, &state) == 0 && state.startsWith("1 "), 8000);
    QCOMPARE(copy.running().size(), 1);
    QCOMPARE(PortableCopy::run(copy.kelvo, {"--state"}, &state), 0); // the program's own command agrees
    QVERIFY(state.startsWith("1 "));
    QTest::qWait(300);
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"stop"}), 0);
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"state"}, &state), 0);
    QCOMPARE(state, QByteArray("0 0.00 0.00 0 1"));
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"fire", "1"}), 0);
    QTRY_VERIFY(PortableCopy::run(copy.kelvoctl, {"state"}, &state) == 0 && state.startsWith("1 "));
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"fade"}), 0);
    QCOMPARE(copy.running().size(), 1); // never a second one
    if (recording)
        QVERIFY2(soundSpan(recorder.stop()).seconds() > 0.2, "slot 1 was not heard");
}

void TestRemote::lateRequestsAreRefused_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("answer"); // how it begins
    QTest::addColumn<QStringList>("calls");
    const qint64 now = monotonicMs();
    QTest::newRow("unstamped") << QByteArray("fire 2") << QByteArray("ok") << QStringList{"fire:2"};
    QTest::newRow("stamped now") << InstanceLink::stamped("fire 2", now) << QByteArray("ok") << QStringList{"fire:2"};
    QTest::newRow("stamped 0.9 s ago") << InstanceLink::stamped("stop", now - 900) << QByteArray("ok")
                                       << QStringList{"stop"};
    QTest::newRow("stamped 1.5 s ago") << InstanceLink::stamped("fire 2", now - 1500) << QByteArray("late")
                                       << QStringList{};
    QTest::newRow("a page, 3 s ago") << InstanceLink::stamped("fire 2 3", now - 3000) << QByteArray("late")
                                     << QStringList{};
    QTest::newRow("a stamp that is no time") << QByteArray("@soon fire 2") << QByteArray("error") << QStringList{};
    QTest::newRow("a stamp and nothing else") << QByteArray("@12") << QByteArray("error") << QStringList{};
    QTest::newRow("stop all") << InstanceLink::stamped("stop-all", now) << QByteArray("ok") << QStringList{"stop-all"};
    QTest::newRow("fade all") << QByteArray("fade-all") << QByteArray("ok") << QStringList{"fade-all"};
    QTest::newRow("GO") << InstanceLink::stamped("go", now) << QByteArray("ok") << QStringList{"go"};
    QTest::newRow("GO, late") << InstanceLink::stamped("go", now - 1500) << QByteArray("late") << QStringList{};
    QTest::newRow("next, no running order") << QByteArray("next") << QByteArray("none") << QStringList{};
    QTest::newRow("stop all, late") << InstanceLink::stamped("stop-all", now - 2000) << QByteArray("late")
                                    << QStringList{};
}

void TestRemote::lateRequestsAreRefused()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, calls);
    RecordingTarget target;
    QVERIFY(InstanceLink::answerArrived(line, monotonicMs(), target).startsWith(answer));
    QCOMPARE(target.calls, calls);
}

void TestRemote::pressDuringAHangNeverPlays_data()
{
    QTest::addColumn<QString>("program"); // which sends the press: "kelvoctl" or "kelvo"
    QTest::newRow("kelvoctl fire 1") << "kelvoctl";
    QTest::newRow("kelvo --fire 1") << "kelvo";
}

void TestRemote::pressDuringAHangNeverPlays()
{
    // Kelvo stopped for 3 s (SIGSTOP), a press made meanwhile: the sender says it failed, in
    // one line, and once Kelvo goes on the cart does not start.
    QFETCH(QString, program);
    PortableCopy copy;
    QVERIFY(copy.make());
    QProcess first;
    first.start(copy.kelvo, {});
    QVERIFY(first.waitForStarted());
    const auto stopFirst = qScopeGuard([&first] {
        ::kill(pid_t(first.processId()), SIGCONT);
        first.kill();
        first.waitForFinished();
    });
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(PortableCopy::run(copy.kelvoctl, {"state"}, &state) == 0, 8000);
    QCOMPARE(::kill(pid_t(first.processId()), SIGSTOP), 0);
    QElapsedTimer clock;
    clock.start();
    // Its own thread: the sender below is waited for without an event loop.
    std::thread resume([pid = pid_t(first.processId())] {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        ::kill(pid, SIGCONT);
    });
    const auto joined = qScopeGuard([&resume] { resume.join(); });
    QByteArray out, err;
    const int status = program == QLatin1String("kelvoctl")
        ? PortableCopy::run(copy.kelvoctl, {"fire", "1"}, &out, &err)
        : PortableCopy::run(copy.kelvo, {"--fire", "1"}, &out, &err);
    QCOMPARE(status, 1);
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() > 3000, 6000);
    QTRY_VERIFY_WITH_TIMEOUT(PortableCopy::run(copy.kelvoctl, {"state"}, &state) == 0, 5000);
    QTest::qWait(500); // whatever it took in while stopped has been read by now
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"state"}, &state), 0);
    QVERIFY2(state.startsWith("0 "), state.constData());
    QCOMPARE(copy.running().size(), 1); // and no second one was started
    // Going on, it answers at once again.
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"fire", "1"}), 0);
    QTRY_VERIFY(PortableCopy::run(copy.kelvoctl, {"state"}, &state) == 0 && state.startsWith("1 "));
}

void TestRemote::showPagesFromTheCommandLine()
{
    // A show of three pages, a tone of its own on each: the program opens it from its command
    // line, and commands pick the page and the cart on it.
    PortableCopy copy;
    QVERIFY(copy.make());
    const QDir folder(copy.folder.path());
    QVERIFY(folder.mkpath(QStringLiteral("show/tones")));
    for (const int frequency : {300, 600, 900}) {
        QList<qint16> tone;
        for (int i = 0; i < 44100 * 3 / 2; ++i)
            tone << qint16(10000 * std::sin(2 * M_PI * frequency * i / 44100.0));
        QVERIFY(writeMonoWav(folder.filePath(QStringLiteral("show/tones/%1.wav").arg(frequency)), tone, 44100));
    }
    const QString showFile = folder.filePath(QStringLiteral("show/three.kelvo"));
    QVERIFY(writeBytes(showFile, R"({"kelvo-show": 1, "pages": [
        {"name": "Low", "carts": [{"file": "tones/300.wav", "caption": "Low"}]},
        {"name": "Middle", "carts": [{"file": "tones/600.wav", "caption": "Middle"}]},
        {"name": "High", "carts": [{}, {"file": "tones/900.wav", "caption": "High"}]}]})"));
    const auto cleanup = qScopeGuard([] { Settings().setLastShow(QString()); });
    QProcess first;
    first.start(copy.kelvo, {showFile});
    QVERIFY(first.waitForStarted());
    const auto stopFirst = qScopeGuard([&first] {
        first.terminate();
        if (!first.waitForFinished(5000))
            first.kill();
    });
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(PortableCopy::run(copy.kelvo, {"--state"}, &state) == 0, 8000);
    QCOMPARE(state, QByteArray("0 0.00 0.00 0 1"));

    // What the commands made heard (its frequency; 0 without a server), or -1 when the state
    // never said playing.
    const auto heard = [&](const QStringList &commands, const QByteArray &playing, const QByteArray &pages) -> double {
        SinkRecorder recorder;
        const bool recording = audioServerAvailable() && recorder.start();
        for (const QString &command : commands) {
            if (PortableCopy::run(copy.kelvo, command.split(QLatin1Char(' '))) != 0)
                return -1;
        }
        QByteArray now;
        QElapsedTimer waited;
        waited.start();
        while (!(PortableCopy::run(copy.kelvo, {"--state"}, &now) == 0 && now.startsWith(playing)
                 && now.endsWith(pages))) {
            if (waited.elapsed() > 5000)
                return -1;
            QTest::qWait(50);
        }
        QTest::qWait(600);
        PortableCopy::run(copy.kelvo, {"--stop"});
        if (!recording)
            return 0.0;
        const QList<qint16> samples = recorder.stop();
        const SoundSpan span = soundSpan(samples);
        return span.first < 0 ? 0.0 : toneFrequency(samples, span);
    };
    // Page 2 shown, then slot 1 there: page 2's tone.
    const double second = heard({"--page 2", "--fire 1"}, "1 ", " 2 2");
    QVERIFY(second >= 0);
    QCOMPARE(PortableCopy::run(copy.kelvo, {"--state"}, &state), 0);
    QVERIFY2(state.endsWith(" 0 2"), state.constData());
    const double third = heard({"--page 3 --fire 2"}, "2 ", " 3 3");
    QVERIFY(third >= 0);
    QCOMPARE(PortableCopy::run(copy.kelvo, {"--state"}, &state), 0);
    QVERIFY2(state.endsWith(" 0 3"), state.constData());
    QCOMPARE(PortableCopy::run(copy.kelvoctl, {"page", "1"}), 0);
    QCOMPARE(PortableCopy::run(copy.kelvo, {"--state"}, &state), 0);
    QVERIFY2(state.endsWith(" 0 1"), state.constData());
    if (!audioServerAvailable())
        QSKIP("no sound server: the pages were followed, the tones not heard");
    QVERIFY2(qAbs(second - 600) < 15, qPrintable(QString::number(second)));
    QVERIFY2(qAbs(third - 900) < 20, qPrintable(QString::number(third)));
}

void TestRemote::endsCleanlyOnSignals_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestRemote::endsCleanlyOnSignals()
{
    // A logout, systemctl stop or kill mid-track ends it through its clean exit.
    QFETCH(int, signalNumber);
    PortableCopy copy;
    QVERIFY(copy.make());
    QProcess running;
    running.start(copy.kelvo, {"--fire", "1"});
    QVERIFY(running.waitForStarted());
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(PortableCopy::run(copy.kelvo, {"--state"}, &state) == 0 && state.startsWith("1 "), 8000);
    const QString socket = InstanceLink::socketPath(TrackListFile::pathIn(copy.folder.path()));
    QVERIFY(QFileInfo::exists(socket));
    ::kill(pid_t(running.processId()), signalNumber);
    QVERIFY(running.waitForFinished(5000));
    QCOMPARE(running.exitStatus(), QProcess::NormalExit);
    QCOMPARE(running.exitCode(), 0);
    QVERIFY2(!QFileInfo::exists(socket), "the socket was left behind");
    QVERIFY2(!QFileInfo::exists(InstanceLink::lockPath(socket)), "the lock was left behind");
    if (audioServerAvailable()) {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
        QVERIFY(pactl.waitForFinished(5000));
        QVERIFY(!pactl.readAllStandardOutput().contains("application.name = \"Kelvo\""));
    }
}

void TestRemote::saysWhatIsMissing_data()
{
    QTest::addColumn<QStringList>("unset");
    QTest::addColumn<QStringList>("set"); // NAME=value
    QTest::newRow("no display at all") << QStringList{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"} << QStringList{};
    QTest::newRow("a display whose server is gone")
        << QStringList{"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"} << QStringList{"DISPLAY=:97"};
    QTest::newRow("a Wayland socket that is not there")
        << QStringList{"DISPLAY", "QT_QPA_PLATFORM"} << QStringList{"WAYLAND_DISPLAY=wayland-97"};
}

void TestRemote::saysWhatIsMissing()
{
    // Started from an SSH session or a system service: one plain line and status 1, no abort.
    QFETCH(QStringList, unset);
    QFETCH(QStringList, set);
    PortableCopy copy;
    QVERIFY(copy.make());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : unset)
        env.remove(name);
    for (const QString &pair : set)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    QByteArray err;
    QCOMPARE(PortableCopy::run(copy.kelvo, {}, nullptr, &err, env), 1);
    QCOMPARE(err, QByteArray("kelvo: no display: set DISPLAY or WAYLAND_DISPLAY, or run it from a desktop session\n"));
}

void TestRemote::runningOneKeepsItsSocket_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<int>("fireStatus"); // what "kelvo --fire 1" then answers
    // Held up behind them for more than a second, the press is said to be too late, never
    // played late; once they are let go, the next press plays.
    QTest::newRow("1,100 idle connections") << "idle" << 1;
    QTest::newRow("a runtime folder open to all") << "open-folder" << 0;
    QTest::newRow("its socket taken away") << "unlink" << 1;
}

void TestRemote::runningOneKeepsItsSocket()
{
    // Whatever is done to the running one's socket, a command never starts a second Kelvo
    // playing beside the first.
    QFETCH(QString, attack);
    QFETCH(int, fireStatus);
    PortableCopy copy;
    QVERIFY(copy.make());
    const QString &program = copy.kelvo;
    const QTemporaryDir &folder = copy.folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QTemporaryDir runtime;
    if (attack == QLatin1String("open-folder")) {
        QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::Permissions(0x7777)));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    }
    const auto run = [&](const QStringList &arguments, QByteArray *out = nullptr) {
        return PortableCopy::run(program, arguments, out, nullptr, env);
    };
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    QVERIFY(first.waitForStarted());
    const auto stopFirst = qScopeGuard([&first] {
        first.kill();
        first.waitForFinished();
    });
    QByteArray state;
    QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0, 5000);

    std::vector<std::unique_ptr<QLocalSocket>> idle;
    const QString socketPath = InstanceLink::socketPath(TrackListFile::pathIn(folder.path()));
    if (attack == QLatin1String("idle")) {
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &limit), 0);
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 4096);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &limit), 0);
        for (int i = 0; i < 1100; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(socketPath);
        }
        QTest::qWait(200);
    } else if (attack == QLatin1String("unlink")) {
        QVERIFY(QFile::remove(socketPath));
    }
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run({"--fire", "1"}), fireStatus);
    if (fireStatus != 0)
        QVERIFY2(clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
    else
        QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0 && state.startsWith("1 "), 3000);
    if (attack == QLatin1String("idle")) {
        // The idle ones are let go; the listener serves on.
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(idle.begin(), idle.end(),
                                             [](const std::unique_ptr<QLocalSocket> &socket) {
                                                 return socket->state() == QLocalSocket::UnconnectedState;
                                             }),
                                 5000);
        QVERIFY(run({"--state"}, &state) == 0 && state.startsWith("0 ")); // the late press did not play
        QCOMPARE(run({"--fire", "1"}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(run({"--state"}, &state) == 0 && state.startsWith("1 "), 3000);
        QCOMPARE(run({"--stop"}), 0);
    }
    QCOMPARE(first.state(), QProcess::Running);
}

QTEST_MAIN(TestRemote)
#include "tst_remote.moc"
