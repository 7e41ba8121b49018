#pragma once

#include <QObject>
#include <QString>

class QLocalSocket;
class QSocketNotifier;

// A listening local (Unix-domain) socket that only its owner may use, and that keeps listening
// whatever its clients do: at most kMostClients connections are open at once (the others are
// closed as they arrive), and running out of descriptors closes that one connection, never the
// listener. Qt's own local server closes itself for good on the first failed accept.
class LocalListener : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMostClients = 32;

    explicit LocalListener(QObject *parent = nullptr);
    ~LocalListener() override; // closes and removes the socket

    // Listens at path. False, with the reason, when it cannot; addressInUse then tells whether
    // something is already there (a running one, or what a killed one left).
    bool listen(const QString &path, QString *errorMessage, bool *addressInUse = nullptr);
    void close();
    bool isListening() const { return m_fd >= 0; }
    int clientCount() const { return m_clients; }

signals:
    // A client connected: a socket that is the receiver's to use and delete (deleteLater).
    void newClient(QLocalSocket *client);

private:
    void acceptAll();

    int m_fd = -1;
    int m_spareFd = -1; // held back, so one more accept works when descriptors run out
    int m_clients = 0;
    QString m_path;
    QSocketNotifier *m_notifier = nullptr;
};
