#include "browser/browserremote.h"
#include "browser/httprequest.h"
#include "browser/remotepairing.h"
#include "browser/remoteprotocol.h"
#include "browser/remoteserver.h"
#include "common/settings.h"
#include "recordingsurface.h"
#include "testsupport.h"

#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QJsonObject>
#include <QMenu>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

namespace {

// A page's WebSocket, opened as a browser would (its Origin the page's own unless told).
class Page
{
public:
    QWebSocket socket;
    QList<QJsonObject> heard;

    explicit Page(quint16 port, const QByteArray &origin = {})
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
                         [this](const QString &text) { heard << QJsonDocument::fromJson(text.toUtf8()).object(); });
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
        request.setRawHeader("Origin", origin.isEmpty() ? "http://127.0.0.1:" + QByteArray::number(port) : origin);
        socket.open(request);
    }
    bool open()
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
    }
    void send(const QJsonObject &message)
    {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson()));
    }
    // The last message of a kind heard, waiting for it a while.
    QJsonObject last(const QString &type, int timeoutMs = 2000)
    {
        QJsonObject found;
        (void)QTest::qWaitFor(
            [&] {
                for (qsizetype i = heard.size() - 1; i >= 0; --i) {
                    if (heard[i].value(QLatin1String("type")).toString() == type) {
                        found = heard[i];
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return found;
    }
    bool closed(int timeoutMs = 3000)
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    }
};

QByteArray get(const QByteArray &path, quint16 port, const QByteArray &extra = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n" + extra + "\r\n";
}

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void httpHeads_data();
    void httpHeads();
    void stateNamesTheCartOnAir_data();
    void stateNamesTheCartOnAir();
    void messages_data();
    void messages();
    void pairingRules();
    void refusedRequests_data();
    void refusedRequests();
    void connectionsAreBounded();
    void pairPressAndFollow();
    void refusedPages_data();
    void refusedPages();
    void menuSaysWhereItListens();
    void pinGuessesAreBudgeted_data();
    void pinGuessesAreBudgeted();
    void pairingDialogFollowsTheGuesses();
    void idleConnectionsKeepNoOtherAddressOut();
    void lateCommandsAreDropped_data();
    void lateCommandsAreDropped();

private:
    QTemporaryDir m_config;
};

void TestBrowser::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestBrowser::httpHeads_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("status"); // HttpRequest::Status
    QTest::addColumn<QByteArray>("path");
    const int complete = int(HttpRequest::Status::Complete), bad = int(HttpRequest::Status::Bad),
              large = int(HttpRequest::Status::TooLarge), incomplete = int(HttpRequest::Status::Incomplete);
    QTest::newRow("a plain GET") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n\r\n") << complete << QByteArray("/");
    QTest::newRow("a query is no part of the path")
        << QByteArray("GET /app.js?v=2 HTTP/1.1\r\nHost: a\r\n\r\n") << complete << QByteArray("/app.js");
    QTest::newRow("not yet all there") << QByteArray("GET / HTTP/1.1\r\nHost:") << incomplete << QByteArray();
    QTest::newRow("bare line feeds") << QByteArray("GET / HTTP/1.1\nHost: a\n\r\n\r\n") << bad << QByteArray();
    QTest::newRow("HTTP/2") << QByteArray("GET / HTTP/2\r\n\r\n") << bad << QByteArray();
    QTest::newRow("no path") << QByteArray("GET http://evil/ HTTP/1.1\r\n\r\n") << bad << QByteArray();
    QTest::newRow("a control character in the path") << QByteArray("GET /\x01 HTTP/1.1\r\n\r\n") << bad << QByteArray();
    QTest::newRow("a header twice") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\nhost: b\r\n\r\n") << bad
                                    << QByteArray();
    QTest::newRow("a folded header") << QByteArray("GET / HTTP/1.1\r\nHost: a\r\n  b\r\n\r\n") << bad << QByteArray();
    QTest::newRow("8 KiB of headers") << ("GET / HTTP/1.1\r\nX: " + QByteArray(8200, 'a') + "\r\n\r\n") << large
                                      << QByteArray();
    QTest::newRow("an endless head") << ("GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'a')) << large << QByteArray();
    QByteArray many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 101; ++i)
        many += "X" + QByteArray::number(i) + ": 1\r\n";
    QTest::newRow("101 headers") << (many + "\r\n") << large << QByteArray();
}

