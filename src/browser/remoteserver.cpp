#include "browser/remoteserver.h"

#include "browser/httprequest.h"
#include "browser/remoteprotocol.h"
#include "common/diagnostics.h"
#include "platform/monotonicclock.h"
#include "player/commandsurface.h"

#include <QFile>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QWebSocket>

namespace {

struct Page
{
    const char *path;
    const char *resource;
    const char *type;
};

// Everything the server can answer with: compiled into the program.
constexpr Page kPages[] = {
    {"/", ":/kelvo-remote/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/kelvo-remote/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/kelvo-remote/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/kelvo-remote/app.css", "text/css; charset=utf-8"},
};

QByteArray reasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 421:
        return "Misdirected Request";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace

RemoteServer::RemoteServer(CommandSurface &commands, RemotePairing &pairing, QObject *parent)
    : QObject(parent),
      m_commands(commands),
      m_pairing(pairing),
      m_sockets(QStringLiteral("Kelvo"), QWebSocketServer::NonSecureMode)
{
    m_sockets.setMaxPendingConnections(kMostClients);
    m_sockets.setHandshakeTimeout(std::chrono::milliseconds(kHeadMs));
    connect(&m_server, &QTcpServer::newConnection, this, &RemoteServer::accept);
    connect(&m_sockets, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket *socket = m_sockets.nextPendingConnection())
            adopt(socket);
    });
    // The heartbeat runs only while a page is connected: at rest nothing wakes.
    m_heartbeat.setInterval(kHeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        // The countdown rides on the heartbeat: the page counts down by itself in between.
        const SurfaceState now = m_commands.state();
        const QString beat = QString::fromUtf8(RemoteProtocol::tick(
            now.playing || now.slot > 0 ? std::optional(now.remaining) : std::nullopt, monotonicMs()));
        for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it) {
            if (it->paired) {
                it.key()->sendTextMessage(beat);
                it.key()->flush(); // written now, rather than on one more pass of the event loop
            }
        }
    });
    connect(&m_commands, &CommandSurface::changed, this, [this](CommandSurface::Change what) {
        if (what != CommandSurface::Change::Remaining)
            sendState();
    });
}

RemoteServer::~RemoteServer()
{
    close();
}

bool RemoteServer::listen(const QHostAddress &address, quint16 port, QString *why)
{
    close();
    if (!m_server.listen(address, port)) {
        *why = m_server.errorString();
        return false;
    }
    return true;
}

void RemoteServer::close()
{
    m_server.close();
    const QList<QWebSocket *> pages = m_sessions.keys();
    m_sessions.clear();
    for (QWebSocket *page : pages) {
        page->disconnect(this);
        page->abort();
        page->deleteLater();
    }
    const QList<QTcpSocket *> heads = m_heads.keys();
    m_heads.clear();
    for (QTcpSocket *socket : heads) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    m_heartbeat.stop();
}

int RemoteServer::clientCount() const
{
    return int(std::count_if(m_sessions.cbegin(), m_sessions.cend(), [](const Session &s) { return s.paired; }));
}

void RemoteServer::dropDevice(const QString &hash)
{
    // Gathered first: a close may say it is disconnected at once, and that forgets its session.
    QList<QWebSocket *> pages;
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it) {
        if (it->hash == hash)
            pages << it.key();
    }
    for (QWebSocket *page : std::as_const(pages))
        page->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("revoked"));
}

void RemoteServer::complain(const QString &peer, const QString &text) const
{
    Diagnostics::report(QStringLiteral("remote: ") + text, peer, QStringLiteral("browser remote: %1").arg(text));
}

void RemoteServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const QHostAddress peer = socket->peerAddress();
        const auto fromPeer = [&peer](const auto &sockets) {
            return std::count_if(sockets.keyBegin(), sockets.keyEnd(),
                                 [&peer](const auto *other) { return other->peerAddress() == peer; });
        };
        // Idle connections from one address never keep another out: each has a few places of its
        // own, and the pages already paired do not count against them.
        const qsizetype unpaired = fromPeer(m_heads)
            + std::count_if(m_sessions.cbegin(), m_sessions.cend(), [&peer](const Session &session) {
                                       return !session.paired && session.peer == peer.toString();
                                   });
        if (unpaired >= kMostWaitingPerAddress || m_heads.size() + m_sessions.size() >= kMostConnections) {
            complain(peer.toString(), QStringLiteral("too many connections, one refused"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // The head is kept whole: a WebSocket's goes back to the socket for the handshake.
        socket->startTransaction();
        m_heads.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readHead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_heads.remove(socket))
                socket->deleteLater();
        });
        // A slow sender is not waited for.
        QTimer::singleShot(kHeadMs, socket, [this, socket] {
            if (m_heads.remove(socket)) {
                complain(socket->peerAddress().toString(), QStringLiteral("a request too slow to arrive"));
                socket->abort();
                socket->deleteLater();
            }
        });
    }
}

