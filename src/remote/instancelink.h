#pragma once

#include "platform/locallistener.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalSocket;
class CommandSurface;

// The one running Kelvo of a track list and the programs that talk to it: a local socket under
// $XDG_RUNTIME_DIR (see privateRuntimeFolder), named from the track list's path, that only its
// owner may use. A request is one line ("fire N", "stop", "fade", "stop-all", "fade-all", "go",
// "state", "playing", "next", "raise", "remote-pin"), which may begin with "@MS " (MS: when it was sent, on the monotonic clock);
// the answer is one line. A request that arrives more than kStaleMs after it was sent (the
// program hung, or was stopped, meanwhile) is answered "late ..." and not acted on: a press
// must never play long after it was made. A client that has not sent its line within kIdleMs
// is closed, and at most
// LocalListener::kMostClients are served at once, so no flood of connections takes the socket
// away or stalls the window.
class InstanceLink : public QObject
{
    Q_OBJECT

public:
    explicit InstanceLink(QObject *parent = nullptr);

    static constexpr int kIdleMs = 2000;
    static constexpr qint64 kStaleMs = 1000;

    // request stamped with sentAtMs (monotonicMs()) for the instance to judge its age.
    static QByteArray stamped(const QByteArray &request, qint64 sentAtMs);
    // The answer to a request line as it arrived at nowMs: its stamp taken off and its age
    // judged, then answer().
    static QByteArray answerArrived(const QByteArray &line, qint64 nowMs, CommandSurface &target);

    // The socket of the instance that keeps trackListPath; empty, with the reason, when there is
    // no private folder to keep it in.
    static QString socketPath(const QString &trackListPath, QString *errorMessage = nullptr);
    // The lock the instance holds for as long as it runs: beside the socket, with ".lock" for
    // ".socket".
    static QString lockPath(const QString &socketPath);

    // Sends request to the instance at socketPath and returns its answer; nothing when no
    // instance answers there (none runs, or what is left is a killed one's socket).
    static std::optional<QByteArray> ask(const QString &socketPath, const QByteArray &request, int timeoutMs = 3000);

    // Becomes the instance at socketPath, replacing a stale socket a killed one left; false
    // when another instance already answers there, or the socket cannot be made.
    bool listen(const QString &socketPath, QString *errorMessage);

    // Requests from now on act on target.
    void setTarget(CommandSurface *target) { m_target = target; }
    // Answers "remote-pin" with what pin gives ("off ..." when it gives nothing).
    void setRemotePin(std::function<QString()> pin) { m_remotePin = std::move(pin); }

    // The answer to one request line.
    static QByteArray answer(const QByteArray &request, CommandSurface &target);

private:
    void serve(QLocalSocket *client);

    LocalListener m_server;
    CommandSurface *m_target = nullptr;
    std::function<QString()> m_remotePin;
};