void TestBrowser::httpHeads()
{
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    QFETCH(QByteArray, path);
    HttpRequest request;
    QCOMPARE(int(request.parse(head)), status);
    if (status == int(HttpRequest::Status::Complete)) {
        QCOMPARE(request.path(), path);
        QCOMPARE(request.header("HOST"), QByteArray("a"));
    }
}

void TestBrowser::messages_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("a press") << QByteArray(R"({"type":"press","seq":1,"slot":12})") << true;
    QTest::newRow("slot 13") << QByteArray(R"({"type":"press","seq":1,"slot":13})") << false;
    QTest::newRow("slot 1.5") << QByteArray(R"({"type":"press","seq":1,"slot":1.5})") << false;
    QTest::newRow("slot as text") << QByteArray(R"({"type":"press","seq":1,"slot":"1"})") << false;
    QTest::newRow("no sequence number") << QByteArray(R"({"type":"press","slot":1})") << false;
    QTest::newRow("a negative sequence number") << QByteArray(R"({"type":"stop","seq":-1})") << false;
    QTest::newRow("page 100") << QByteArray(R"({"type":"page","seq":3,"page":100})") << false;
    QTest::newRow("a fade") << QByteArray(R"({"type":"fade","seq":9})") << true;
    QTest::newRow("a stop of all") << QByteArray(R"({"type":"stopall","seq":9})") << true;
    QTest::newRow("a GO") << QByteArray(R"({"type":"go","seq":9})") << true;
    QTest::newRow("a stop of all without a number") << QByteArray(R"({"type":"stopall"})") << false;
    QTest::newRow("an unknown kind") << QByteArray(R"({"type":"open","path":"/etc/passwd"})") << false;
    QTest::newRow("malformed JSON") << QByteArray(R"({"type":"press",)") << false;
    QTest::newRow("an array") << QByteArray("[1,2]") << false;
    QTest::newRow("5 KB") << (R"({"type":"fade","seq":1,"x":")" + QByteArray(5000, 'a') + "\"}") << false;
    QTest::newRow("a hello") << QByteArray(R"({"type":"hello","token":"00112233445566778899aabbccddeeff"})") << true;
    QTest::newRow("a hello without token") << QByteArray(R"({"type":"hello"})") << false;
    QTest::newRow("a press with when it was sent")
        << QByteArray(R"({"type":"press","seq":2,"slot":1,"at":1234})") << true;
    QTest::newRow("a time that is no time") << QByteArray(R"({"type":"press","seq":2,"slot":1,"at":"soon"})") << false;
    QTest::newRow("a negative time") << QByteArray(R"({"type":"stop","seq":2,"at":-5})") << false;
    QTest::newRow("a pairing by key") << QByteArray(R"({"type":"pair","key":"00112233445566778899aabbccddeeff"})")
                                      << true;
    QTest::newRow("a key too long") << (R"({"type":"pair","key":")" + QByteArray(65, 'a') + "\"}") << false;
}

void TestBrowser::stateNamesTheCartOnAir_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("playing");
    QTest::newRow("at rest") << 0 << 0 << false;
    QTest::newRow("on a page of the show") << 4 << 2 << true;
    // Its page deleted, or another show opened: no page or slot of this show, but on air still.
    QTest::newRow("its page gone") << 0 << 0 << true;
}

