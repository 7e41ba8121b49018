#include "platform/locallistener.h"

#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

LocalListener::LocalListener(QObject *parent)
    : QObject(parent)
{ }

LocalListener::~LocalListener()
{
    close();
}

bool LocalListener::listen(const QString &path, QString *errorMessage, bool *addressInUse)
{
    close();
    if (addressInUse)
        *addressInUse = false;
    const auto fail = [errorMessage](const QString &why) {
        if (errorMessage)
            *errorMessage = why;
        return false;
    };
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof(address.sun_path))
        return fail(QStringLiteral("the socket's path is too long: %1").arg(path));
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    // Owner-only from the moment it exists: the folder is private too, this is belt and braces.
    const mode_t mask = ::umask(0077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    const int bindError = errno;
    ::umask(mask);
    if (bound != 0 || ::listen(fd, 64) != 0) {
        const int error = bound != 0 ? bindError : errno;
        ::close(fd);
        if (addressInUse)
            *addressInUse = error == EADDRINUSE;
        return fail(QString::fromLocal8Bit(std::strerror(error)));
    }
    m_fd = fd;
    m_path = path;
    m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LocalListener::acceptAll);
    return true;
}

void LocalListener::close()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    if (m_spareFd >= 0)
        ::close(m_spareFd);
    m_spareFd = -1;
    ::unlink(QFile::encodeName(m_path).constData());
    m_path.clear();
}

void LocalListener::acceptAll()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if ((errno == EMFILE || errno == ENFILE) && m_spareFd >= 0) {
                // Out of descriptors: take the waiting client with the spare one and close it
                // at once, so it is not offered again and again, then hold a spare again.
                ::close(m_spareFd);
                const int refused = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (refused >= 0)
                    ::close(refused);
                m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            return; // EAGAIN: none waits; anything else: the next one may fare better
        }
        if (m_clients >= kMostClients) {
            ::close(fd);
            continue;
        }
        auto *client = new QLocalSocket(this);
        if (!client->setSocketDescriptor(qintptr(fd), QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
            ::close(fd);
            delete client;
            continue;
        }
        ++m_clients;
        connect(client, &QObject::destroyed, this, [this] { --m_clients; });
        emit newClient(client);
    }
}
