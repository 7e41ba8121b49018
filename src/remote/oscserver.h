#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

class CommandSurface;

// OSC over UDP for one target, on the user-interface thread: packets are read as they come
// (nothing wakes while none do) and handled by OscDispatch; one read more than kStaleMs after it
// reached the machine is dropped. What is ignored is said on standard error, at most once in ten
// seconds for each sender (see Diagnostics).
class OscServer : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kStaleMs = 1000; // a packet read later than this after it came is dropped

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