void TestBrowser::stateNamesTheCartOnAir()
{
    QFETCH(int, slot);
    QFETCH(int, page);
    QFETCH(bool, playing);
    SurfaceState state;
    state.playing = playing;
    state.slot = slot;
    state.playingPage = page;
    state.remaining = playing ? 12.5 : 0;
    state.playingCaption = playing ? QStringLiteral("Thunder") : QString();
    if (playing)
        state.playingCarts = {{7, 1, 3, 40, 60, QStringLiteral("Rain"), QString(), false, QString()},
                              {8, page, slot, 12.5, 20, state.playingCaption, QString(), false, QString()}};
    const QJsonObject message = QJsonDocument::fromJson(RemoteProtocol::state(state, 4321)).object();
    QCOMPARE(message.value(QLatin1String("playing")).toBool(), playing);
    QCOMPARE(message.value(QLatin1String("slot")).toInt(), slot);
    QCOMPARE(message.value(QLatin1String("playingPage")).toInt(), page);
    QCOMPARE(message.value(QLatin1String("playingCaption")).toString(), state.playingCaption);
    QCOMPARE(message.value(QLatin1String("now")).toInteger(), 4321);
    QVERIFY(!message.value(QLatin1String("runningOrder")).toBool());
    QVERIFY(message.value(QLatin1String("next")).isNull());
    state.runningOrder = true;
    state.nextSlot = 3;
    state.nextCaption = QStringLiteral("Doorbell");
    state.nextNote = QStringLiteral("wait for the blackout");
    const QJsonObject order = QJsonDocument::fromJson(RemoteProtocol::state(state)).object();
    QVERIFY(order.value(QLatin1String("runningOrder")).toBool());
    QCOMPARE(order.value(QLatin1String("next")).toObject().value(QLatin1String("slot")).toInt(), 3);
    QCOMPARE(order.value(QLatin1String("next")).toObject().value(QLatin1String("note")).toString(),
             QStringLiteral("wait for the blackout"));
    // Every cart on air, each with its own times.
    const QJsonArray carts = message.value(QLatin1String("playingCarts")).toArray();
    QCOMPARE(carts.size(), playing ? 2 : 0);
    if (playing) {
        QCOMPARE(carts[0].toObject().value(QLatin1String("caption")).toString(), QStringLiteral("Rain"));
        QCOMPARE(carts[0].toObject().value(QLatin1String("remaining")).toDouble(), 40.0);
        QCOMPARE(carts[1].toObject().value(QLatin1String("slot")).toInt(), slot);
    }
}

void TestBrowser::messages()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QString why;
    QCOMPARE(bool(RemoteProtocol::parse(text, &why)), valid);
    QCOMPARE(why.isEmpty(), valid);
}

void TestBrowser::pairingRules()
{
    RemotePairing pairing;
    QCOMPARE(pairing.pin().size(), 6);
    QString why;
    const QString wrongPin = pairing.pin() == QLatin1String("000000") ? QStringLiteral("111111")
                                                                      : QStringLiteral("000000");
    const std::optional<QString> token = pairing.pair(pairing.pin(), QStringLiteral("Phone"),
                                                      QStringLiteral("10.0.0.2"), 0, &why);
    QVERIFY(token);
    QCOMPARE(token->size(), 32); // 128 bits
    QVERIFY(pairing.recognise(*token));
    QVERIFY(!pairing.recognise(QStringLiteral("00112233445566778899aabbccddeeff")));
    // Kept hashed: the settings never hold the token itself.
    const QByteArray stored = readBytes(Settings().fileName());
    QVERIFY(!stored.contains(token->toLatin1()));
    QVERIFY(stored.contains(RemotePairing::hashOf(*token).toLatin1()));
    QVERIFY(RemotePairing().recognise(*token)); // and kept for the next start

    // Five wrong PINs in a minute lock that address out for a minute, the right PIN too.
    for (int i = 0; i < 5; ++i)
        QVERIFY(!pairing.pair(wrongPin, {}, QStringLiteral("10.0.0.3"), 1000 + i, &why));
    QVERIFY(!pairing.pair(pairing.pin(), {}, QStringLiteral("10.0.0.3"), 2000, &why));
    QVERIFY(why.contains(QLatin1String("minute")));
    QVERIFY(pairing.pair(pairing.pin(), {}, QStringLiteral("10.0.0.4"), 2000, &why)); // another address
    QVERIFY(pairing.pair(pairing.pin(), {}, QStringLiteral("10.0.0.3"), 1004 + RemotePairing::kLockoutMs, &why));
    // Four wrong in a minute, the fifth after it: not locked.
    for (int i = 0; i < 4; ++i)
        QVERIFY(!pairing.pair(wrongPin, {}, QStringLiteral("10.0.0.5"), i, &why));
    QVERIFY(!pairing.pair(wrongPin, {}, QStringLiteral("10.0.0.5"), RemotePairing::kLockoutMs + 10, &why));
    QVERIFY(pairing.pair(pairing.pin(), {}, QStringLiteral("10.0.0.5"), RemotePairing::kLockoutMs + 11, &why));

    // Revoked: refused from then on.
    QVERIFY(pairing.revoke(RemotePairing::hashOf(*token)));
    QVERIFY(!pairing.recognise(*token));
    QVERIFY(!RemotePairing().recognise(*token));
}

