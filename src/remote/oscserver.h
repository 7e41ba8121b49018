#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

class CommandSurface;

// OSC over UDP for one target, on the user-interface thread: packets are read as they come
// (nothing wakes while none do) and handled by OscDispatch; what is ignored is said on standard
// error, at most once in ten seconds for each sender (see Diagnostics).
class OscServer : public QObject
{
    Q_OBJECT

public:
    OscServer(CommandSurface &target, QObject *parent = nullptr);

    // Listens on address and port; false, with the reason, when it cannot (the port in use).
    bool listen(const QHostAddress &address, quint16 port, QString *errorMessage);
    void close();
    bool isListening() const { return m_socket.state() == QAbstractSocket::BoundState; }

private:
    void readPackets();

    CommandSurface &m_target;
    QUdpSocket m_socket;
};
