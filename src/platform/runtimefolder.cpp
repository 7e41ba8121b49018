#include "platform/runtimefolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// True when path is a real folder (no symbolic link) of this user's that only the user may use.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat info
    { };
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 0077) == 0;
}

} // namespace

std::optional<QString> privateRuntimeFolder(QString *errorMessage)
{
    // Qt falls back to a folder of its own choosing when this one is unsafe, and says so on
    // stderr; two programs that decide differently would never find each other.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    const QByteArray fallback = "/tmp/kelvo-" + QByteArray::number(qulonglong(::geteuid()));
    if (::mkdir(fallback.constData(), 0700) != 0 && errno != EEXIST) {
        if (errorMessage)
            *errorMessage = QStringLiteral("%1: %2").arg(QFile::decodeName(fallback),
                                                         QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    if (!isPrivateFolder(fallback)) {
        if (errorMessage)
            *errorMessage =
                QStringLiteral("%1 belongs to someone else or is open to others").arg(QFile::decodeName(fallback));
        return std::nullopt;
    }
    return QFile::decodeName(fallback);
}
