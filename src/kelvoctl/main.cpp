// kelvoctl: the running Kelvo's commands from a shell, a desktop shortcut or a control desk,
// without loading Qt: it speaks the instance socket's one-line protocol and nothing else, so a
// command reaches the program as fast as the sound server itself could be asked.
#include "kelvoctl/instancefinder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 3000;

const char kUsage[] = "Usage: kelvoctl COMMAND\n"
                      "Acts on the Kelvo running with its track list, as a click or a key would.\n"
                      "\n"
                      "Commands:\n"
                      "  fire N    plays slot N (1-12), or stops it when it plays; starts Kelvo first when none runs\n"
                      "  page P    shows page P (1-99) of the show\n"
                      "  stop      stops what plays\n"
                      "  fade      fades out what plays (the cart fired last, where carts play together)\n"
                      "  go        fires the next cue of a page run in order (as Space)\n"
                      "  next      prints that next cue: its page, slot and caption\n"
                      "  stop-all  stops every cart that plays, at once\n"
                      "  fade-all  fades out every cart that plays\n"
                      "  playing   prints one line a playing cart: its page and slot (0 0: its page is gone),\n"
                      "            the remaining and the total seconds, and its caption\n"
                      "  state     prints the playing slot (0: none), the remaining and the total seconds,\n"
                      "            the playing slot's page (0: none) and the page shown\n"
                      "  --help    shows this help\n"
                      "  --version shows the version\n"
                      "\n"
                      "Exit status: 0 when done; 1 when no Kelvo runs (page, stop, fade, state), or it did not answer\n"
                      "within 3 s, or answered only after more than a second (then nothing was done); 2 for a bad\n"
                      "argument.\n";

int bad(const char *why)
{
    std::fprintf(stderr,
                 "kelvoctl: %s\nUsage: kelvoctl fire N | page P | stop | fade | state (kelvoctl --help tells more)\n",
                 why);
    return 2;
}

long long nowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// Waits for fd to be ready for events, at most until deadline (ms on the monotonic clock).
bool waitFor(int fd, short events, long long deadline)
{
    for (;;) {
        const long long left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, int(left));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

// NoInstance: nothing listens there; Silent: one took the request but did not answer in time
// (it hangs, or is stopped), so it must not be started a second time either.
enum class Asked { Answered, NoInstance, Silent };

// Sends request to the instance at socketPath; the answer line in answer.
Asked ask(const std::string &socketPath, const std::string &request, std::string &answer)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path))
        return Asked::NoInstance;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return Asked::NoInstance;
    const long long deadline = nowMs() + kTimeoutMs;
    Asked result = Asked::NoInstance;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0) {
        // Stamped with when it was sent: a Kelvo that reads it only after a hang does not act on it.
        const std::string line = "@" + std::to_string(nowMs()) + " " + request + "\n";
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size())) {
            result = Asked::Silent;
            char buffer[256];
            while (answer.find('\n') == std::string::npos && answer.size() < 4096 && waitFor(fd, POLLIN, deadline)) {
                const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
                if (got <= 0)
                    break;
                answer.append(buffer, size_t(got));
            }
            if (answer.find('\n') != std::string::npos) {
                answer.resize(answer.find('\n'));
                result = Asked::Answered;
            }
        }
    }
    ::close(fd);
    return result;
}

// Starts kelvo --fire slot on its own, not waiting for it: it becomes the running instance.
int startProgram(const std::string &program, const std::string &slot)
{
    const pid_t child = ::fork();
    if (child < 0) {
        std::fprintf(stderr, "kelvoctl: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
        return 1;
    }
    if (child == 0) {
        // A session of its own, and nothing of the caller's pipes held open: a desk that waits
        // for kelvoctl's output to close is not kept waiting for the program's life.
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            if (!::isatty(STDERR_FILENO))
                ::dup2(null, STDERR_FILENO);
        }
        const char *argv[] = {program.c_str(), "--fire", slot.c_str(), nullptr};
        ::execv(program.c_str(), const_cast<char *const *>(argv));
        _exit(127);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2)
        return bad("a command is needed");
    const std::string verb = argv[1];
    if (verb == "--help" || verb == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (verb == "--version" || verb == "-v") {
        std::printf("kelvoctl %s\n", KELVO_VERSION);
        return 0;
    }
    std::string request;
    std::string slot;
    if (verb == "fire") {
        if (argc != 3)
            return bad("fire needs a slot, 1 to 12");
        slot = argv[2];
        char *end = nullptr;
        errno = 0;
        const long number = std::strtol(slot.c_str(), &end, 10);
        if (slot.empty() || *end != '\0' || errno != 0 || number < 1 || number > 12)
            return bad("slots are 1 to 12");
        slot = std::to_string(number);
        request = "fire " + slot;
    } else if (verb == "page") {
        const std::string page = argc == 3 ? argv[2] : "";
        char *end = nullptr;
        errno = 0;
        const long number = std::strtol(page.c_str(), &end, 10);
        if (argc != 3 || page.empty() || *end != '\0' || errno != 0 || number < 1 || number > 99)
            return bad("page needs a page, 1 to 99");
        request = "page " + std::to_string(number);
    } else if (verb == "stop" || verb == "fade" || verb == "state" || verb == "stop-all" || verb == "fade-all"
               || verb == "playing" || verb == "go" || verb == "next") {
        if (argc != 2)
            return bad("this command takes no argument");
        request = verb;
    } else {
        return bad(("unknown command \"" + verb.substr(0, 80) + "\"").c_str());
    }

    const InstanceFinder finder(argv[0]);
    std::string answer;
    const Asked asked = finder.socketPath().empty() ? Asked::NoInstance : ask(finder.socketPath(), request, answer);
    if (asked == Asked::Silent) {
        std::fprintf(stderr, "kelvoctl: Kelvo did not answer (in %d s at most); not acted on\n", kTimeoutMs / 1000);
        return 1;
    }
    if (asked == Asked::Answered) {
        if (answer.rfind("late", 0) == 0) {
            std::fprintf(stderr, "kelvoctl: Kelvo answered too late (%s)\n",
                         answer.size() > 5 ? answer.c_str() + 5 : "");
            return 1;
        }
        if (answer.rfind("error", 0) == 0) {
            std::fprintf(stderr, "kelvoctl: %s\n", answer.size() > 6 ? answer.c_str() + 6 : "refused");
            return 2;
        }
        if (verb == "state")
            std::printf("%s\n", answer.c_str());
        if (verb == "next") {
            if (answer.rfind("none", 0) == 0) {
                std::fprintf(stderr, "kelvoctl: %s\n", answer.size() > 5 ? answer.c_str() + 5 : "no next cue");
                return 1;
            }
            std::printf("%s\n", answer.c_str());
        }
        if (verb == "playing" && answer != "none") {
            // One line a cart: its records come split by tabs.
            for (char &c : answer)
                c = c == '\t' ? '\n' : c;
            std::printf("%s\n", answer.c_str());
        }
        return 0;
    }
    if (verb != "fire") {
        std::fputs("kelvoctl: no Kelvo is running\n", stderr);
        return 1;
    }
    if (finder.program().empty()) {
        std::fprintf(stderr, "kelvoctl: %s\n", finder.error().c_str());
        return 1;
    }
    // None answers: the program starts and plays the slot, as kelvo --fire does.
    return startProgram(finder.program(), slot);
}
