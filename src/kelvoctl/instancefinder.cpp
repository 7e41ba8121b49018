#include "kelvoctl/instancefinder.h"

#include "platform/instancename.h"
#include "platform/runtimefolder.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#ifndef KELVO_INSTALL_FULL_BINDIR
#define KELVO_INSTALL_FULL_BINDIR "/usr/local/bin"
#endif

namespace {

std::string realPath(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool isExecutableFile(const std::string &path)
{
    struct stat info
    { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// An installed copy never writes beside itself: the same folders as the program's own list.
bool isSystemFolder(const std::string &folder)
{
    const std::string canonical = realPath(folder);
    if (canonical.empty())
        return false;
    for (const char *system : {"/usr/bin", "/usr/local/bin", "/bin", "/usr/games", KELVO_INSTALL_FULL_BINDIR}) {
        if (realPath(system) == canonical)
            return true;
    }
    return false;
}

std::string findProgram(const std::string &ownPath)
{
    // Beside kelvoctl first (a portable copy, a build tree), as the user started it.
    std::string own = realPath("/proc/self/exe");
    if (own.empty())
        own = realPath(ownPath);
    if (!own.empty() && isExecutableFile(folderOf(own) + "/kelvo"))
        return folderOf(own) + "/kelvo";
    const char *path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && isExecutableFile(folder + "/kelvo"))
            return folder + "/kelvo";
        start = end + 1;
    }
    return {};
}

} // namespace

std::string InstanceFinder::trackListPath(const std::string &folder)
{
    const std::string beside = folder + "/Quorbel";
    const char *config = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    std::string userFolder;
    if (config && *config)
        userFolder = std::string(config) + "/kelvo";
    else if (home && *home)
        userFolder = std::string(home) + "/.config/kelvo";
    const std::string user = userFolder.empty() ? beside : userFolder + "/Quorbel";
    const bool besideWritable = ::access(folder.c_str(), W_OK) == 0
        || (::access(beside.c_str(), F_OK) == 0 && ::access(beside.c_str(), W_OK) == 0);
    if (!isSystemFolder(folder) && besideWritable)
        return beside;
    return user;
}

InstanceFinder::InstanceFinder(const std::string &ownPath)
    : m_program(findProgram(ownPath))
{
    if (m_program.empty()) {
        m_error = "no kelvo program beside kelvoctl or on PATH";
        return;
    }
    // The program's folder as it sees it: its executable with links resolved.
    const std::string folder = folderOf(realPath(m_program));
    const std::optional<std::string> runtime = privateRuntimeFolder(std::getenv("XDG_RUNTIME_DIR"), &m_error);
    if (!runtime)
        return;
    m_socketPath = instanceSocketPath(*runtime, trackListPath(folder));
}