void TestBrowser::refusedRequests_data()
{
    QTest::addColumn<QByteArray>("head"); // %1 is the port
    QTest::addColumn<int>("status");
    QTest::newRow("the page") << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n\r\n") << 200;
    QTest::newRow("localhost") << QByteArray("GET /app.css HTTP/1.1\r\nHost: localhost:%1\r\n\r\n") << 200;
    QTest::newRow("DNS rebinding") << QByteArray("GET / HTTP/1.1\r\nHost: evil.example:%1\r\n\r\n") << 421;
    QTest::newRow("no Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 421;
    QTest::newRow("another port") << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n") << 421;
    QTest::newRow("climbing out") << QByteArray("GET /../../etc/passwd HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n\r\n") << 404;
    QTest::newRow("climbing out, encoded")
        << QByteArray("GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n\r\n") << 404;
    QTest::newRow("climbing out, backslashes")
        << QByteArray("GET /..\\..\\etc\\passwd HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n\r\n") << 404;
    QTest::newRow("a file of the program")
        << QByteArray("GET /kelvo-remote/index.html HTTP/1.1\r\nHost: 127.0.0.1:%1\r\n\r\n") << 404;
    QTest::newRow("a POST") << QByteArray("POST / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nContent-Length: 3\r\n\r\nabc")
                            << 405;
    QTest::newRow("a WebSocket from another site") << QByteArray(
        "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nOrigin: http://evil.example\r\nUpgrade: websocket\r\n"
        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
                                                   << 403;
    QTest::newRow("a WebSocket without an Origin")
        << QByteArray("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nUpgrade: websocket\r\n\r\n") << 403;
    QTest::newRow("junk") << QByteArray("\x16\x03\x01\x02\x01\xfc\x03\x03\r\n\r\n") << 400;
    QTest::newRow("9 KB of head") << ("GET / HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nX: " + QByteArray(9000, 'a')
                                      + "\r\n\r\n")
                                  << 431;
}

void TestBrowser::refusedRequests()
{
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    RecordingSurface surface;
    RemotePairing pairing(false);
    RemoteServer server(surface, pairing);
    QString why;
    QVERIFY2(server.listen(QHostAddress::LocalHost, 0, &why), qPrintable(why));
    int answered = -1;
    // The client runs beside the server's event loop.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(2000)
            || QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    socket.write(head.replace("%1", QByteArray::number(server.port())));
    QByteArray answer;
    QTRY_VERIFY_WITH_TIMEOUT((answer += socket.readAll()).contains("\r\n\r\n"), 3000);
    answered = answer.split(' ').value(1).toInt();
    QCOMPARE(answered, status);
    QVERIFY(!answer.contains("Access-Control")); // no CORS, ever
    if (status != 200)
        QVERIFY(!answer.contains("root:"));
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState); // one request a connection
}

void TestBrowser::connectionsAreBounded()
{
    RecordingSurface surface;
    RemotePairing pairing(false);
    RemoteServer server(surface, pairing);
    QString why;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, &why));
    // Idle connections by the hundred: no more than the bound are held; the page still loads
    // once they go.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, server.port());
    }
    QTest::qWait(500);
    const auto open = std::count_if(idle.begin(), idle.end(),
                                    [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; });
    QVERIFY2(open <= RemoteServer::kMostConnections, qPrintable(QString::number(open)));
    idle.clear();
    QTest::qWait(100);
    QTcpSocket page;
    page.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE(page.state(), QAbstractSocket::ConnectedState);
    page.write(get("/", server.port()));
    QByteArray answer;
    QTRY_VERIFY((answer += page.readAll()).startsWith("HTTP/1.1 200"));
}

