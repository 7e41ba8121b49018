#include "remote/oscserver.h"

#include "common/diagnostics.h"
#include "platform/arrivalstamps.h"
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
    if (m_socket.bind(address, port)) {
        ArrivalStamps::enable(m_socket.socketDescriptor());
        return true;
    }
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
        const std::optional<qint64> age = ArrivalStamps::ageOfNextMs(m_socket.socketDescriptor());
        // One byte more than a packet may hold, so an oversized one is seen as such.
        const QNetworkDatagram datagram = m_socket.receiveDatagram(OscDispatch::kMaxPacketBytes + 1);
        // Read more than a second after it came (the program hung, or was stopped): a press
        // must never play long after it was made.
        if (age && *age > kStaleMs) {
            const QString sender = datagram.senderAddress().toString();
            Diagnostics::report(
                QStringLiteral("osc-late"), sender,
                QStringLiteral("OSC from %1 read %2 ms after it came, not acted on").arg(sender).arg(*age));
            continue;
        }
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
