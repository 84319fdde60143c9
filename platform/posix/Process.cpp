#include "platform/posix/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/Errors.h"

extern char** environ;

namespace zb::posix {
namespace {

// The programs this process started and has not reaped yet. Atomics, because
// the SIGCHLD handler reads and clears them.
constexpr int kMaxChildren = 64;
std::atomic<pid_t> gChildren[kMaxChildren];
struct sigaction gPreviousChildAction;

void ReapChildren() {
    for (auto& slot : gChildren) {
        pid_t pid = slot.load();
        int status;
        if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid)
            slot.store(0);
    }
}

void OnChildSignal(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    ReapChildren();
    // Whoever handled SIGCHLD before us (a toolkit's process class) still
    // gets to see it.
    if (gPreviousChildAction.sa_flags & SA_SIGINFO) {
        if (gPreviousChildAction.sa_sigaction)
            gPreviousChildAction.sa_sigaction(signal, info, context);
    } else if (gPreviousChildAction.sa_handler != SIG_DFL &&
               gPreviousChildAction.sa_handler != SIG_IGN) {
        gPreviousChildAction.sa_handler(signal);
    }
    errno = savedErrno;
}

void RememberChild(pid_t pid) {
    for (auto& slot : gChildren) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            break;
    }
    // The program may have ended before its slot was filled.
    ReapChildren();
}

// The environment of started programs (KeepProgramEnvironment): the strings
// and the null-terminated array pointing into them.
std::vector<std::string> gProgramEnvironment;
std::vector<char*> gProgramEnvironmentArray;

bool IsSocket(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string JoinArguments(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
}

std::string ExecutableDirectory() {
    std::vector<char> buffer(PATH_MAX);
    ssize_t length;
    // The link's target can be longer than PATH_MAX on some file systems.
    while ((length = ::readlink("/proc/self/exe", buffer.data(), buffer.size())) ==
           static_cast<ssize_t>(buffer.size()))
        buffer.resize(buffer.size() * 2);
    if (length < 0)
        throw SystemFailure(kErrPathFileAccess, "/proc/self/exe", errno);
    std::string exe(buffer.data(), static_cast<std::size_t>(length));
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

void KeepProgramEnvironment() {
    gProgramEnvironment.clear();
    for (char** entry = environ; *entry; ++entry)
        gProgramEnvironment.emplace_back(*entry);
    gProgramEnvironmentArray.clear();
    for (std::string& entry : gProgramEnvironment)
        gProgramEnvironmentArray.push_back(entry.data());
    gProgramEnvironmentArray.push_back(nullptr);
}

bool AvoidStartingSessionServices() {
    const std::string runtime = Variable("XDG_RUNTIME_DIR");
    if (!Variable("DBUS_SESSION_BUS_ADDRESS").empty() ||
        (!runtime.empty() && IsSocket(runtime + "/bus")))
        return false;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    if (Variable("PULSE_SERVER").empty()) {
        // The servers the sound library would look for itself, in its order.
        std::string servers;
        if (const std::string own = Variable("PULSE_RUNTIME_PATH"); !own.empty())
            servers = "unix:" + own + "/native ";
        else if (!runtime.empty())
            servers = "unix:" + runtime + "/pulse/native ";
        servers += "unix:/var/run/pulse/native";
        ::setenv("PULSE_SERVER", servers.c_str(), 1);
    }
    return true;
}

void SpawnProgram(const std::string& path) {
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    // The program starts with default signal actions and an empty mask,
    // whatever this process has set up for itself.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGCHLD, SIGPIPE, SIGTERM, SIGHUP, SIGINT})
        sigaddset(&defaults, signal);
    sigset_t empty;
    sigemptyset(&empty);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setsigmask(&attributes, &empty);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::string program = path;
    char* argv[] = {program.data(), nullptr};
    pid_t pid;
    // posix_spawn, not posix_spawnp: the path is used as given and never
    // searched for. glibc reports a failed exec as the return value.
    char** environment =
        gProgramEnvironmentArray.empty() ? environ : gProgramEnvironmentArray.data();
    int error = ::posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv, environment);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0)
        throw PathFailure(error, kErrFileNotFound, path);
    RememberChild(pid);
}

void InstallChildReaper() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action {};
    action.sa_sigaction = OnChildSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGCHLD, &action, &gPreviousChildAction);
}

void PrintErrorLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line += ' ';
        } else {
            line += c;
        }
    }
    std::fprintf(stderr, "%s: %s\n", kProgramName, line.c_str());
    std::fflush(stderr);
}

}  // namespace zb::posix