void TestBrowser::pairPressAndFollow()
{
    RecordingSurface surface;
    RemotePairing pairing(false);
    RemoteServer server(surface, pairing);
    QString why;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, &why));

    // Paired with the PIN: a token of its own, then the state.
    Page phone(server.port());
    QVERIFY(phone.open());
    phone.send({{"type", "pair"}, {"pin", pairing.pin()}, {"name", "Phone"}});
    const QString token = phone.last(QStringLiteral("paired")).value(QLatin1String("token")).toString();
    QCOMPARE(token.size(), 32);
    QJsonObject state = phone.last(QStringLiteral("state"));
    QCOMPARE(state.value(QLatin1String("carts")).toArray().size(), 12);
    QCOMPARE(server.clientCount(), 1);

    // A press acts once; the same number again does nothing (a resend must not stop the cart).
    phone.send({{"type", "press"}, {"seq", 1}, {"slot", 1}});
    phone.send({{"type", "press"}, {"seq", 1}, {"slot", 1}});
    phone.send({{"type", "fade"}, {"seq", 2}});
    phone.send({{"type", "page"}, {"seq", 3}, {"page", 2}});
    phone.send({{"type", "open"}, {"seq", 4}, {"path", "/etc/passwd"}});
    phone.send({{"type", "stopall"}, {"seq", 5}});
    phone.send({{"type", "go"}, {"seq", 6}});
    QTRY_COMPARE(surface.calls, (QStringList{"fire:1", "fade", "page:2", "stop-all", "go"}));

    // Every change is pushed; the heartbeat comes every second.
    surface.now.slot = 1;
    surface.now.playingPage = 1;
    surface.now.remaining = 7.5;
    phone.heard.clear();
    surface.tell(CommandSurface::Change::Started);
    QCOMPARE(phone.last(QStringLiteral("state")).value(QLatin1String("slot")).toInt(), 1);
    // The countdown's own ticks are not pushed: the heartbeat carries the remaining time.
    const qsizetype states = phone.heard.size();
    surface.tell(CommandSurface::Change::Remaining);
    QCOMPARE(phone.last(QStringLiteral("tick"), 1600).value(QLatin1String("remaining")).toDouble(), 7.5);
    QCOMPARE(
        std::count_if(phone.heard.cbegin() + states, phone.heard.cend(),
                      [](const QJsonObject &m) { return m.value(QLatin1String("type")) == QLatin1String("state"); }),
        0);

    // More than ten presses a second: the rest are dropped.
    QTest::qWait(1100); // the second of the presses above is over
    surface.calls.clear();
    for (int i = 0; i < 15; ++i)
        phone.send({{"type", "stop"}, {"seq", 10 + i}});
    QTest::qWait(300);
    QCOMPARE(surface.calls.size(), RemoteServer::kMostPressesPerSecond);

    // The same browser later: its token is its pass.
    Page again(server.port());
    QVERIFY(again.open());
    again.send({{"type", "hello"}, {"token", token}});
    QVERIFY(!again.last(QStringLiteral("state")).isEmpty());
    QCOMPARE(server.clientCount(), 2);

    // Revoked: its pages go, and the token no longer opens one.
    QVERIFY(pairing.revoke(RemotePairing::hashOf(token)));
    server.dropDevice(RemotePairing::hashOf(token));
    QVERIFY(phone.closed());
    QVERIFY(again.closed());
    Page revoked(server.port());
    QVERIFY(revoked.open());
    revoked.send({{"type", "hello"}, {"token", token}});
    QVERIFY(!revoked.last(QStringLiteral("refused")).isEmpty());
    QVERIFY(revoked.closed());
}

