#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <optional>

class RemoteTarget;

// The one running Kelvo of a track list and the programs that talk to it: a local socket under
// $XDG_RUNTIME_DIR, named from the track list's path, that only its owner may use. A request is
// one line ("fire N", "stop", "fade", "state", "raise"); the answer is one line.
class InstanceLink : public QObject
{
    Q_OBJECT

public:
    explicit InstanceLink(QObject *parent = nullptr);

    // The socket of the instance that keeps trackListPath.
    static QString socketPath(const QString &trackListPath);

    // Sends request to the instance at socketPath and returns its answer; nothing when no
    // instance answers there (none runs, or what is left is a killed one's socket).
    static std::optional<QByteArray> ask(const QString &socketPath, const QByteArray &request, int timeoutMs = 3000);

    // Becomes the instance at socketPath, replacing a stale socket a killed one left; false
    // when another instance already answers there, or the socket cannot be made.
    bool listen(const QString &socketPath, QString *errorMessage);

    // Requests from now on act on target.
    void setTarget(RemoteTarget *target) { m_target = target; }

    // The answer to one request line.
    static QByteArray answer(const QByteArray &request, RemoteTarget &target);

private:
    void serve(QLocalSocket *client);

    QLocalServer m_server;
    RemoteTarget *m_target = nullptr;
};
