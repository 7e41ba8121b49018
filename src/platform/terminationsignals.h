#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a logout, systemctl stop, kill, Ctrl+C) as a Qt signal on the
// event loop, so the program ends through its own clean exit: the handler only writes the signal's
// number to a pipe, which is all a signal handler may safely do. One at a time per process.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    // Puts the default handlers back.
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
