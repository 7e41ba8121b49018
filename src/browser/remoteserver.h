#pragma once

#include "browser/remotepairing.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocketServer>

class CommandSurface;
class QTcpSocket;
class QWebSocket;

// The browser remote's server, on the user-interface thread's event loop: plain HTTP for the
// page compiled into the program (no request ever reads a file), and a WebSocket at /ws for
// paired browsers, which fire, stop, fade and show pages through the command surface alone and
// follow its changes. Every input is bounded: kMostConnections sockets (kMostWaitingPerAddress
// not yet paired from one address), kMostClients pages,
// HttpRequest's head limits and kHeadMs to send it, RemoteProtocol::kMaxMessage a message,
// kMostPressesPerSecond a page; a request for another host is refused (421: DNS rebinding), and
// so is a WebSocket from a page of another origin (403).
class RemoteServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMostClients = 8;
    static constexpr int kMostConnections = 16;
    static constexpr int kMostWaitingPerAddress = 6; // not yet paired, from any one address
    static constexpr int kHeadMs = 5'000;
    static constexpr int kHelloMs = 2'000;
    static constexpr int kHeartbeatMs = 1'000;
    static constexpr int kMostPressesPerSecond = 10;
    static constexpr qint64 kStaleMs = 1000;

    RemoteServer(CommandSurface &commands, RemotePairing &pairing, QObject *parent = nullptr);
    ~RemoteServer() override;

    // Listens on address and port (0: any free one); false, with why, when it cannot.
    bool listen(const QHostAddress &address, quint16 port, QString *why);
    void close();
    bool isListening() const { return m_server.isListening(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    // Names a request's Host may carry beyond the listening addresses (ones the user added).
    void setExtraHosts(const QStringList &hosts) { m_extraHosts = hosts; }
    // Paired pages connected now.
    int clientCount() const;
    // Closes the pages of a revoked device at once.
    void dropDevice(const QString &hash);

private:
    struct Session
    {
        bool paired = false;
        QString hash;
        qint64 lastSeq = -1;
        QList<qint64> presses; // when this second's presses came
        QString peer;
    };

    void accept();
    void readHead(QTcpSocket *socket);
    bool hostAllowed(const QByteArray &host) const;
    void respond(QTcpSocket *socket, int status, const QByteArray &type = {}, const QByteArray &body = {});
    void adopt(QWebSocket *socket);
    void received(QWebSocket *socket, const QString &text);
    void sendState();
    void complain(const QString &peer, const QString &text) const;

    CommandSurface &m_commands;
    RemotePairing &m_pairing;
    QTcpServer m_server;
    QWebSocketServer m_sockets;
    QHash<QTcpSocket *, QByteArray> m_heads; // connections still sending their request
    QHash<QWebSocket *, Session> m_sessions;
    QTimer m_heartbeat;
    QStringList m_extraHosts;
};
