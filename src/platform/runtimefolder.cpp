#include "platform/runtimefolder.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// True when path is a real folder (no symbolic link) of this user's that only the user may use.
bool isPrivateFolder(const std::string &path)
{
    struct stat info
    { };
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 0077) == 0;
}

} // namespace

std::optional<std::string> privateRuntimeFolder(const char *runtimeDir, std::string *errorMessage)
{
    // Qt falls back to a folder of its own choosing when this one is unsafe, and says so on
    // stderr; two programs that decide differently would never find each other.
    if (runtimeDir && *runtimeDir && isPrivateFolder(runtimeDir))
        return std::string(runtimeDir);
    const std::string fallback = "/tmp/kelvo-" + std::to_string(::geteuid());
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        if (errorMessage)
            *errorMessage = fallback + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (!isPrivateFolder(fallback)) {
        if (errorMessage)
            *errorMessage = fallback + " belongs to someone else or is open to others";
        return std::nullopt;
    }
    return fallback;
}