void RemoteServer::readHead(QTcpSocket *socket)
{
    auto it = m_heads.find(socket);
    if (it == m_heads.end())
        return;
    it->append(socket->read(HttpRequest::kMaxHeadBytes + 1 - it->size()));
    HttpRequest request;
    const HttpRequest::Status status = request.parse(*it);
    if (status == HttpRequest::Status::Incomplete)
        return;
    const QString peer = socket->peerAddress().toString();
    if (status != HttpRequest::Status::Complete) {
        complain(peer,
                 status == HttpRequest::Status::TooLarge ? QStringLiteral("a request head too large")
                                                         : QStringLiteral("a malformed request"));
        respond(socket, status == HttpRequest::Status::TooLarge ? 431 : 400);
        return;
    }
    if (!hostAllowed(request.header("Host"))) {
        complain(
            peer,
            QStringLiteral("a request for another host (%1)").arg(QString::fromLatin1(request.header("Host").left(80))));
        respond(socket, 421);
        return;
    }
    if (request.method() != "GET") {
        respond(socket, 405);
        return;
    }
    if (request.path() == "/ws") {
        if (request.header("Origin") != "http://" + request.header("Host")) {
            complain(peer,
                     QStringLiteral("a WebSocket from another origin (%1)")
                         .arg(QString::fromLatin1(request.header("Origin").left(80))));
            respond(socket, 403);
            return;
        }
        if (m_sessions.size() >= kMostClients) {
            complain(peer, QStringLiteral("more than %1 pages at once").arg(kMostClients));
            respond(socket, 503);
            return;
        }
        m_heads.remove(socket);
        socket->disconnect(this);
        socket->rollbackTransaction();
        m_sockets.handleConnection(socket);
        return;
    }
    for (const Page &page : kPages) {
        if (request.path() == page.path) {
            QFile file(QString::fromLatin1(page.resource));
            file.open(QIODevice::ReadOnly);
            respond(socket, 200, page.type, file.readAll());
            return;
        }
    }
    respond(socket, 404);
}

bool RemoteServer::hostAllowed(const QByteArray &hostHeader) const
{
    const QString host = QString::fromLatin1(hostHeader).toLower();
    QString name = host;
    const QString port = QStringLiteral(":%1").arg(m_server.serverPort());
    if (name.endsWith(port))
        name.chop(port.size());
    else if (m_server.serverPort() != 80)
        return false; // a browser names every port but 80
    QStringList names = m_extraHosts;
    const QHostAddress listening = m_server.serverAddress();
    if (listening.isLoopback() || listening == QHostAddress::AnyIPv4 || listening == QHostAddress::Any)
        names << QStringLiteral("localhost") << QStringLiteral("127.0.0.1");
    if (listening == QHostAddress::AnyIPv4 || listening == QHostAddress::Any) {
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol)
                names << address.toString();
        }
    } else {
        names << listening.toString();
    }
    for (const QString &allowed : std::as_const(names)) {
        if (name == allowed.toLower())
            return true;
    }
    return false;
}

