#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

class CommandSurface;
class QAction;
class QMenu;

// The as-run log radio stations report from: with "Keep an as-run log" on (asrun/enabled in
// kelvo.conf, off by default), every cart started on air appends a record when it starts and
// one when it ends to $XDG_DATA_HOME/kelvo/as-run/YYYY-MM-DD.csv (local time with its UTC
// offset, show, page, slot, caption, file, seconds played, how it ended: end, stop, fade, exit),
// RFC 4180 CSV with a header. It follows the command surface's changes alone. Records are
// written by a thread of its own from a bounded queue, each with one append, so a record is on
// disk whole or not at all, and a slow or full disk never holds up the window or the sound (what
// cannot be written is said on stderr, and dropped).
class AsRunLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMostQueued = 1000;

    // Adds its item to menu (the window's; null: none).
    AsRunLog(CommandSurface &commands, QMenu *menu, QObject *parent = nullptr);
    // A cart still on air ends with "exit".
    ~AsRunLog() override;

    // The folder the files are kept in.
    static QString folder();
    // Waits at most timeoutMs for every queued record to be written (an exit, a test).
    bool flush(int timeoutMs);

private:
    struct Record
    {
        QDateTime at;
        QByteArray line;
    };
    struct OnAir
    {
        QString show, caption, file, firedBy;
        int page = 0, slot = 0;
        double total = 0;
        QElapsedTimer clock;
        bool fading = false;
    };
    void changed(int what);
    void startRecord(const OnAir &cart);
    void endRecord(quint64 id, const QString &how);
    void queue(const QDateTime &at, const QStringList &fields);
    void run();

    CommandSurface &m_commands;
    QAction *m_action = nullptr;
    QHash<quint64, OnAir> m_onAir; // by the command surface's id of the cart (PlayingCart::id)
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Record> m_queue;
    int m_writing = 0; // records taken off the queue, not yet written
    bool m_stop = false;
    std::thread m_writer;
};