void TestBrowser::refusedPages_data()
{
    QTest::addColumn<QString>("first"); // the first message: "wrong pin", "nothing", "press", "junk"
    QTest::newRow("a wrong PIN") << "wrong pin";
    QTest::newRow("nothing within 2 s") << "nothing";
    QTest::newRow("a press before the token") << "press";
    QTest::newRow("junk") << "junk";
    QTest::newRow("a 64 KB message") << "huge";
}

void TestBrowser::refusedPages()
{
    QFETCH(QString, first);
    RecordingSurface surface;
    RemotePairing pairing(false);
    RemoteServer server(surface, pairing);
    QString why;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, &why));
    Page page(server.port());
    QVERIFY(page.open());
    if (first == QLatin1String("wrong pin"))
        page.send({{"type", "pair"}, {"pin", pairing.pin() == QLatin1String("123456") ? "654321" : "123456"}});
    else if (first == QLatin1String("press"))
        page.send({{"type", "press"}, {"seq", 1}, {"slot", 1}});
    else if (first == QLatin1String("junk"))
        page.socket.sendTextMessage(QStringLiteral("\x01\x02 not json"));
    else if (first == QLatin1String("huge"))
        page.socket.sendTextMessage(QString(65536, QLatin1Char('a')));
    QVERIFY(page.closed(RemoteServer::kHelloMs + 1500));
    QVERIFY(surface.calls.isEmpty());
    QCOMPARE(server.clientCount(), 0);
    // The sixth wrong PIN in a minute from one address is refused whatever it is.
    if (first == QLatin1String("wrong pin")) {
        for (int i = 0; i < 5; ++i) {
            Page again(server.port());
            QVERIFY(again.open());
            again.send({{"type", "pair"}, {"pin", i < 4 ? "x" : pairing.pin()}});
            QVERIFY(again.closed());
        }
        Page right(server.port());
        QVERIFY(right.open());
        right.send({{"type", "pair"}, {"pin", pairing.pin()}});
        QVERIFY(right.last(QStringLiteral("refused"))
                    .value(QLatin1String("reason"))
                    .toString()
                    .contains(QLatin1String("minute")));
    }
}

void TestBrowser::menuSaysWhereItListens()
{
    // Off by default: nothing listens.
    RecordingSurface surface;
    QMenu window;
    BrowserRemote remote(surface, nullptr, &window);
    QMenu *menu = window.findChild<QMenu *>(QStringLiteral("BrowserRemote"));
    QVERIFY(menu);
    QVERIFY(!remote.server().isListening());
    QVERIFY(remote.pin().isEmpty());
    QAction *on = menu->findChild<QAction *>(QStringLiteral("BrowserRemoteOn"));
    QVERIFY(on && on->text().contains(QLatin1String("off")));
    // On, on a free port: the item says where.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 taken = probe.serverPort();
    {
        QSettings settings(Settings().fileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("remote/port"), taken); // in use: it says so
    }
    on->trigger();
    on = menu->findChild<QAction *>(QStringLiteral("BrowserRemoteOn"));
    QVERIFY2(on->text().contains(QLatin1String("cannot listen")), qPrintable(on->text()));
    probe.close();
    remote.apply();
    on = menu->findChild<QAction *>(QStringLiteral("BrowserRemoteOn"));
    QVERIFY2(on->text().contains(QStringLiteral("http://127.0.0.1:%1/").arg(taken)), qPrintable(on->text()));
    QCOMPARE(remote.pin(), remote.pairing().pin());
    QDialog *dialog = remote.showPairing();
    QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("Pin"))->text().contains(remote.pin()));
    QVERIFY(!dialog->findChild<QLabel *>(QStringLiteral("QrCode"))->pixmap().isNull());
    Settings().setRemoteEnabled(false);
}

