#include "remote/instancelink.h"

#include "platform/instancename.h"
#include "platform/monotonicclock.h"
#include "platform/runtimefolder.h"
#include "player/commandsurface.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr qsizetype kMostRequestBytes = 4200; // "open " and a path of up to 4096 bytes

} // namespace

InstanceLink::InstanceLink(QObject *parent)
    : QObject(parent),
      m_server(this)
{
    connect(&m_server, &LocalListener::newClient, this, &InstanceLink::serve);
}

QString InstanceLink::socketPath(const QString &trackListPath, QString *errorMessage)
{
    std::string why;
    const std::optional<std::string> folder = privateRuntimeFolder(qgetenv("XDG_RUNTIME_DIR").constData(), &why);
    if (!folder) {
        if (errorMessage)
            *errorMessage = QString::fromLocal8Bit(why.c_str());
        return {};
    }
    const std::string trackList = QFile::encodeName(QFileInfo(trackListPath).absoluteFilePath()).toStdString();
    return QFile::decodeName(QByteArray::fromStdString(instanceSocketPath(*folder, trackList)));
}

QString InstanceLink::lockPath(const QString &socketPath)
{
    QString path = socketPath;
    if (path.endsWith(QLatin1String(".socket")))
        path.chop(7);
    return path + QStringLiteral(".lock");
}

std::optional<QByteArray> InstanceLink::ask(const QString &socketPath, const QByteArray &request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return std::nullopt;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return std::nullopt;
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    if (!answer.contains('\n'))
        return std::nullopt;
    return answer.left(answer.indexOf('\n'));
}

bool InstanceLink::listen(const QString &socketPath, QString *errorMessage)
{
    bool inUse = false;
    if (m_server.listen(socketPath, errorMessage, &inUse))
        return true;
    if (!inUse)
        return false;
    // A socket nobody answers on is what a killed instance left: it goes.
    if (ask(socketPath, "ping", 500)) {
        if (errorMessage)
            *errorMessage = tr("another Kelvo already runs with this track list");
        return false;
    }
    QFile::remove(socketPath);
    return m_server.listen(socketPath, errorMessage);
}

QByteArray InstanceLink::stamped(const QByteArray &request, qint64 sentAtMs)
{
    return '@' + QByteArray::number(sentAtMs) + ' ' + request;
}

QByteArray InstanceLink::answerArrived(const QByteArray &line, qint64 nowMs, CommandSurface &target)
{
    QByteArray request = line;
    if (request.startsWith('@')) {
        const qsizetype space = request.indexOf(' ');
        bool ok = false;
        const qint64 sentAt = request.mid(1, space < 0 ? -1 : space - 1).toLongLong(&ok);
        if (!ok || space < 0)
            return "error a malformed time stamp";
        request = request.mid(space + 1);
        // A stamp from the future is a clock this machine does not share: judged as arriving now.
        const qint64 age = nowMs - sentAt;
        if (age > kStaleMs)
            return "late sent " + QByteArray::number(age) + " ms ago; not acted on";
    }
    return answer(request, target);
}

QByteArray InstanceLink::answer(const QByteArray &request, CommandSurface &target)
{
    // A path may hold spaces: all after the verb is the path.
    if (request.startsWith("open /"))
        return target.openShow(QString::fromUtf8(request.mid(5).trimmed())) ? "ok"
                                                                            : "error the show could not be opened";
    const QList<QByteArray> words = request.trimmed().split(' ');
    const QByteArray &verb = words[0];
    if (verb == "ping")
        return "ok";
    if (verb == "raise" && words.size() == 1) {
        target.raise();
        return "ok";
    }
    if (verb == "fire" && words.size() == 2) {
        bool ok = false;
        const int slot = words[1].toInt(&ok);
        if (!ok || slot < 1 || slot > 12)
            return "error slots are 1 to 12";
        target.fire(slot);
        return "ok";
    }
    if ((verb == "page" && words.size() == 2) || (verb == "fire" && words.size() == 3)) {
        bool ok = false;
        const int page = words[1].toInt(&ok);
        if (!ok || page < 1 || page > 99)
            return "error pages are 1 to 99";
        if (verb == "page") {
            target.showPage(page);
            return "ok";
        }
        const int slot = words[2].toInt(&ok);
        if (!ok || slot < 1 || slot > 12)
            return "error slots are 1 to 12";
        target.fireOnPage(page, slot);
        return "ok";
    }
    if (verb == "stop" && words.size() == 1) {
        target.stop();
        return "ok";
    }
    if (verb == "fade" && words.size() == 1) {
        target.fade();
        return "ok";
    }
    if (verb == "go" && words.size() == 1) {
        target.go();
        return "ok";
    }
    if (verb == "next" && words.size() == 1) {
        const SurfaceState state = target.state();
        if (!state.runningOrder)
            return "none the page shown is not run in order";
        if (state.nextSlot == 0)
            return "none the end of the running order";
        return QByteArray::number(state.shownPage) + ' ' + QByteArray::number(state.nextSlot) + ' '
            + state.nextCaption.toUtf8().replace('\t', ' ').replace('\n', ' ');
    }
    if (verb == "stop-all" && words.size() == 1) {
        target.stopAll();
        return "ok";
    }
    if (verb == "fade-all" && words.size() == 1) {
        target.fadeAll();
        return "ok";
    }
    if (verb == "playing" && words.size() == 1) {
        // One record a cart, split by tabs (a caption holds none): "page slot remaining total caption".
        QByteArrayList records;
        for (const PlayingCart &cart : target.state().playingCarts)
            records << QByteArray::number(cart.page) + ' ' + QByteArray::number(cart.slot) + ' '
                    + QByteArray::number(cart.remaining, 'f', 2) + ' ' + QByteArray::number(cart.total, 'f', 2) + ' '
                    + cart.caption.toUtf8().replace('\t', ' ').replace('\n', ' ');
        return records.isEmpty() ? QByteArray("none") : records.join('\t');
    }
    if (verb == "state" && words.size() == 1) {
        const SurfaceState state = target.state();
        return QByteArray::number(state.slot) + ' ' + QByteArray::number(state.remaining, 'f', 2) + ' '
            + QByteArray::number(state.total, 'f', 2) + ' ' + QByteArray::number(state.playingPage) + ' '
            + QByteArray::number(state.shownPage);
    }
    return "error unknown request";
}

void InstanceLink::serve(QLocalSocket *client)
{
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    // One that connects and says nothing holds a place another may need.
    QTimer::singleShot(kIdleMs, client, [client] {
        client->abort();
        client->deleteLater();
    });
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (!client->canReadLine()) {
            if (client->bytesAvailable() > kMostRequestBytes) {
                client->abort(); // no request is that long
                client->deleteLater();
            }
            return;
        }
        const QByteArray request = client->readLine(kMostRequestBytes);
        QByteArray reply;
        const QByteArray line = request.trimmed();
        const QByteArray unstamped = line.startsWith('@') && line.contains(' ') ? line.mid(line.indexOf(' ') + 1)
                                                                                : line;
        if (unstamped == "remote-pin") {
            const QString pin = m_remotePin ? m_remotePin() : QString();
            reply = pin.isEmpty() ? QByteArrayLiteral("off the browser remote is off: turn it on in Kelvo's menu")
                                  : pin.toUtf8();
        } else {
            reply = m_target ? answerArrived(request.trimmed(), monotonicMs(), *m_target)
                             : QByteArrayLiteral("error starting");
        }
        client->write(reply + '\n');
        client->flush();
        client->disconnectFromServer();
    });
}
