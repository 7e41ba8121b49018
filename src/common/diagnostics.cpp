#include "common/diagnostics.h"

#include "common/ratelimiter.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr size_t kMostQueuedLines = 64;
constexpr qsizetype kMostLineBytes = 1024;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Writer
{
public:
    // Never destroyed: the thread may sit in a write to a stderr nobody reads when the program
    // ends, and must not be joined then.
    static Writer &instance()
    {
        static Writer *writer = new Writer;
        return *writer;
    }

    void report(const QString &kind, const QString &peer, const QString &text)
    {
        std::unique_lock lock(m_mutex);
        const std::optional<QString> line = m_limiter.admit(kind + QLatin1Char('\n') + peer, text, nowNs());
        if (!line)
            return;
        if (m_queue.size() >= kMostQueuedLines) {
            ++m_dropped;
            return;
        }
        QByteArray bytes = QByteArrayLiteral("kelvo: ") + line->toUtf8().left(kMostLineBytes);
        if (m_dropped > 0) {
            bytes += " (" + QByteArray::number(m_dropped) + " lines dropped before: standard error was full)";
            m_dropped = 0;
        }
        m_queue.push_back(bytes + '\n');
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
        m_wake.notify_one();
    }

    void flush(int timeoutMs)
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_queue.empty() && !m_writing; });
    }

private:
    Writer() = default;

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            const QByteArray bytes = m_queue.front();
            m_queue.pop_front();
            m_writing = true;
            lock.unlock();
            for (qsizetype done = 0; done < bytes.size();) {
                const ssize_t n = ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break; // closed or broken: the line is lost, nothing else is
                done += n;
            }
            lock.lock();
            m_writing = false;
            if (m_queue.empty())
                m_idle.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<QByteArray> m_queue;
    bool m_writing = false;
    qint64 m_dropped = 0;
    RateLimiter m_limiter;
    std::thread m_thread;
};

void handleQtMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    static const char *const kinds[] = {"debug", "warning", "critical", "fatal", "info"};
    const char *kind = type >= 0 && type < 5 ? kinds[type] : "message";
    if (type == QtFatalMsg) {
        // The program ends now: written at once, whatever it costs.
        const QByteArray line = "kelvo: " + message.toLocal8Bit() + '\n';
        (void)!::write(STDERR_FILENO, line.constData(), size_t(line.size()));
        return;
    }
    Writer::instance().report(QString::fromLatin1(kind) + QLatin1Char(':') + message, QString(), message);
}

} // namespace

namespace Diagnostics {

void report(const QString &kind, const QString &peer, const QString &text)
{
    Writer::instance().report(kind, peer, text);
}

void installMessageHandler()
{
    qInstallMessageHandler(handleQtMessage);
}

void flush(int timeoutMs)
{
    Writer::instance().flush(timeoutMs);
}

} // namespace Diagnostics