void TestBrowser::pinGuessesAreBudgeted_data()
{
    QTest::addColumn<int>("addresses"); // how many addresses the guesses rotate through
    QTest::addColumn<int>("tries");
    QTest::addColumn<qint64>("spanMs"); // spread evenly over this long
    QTest::addColumn<bool>("paused");   // whether the budget of all addresses is spent
    QTest::newRow("300 tries from 30 addresses in a minute") << 30 << 300 << qint64(60'000) << true;
    QTest::newRow("300 tries from 300 addresses in a second") << 300 << 300 << qint64(1'000) << true;
    // One address alone is held by its own lockout, five a minute, and pauses no one else.
    QTest::newRow("1,000 tries from one address in ten minutes") << 1 << 1000 << qint64(600'000) << false;
}

void TestBrowser::pinGuessesAreBudgeted()
{
    // Guessing from many addresses: whatever the rotation, no more PINs are tried than the
    // budget allows, the PIN changes under the guesser, and the code on Kelvo's screen still pairs.
    QFETCH(int, addresses);
    QFETCH(int, tries);
    QFETCH(qint64, spanMs);
    QFETCH(bool, paused);
    RemotePairing pairing(false);
    const QString firstPin = pairing.pin();
    int evaluated = 0;
    qint64 at = 0;
    for (int i = 0; i < tries; ++i) {
        at = spanMs * i / tries;
        QString why;
        // Every PIN but the real one, in order, as a guesser would go.
        QString guess = QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
        if (guess == pairing.pin())
            guess = QStringLiteral("999999") == pairing.pin() ? QStringLiteral("999998") : QStringLiteral("999999");
        QVERIFY(!pairing.pair(
            guess, {}, QStringLiteral("127.0.%1.%2").arg(i % addresses / 250).arg(i % addresses % 250 + 1), at, &why));
        evaluated += why == QLatin1String("wrong PIN");
    }
    // At most ten a minute, and each pause twice as long as the one before.
    const qint64 minutes = spanMs / 60'000 + 1;
    QVERIFY2(evaluated <= RemotePairing::kMostWrongPinsInAll * minutes, qPrintable(QString::number(evaluated)));
    QVERIFY(evaluated >= RemotePairing::kMostWrongPinsInAll);
    QCOMPARE(pairing.wrongTries(), evaluated);
    if (!paused) {
        QCOMPARE(pairing.pin(), firstPin);
        QString why;
        QVERIFY(pairing.pair(pairing.pin(), {}, QStringLiteral("10.1.1.1"), at + 1, &why));
        return;
    }
    QVERIFY(pairing.pin() != firstPin);
    // While the pause lasts even the right PIN is not tried; the key of the code on the screen pairs.
    QString why;
    QVERIFY(!pairing.pair(pairing.pin(), {}, QStringLiteral("10.1.1.1"), at + 1, &why));
    QVERIFY2(why.contains(QLatin1String("paused")), qPrintable(why));
    const QString key = pairing.key();
    QVERIFY(pairing.pairByKey(key, QStringLiteral("Operator"), &why));
    QVERIFY(!pairing.pairByKey(key, QStringLiteral("Again"), &why)); // once only
    QVERIFY(pairing.key() != key);
    // Once the pause is over the PIN shown pairs again.
    QVERIFY(pairing.pair(pairing.pin(), {}, QStringLiteral("10.1.1.1"), at + RemotePairing::kLongestPauseMs + 1, &why));
}

void TestBrowser::pairingDialogFollowsTheGuesses()
{
    // The Pair dialog on Kelvo's screen: how many wrong tries were made, and the new PIN and
    // code once a pause changed them.
    RecordingSurface surface;
    QMenu window;
    Settings().setRemoteEnabled(true);
    {
        QSettings settings(Settings().fileName(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("remote/port"), 0);
    }
    const auto off = qScopeGuard([] { Settings().setRemoteEnabled(false); });
    BrowserRemote remote(surface, nullptr, &window);
    QDialog *dialog = remote.showPairing();
    QVERIFY(dialog);
    auto *tries = dialog->findChild<QLabel *>(QStringLiteral("WrongTries"));
    auto *pin = dialog->findChild<QLabel *>(QStringLiteral("Pin"));
    QVERIFY(tries->text().isEmpty());
    const QString firstPin = remote.pairing().pin();
    const QImage firstCode = dialog->findChild<QLabel *>(QStringLiteral("QrCode"))->pixmap().toImage();
    QString why;
    for (int i = 0; i < RemotePairing::kMostWrongPinsInAll; ++i)
        remote.pairing().pair(firstPin == QLatin1String("123456") ? QStringLiteral("654321") : QStringLiteral("123456"),
                              {}, QStringLiteral("127.0.0.%1").arg(i + 2), i, &why);
    QVERIFY2(tries->text().contains(QString::number(RemotePairing::kMostWrongPinsInAll)), qPrintable(tries->text()));
    QVERIFY(remote.pairing().pin() != firstPin);
    QVERIFY(pin->text().contains(remote.pairing().pin()));
    QVERIFY(dialog->findChild<QLabel *>(QStringLiteral("QrCode"))->pixmap().toImage() != firstCode);
    dialog->close();
}

void TestBrowser::idleConnectionsKeepNoOtherAddressOut()
{
    // Twenty idle connections from one address, held open: another address still loads the page.
    RecordingSurface surface;
    RemotePairing pairing(false);
    RemoteServer server(surface, pairing);
    QString why;
    QVERIFY(server.listen(QHostAddress::Any, 0, &why));
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 20; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        QVERIFY(idle.back()->bind(QHostAddress(QStringLiteral("127.0.0.2"))));
        idle.back()->connectToHost(QHostAddress::LocalHost, server.port());
    }
    QTest::qWait(300);
    const auto held = std::count_if(idle.begin(), idle.end(),
                                    [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; });
    QVERIFY2(held <= RemoteServer::kMostWaitingPerAddress, qPrintable(QString::number(held)));
    QTcpSocket page;
    page.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE(page.state(), QAbstractSocket::ConnectedState);
    page.write(get("/", server.port()));
    QByteArray answer;
    QTRY_VERIFY((answer += page.readAll()).startsWith("HTTP/1.1 200"));
    // And the idle ones do not stay for long.
    QTRY_VERIFY_WITH_TIMEOUT(std::none_of(idle.begin(), idle.end(),
                                          [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; }),
                             RemoteServer::kHeadMs + 2000);
}

void TestBrowser::lateCommandsAreDropped_data()
{
    QTest::addColumn<qint64>("lateMs"); // how long before Kelvo's "now" the press says it was sent
    QTest::addColumn<bool>("acted");
    QTest::newRow("sent now") << qint64(0) << true;
    QTest::newRow("sent half a second ago") << qint64(500) << true;
    QTest::newRow("sent 1.5 s ago") << qint64(1500) << false;
    QTest::newRow("sent 20 s ago") << qint64(20'000) << false;
}

void TestBrowser::lateCommandsAreDropped()
{
    // A press Kelvo reads only after a hang is not acted on: the page stamps it with Kelvo's
    // own clock, as its messages tell it.
    QFETCH(qint64, lateMs);
    QFETCH(bool, acted);
    RecordingSurface surface;
    RemotePairing pairing(false);
    RemoteServer server(surface, pairing);
    QString why;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, &why));
    Page phone(server.port());
    QVERIFY(phone.open());
    phone.send({{"type", "pair"}, {"pin", pairing.pin()}, {"name", "Phone"}});
    const QJsonObject state = phone.last(QStringLiteral("state"));
    QVERIFY(state.contains(QLatin1String("now")));
    const qint64 now = qint64(state.value(QLatin1String("now")).toDouble());
    phone.send({{"type", "press"}, {"seq", 1}, {"slot", 3}, {"at", double(std::max<qint64>(0, now - lateMs))}});
    phone.send({{"type", "stop"}, {"seq", 2}}); // unstamped: judged as it arrives
    QTRY_VERIFY(surface.calls.contains(QStringLiteral("stop")));
    QCOMPARE(surface.calls.contains(QStringLiteral("fire:3")), acted);
}

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
