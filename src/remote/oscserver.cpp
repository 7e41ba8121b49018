#include "remote/oscserver.h"

#include "common/diagnostics.h"
#include "remote/oscdispatch.h"

#include <QNetworkDatagram>

OscServer::OscServer(CommandSurface &target, QObject *parent)
    : QObject(parent),
      m_target(target),
      m_socket(this)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &OscServer::readPackets);
}

bool OscServer::listen(const QHostAddress &address, quint16 port, QString *errorMessage)
{
    close();
    if (m_socket.bind(address, port))
        return true;
    if (errorMessage)
        *errorMessage = m_socket.errorString();
    return false;
}

void OscServer::close()
{
    m_socket.close();
}

void OscServer::readPackets()
{
    while (m_socket.hasPendingDatagrams()) {
        // One byte more than a packet may hold, so an oversized one is seen as such.
        const QNetworkDatagram datagram = m_socket.receiveDatagram(OscDispatch::kMaxPacketBytes + 1);
        const OscDispatch::Outcome outcome = OscDispatch::handle(datagram.data(), m_target);
        if (!outcome.complaint.isEmpty()) {
            const QString sender = datagram.senderAddress().toString();
            Diagnostics::report(QStringLiteral("osc-ignored"), sender,
                                QStringLiteral("OSC from %1 ignored: %2").arg(sender, outcome.complaint));
        }
        if (outcome.reply)
            m_socket.writeDatagram(*outcome.reply, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}