void RemoteServer::respond(QTcpSocket *socket, int status, const QByteArray &type, const QByteArray &body)
{
    m_heads.remove(socket);
    socket->commitTransaction();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonOf(status) + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!type.isEmpty())
        head += "Content-Type: " + type + "\r\n";
    head += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: DENY\r\n"
            "Referrer-Policy: no-referrer\r\nConnection: close\r\n\r\n";
    socket->write(head + body);
    socket->disconnectFromHost();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void RemoteServer::adopt(QWebSocket *socket)
{
    socket->setParent(this);
    socket->setMaxAllowedIncomingMessageSize(RemoteProtocol::kMaxMessage);
    socket->setMaxAllowedIncomingFrameSize(RemoteProtocol::kMaxMessage);
    Session session;
    session.peer = socket->peerAddress().toString();
    m_sessions.insert(socket, session);
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString &text) { received(socket, text); });
    connect(socket, &QWebSocket::binaryMessageReceived, this, [this, socket](const QByteArray &) {
        complain(m_sessions.value(socket).peer, QStringLiteral("a binary message"));
    });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        m_sessions.remove(socket);
        socket->deleteLater();
        if (m_sessions.isEmpty())
            m_heartbeat.stop();
    });
    // The token, or a pairing, first and at once.
    QTimer::singleShot(kHelloMs, socket, [this, socket] {
        const auto it = m_sessions.constFind(socket);
        if (it != m_sessions.cend() && !it->paired) {
            complain(it->peer, QStringLiteral("no token within %1 s").arg(kHelloMs / 1000));
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("no token"));
        }
    });
}

void RemoteServer::received(QWebSocket *socket, const QString &text)
{
    const auto it = m_sessions.find(socket);
    if (it == m_sessions.end())
        return;
    Session &session = *it;
    QString why;
    const std::optional<RemoteProtocol::Message> message = RemoteProtocol::parse(text.toUtf8(), &why);
    if (!message) {
        complain(session.peer, why);
        if (!session.paired)
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
        return;
    }
    using Kind = RemoteProtocol::Message::Kind;
    if (!session.paired) {
        std::optional<QString> hash;
        if (message->kind == Kind::Hello) {
            hash = m_pairing.recognise(message->token);
            if (!hash)
                why = QStringLiteral("this browser is not paired (or no longer)");
        } else if (message->kind == Kind::Pair) {
            const std::optional<QString> token = message->key.isEmpty()
                ? m_pairing.pair(message->pin, message->name, session.peer, monotonicMs(), &why)
                : m_pairing.pairByKey(message->key, message->name, &why);
            if (token) {
                hash = RemotePairing::hashOf(*token);
                socket->sendTextMessage(QString::fromUtf8(RemoteProtocol::paired(*token)));
            }
        } else {
            why = QStringLiteral("a command before the token");
        }
        if (!hash) {
            complain(session.peer, why);
            socket->sendTextMessage(QString::fromUtf8(RemoteProtocol::refused(why)));
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
            return;
        }
        session.paired = true;
        session.hash = *hash;
        m_heartbeat.start();
        socket->sendTextMessage(QString::fromUtf8(RemoteProtocol::state(m_commands.state(), monotonicMs())));
        return;
    }
    if (message->kind == Kind::Hello || message->kind == Kind::Pair)
        return; // paired already
    // A press the page repeats (a resend after a lost answer) must not act twice: a second
    // press would stop the cart.
    if (message->seq <= session.lastSeq)
        return;
    session.lastSeq = message->seq;
    const qint64 now = monotonicMs();
    // Sent more than a second ago (Kelvo hung, or was stopped, meanwhile): a press must never
    // play long after it was made.
    if (message->sentAt && now - *message->sentAt > kStaleMs) {
        complain(session.peer,
                 QStringLiteral("a command that came %1 ms late, not acted on").arg(now - *message->sentAt));
        return;
    }
    session.presses.removeIf([now](qint64 at) { return at <= now - 1000; });
    if (session.presses.size() >= kMostPressesPerSecond) {
        complain(session.peer, QStringLiteral("more than %1 presses a second").arg(kMostPressesPerSecond));
        return;
    }
    session.presses.append(now);
    switch (message->kind) {
    case Kind::Press:
        m_commands.fire(message->slot);
        break;
    case Kind::Stop:
        m_commands.stop();
        break;
    case Kind::Fade:
        m_commands.fade();
        break;
    case Kind::StopAll:
        m_commands.stopAll();
        break;
    case Kind::Go:
        m_commands.go();
        break;
    case Kind::Page:
        m_commands.showPage(message->page);
        break;
    default:
        break;
    }
}

void RemoteServer::sendState()
{
    if (m_sessions.isEmpty())
        return;
    const QString state = QString::fromUtf8(RemoteProtocol::state(m_commands.state(), monotonicMs()));
    for (auto it = m_sessions.cbegin(); it != m_sessions.cend(); ++it) {
        if (it->paired) {
            it.key()->sendTextMessage(state);
            it.key()->flush();
        }
    }
}
