#include "platform/qt/PosixOps.h"

#include "platform/Wildcard.h"

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "platform/Failure.h"
#include "platform/Text.h"

extern char** environ;

namespace zb::qt {
namespace {

// The failure for a system call on `path`, by the kind of errno.
Failure PathFailure(int error, int notFoundNumber, const std::string& path) {
    int number = kErrPathFileAccess;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            number = notFoundNumber;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            number = kErrPermissionDenied;
            break;
        default:
            break;
    }
    return MakeFailure(number, path + ": " + std::strerror(error));
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// strftime's output is in the locale's own character set (Latin-1 for
// de_DE, say); the platform interface speaks UTF-8.
std::string LocaleToUtf8(const std::string& text) {
    std::mbstate_t state{};
    const char* src = text.c_str();
    std::size_t length = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (length == static_cast<std::size_t>(-1))
        return text;
    std::vector<wchar_t> wide(length + 1);
    state = std::mbstate_t{};
    src = text.c_str();
    std::mbsrtowcs(wide.data(), &src, wide.size(), &state);
    std::string out;
    for (std::size_t i = 0; i < length; ++i)
        AppendUtf8(out, static_cast<char32_t>(wide[i]));
    return out;
}

std::string FormatTime(std::time_t when, nl_item item) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char buffer[256];
    std::size_t length = std::strftime(buffer, sizeof buffer, ::nl_langinfo(item), &local);
    return LocaleToUtf8(std::string(buffer, length));
}

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

}  // namespace

std::string NativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

bool FindRegularFile(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string dir;
    std::string last;
    if (slash == std::string::npos) {
        dir = ".";
        last = path;
    } else {
        dir = slash == 0 ? "/" : path.substr(0, slash);
        last = path.substr(slash + 1);
    }
    if (last.empty() || last[0] == '.')
        return false;
    if (last.find_first_of("*?") == std::string::npos)
        return IsRegularFile(path);

    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), ::closedir);
    if (!stream)
        return false;
    while (const dirent* entry = ::readdir(stream.get())) {
        std::string_view name = entry->d_name;
        if (name.empty() || name[0] == '.' || !WildcardMatch(last, name))
            continue;
        if (IsRegularFile(dir + "/" + std::string(name)))
            return true;
    }
    return false;
}

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
        throw MakeFailure(kErrPathFileAccess,
                          std::string("/proc/self/exe: ") + std::strerror(errno));
    std::string exe(buffer.data(), static_cast<std::size_t>(length));
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : exe.substr(0, slash);
}

OwnFiles::~OwnFiles() {
    for (const Created& file : created_)
        ::close(file.fd);
}

CreateResult OwnFiles::Create(const std::string& path) {
    // Read-only: the descriptor that stays open must not count as a writer
    // (a file system with a file open for writing cannot be made read-only).
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return CreateResult::AlreadyExists;
        throw PathFailure(errno, kErrPathNotFound, path);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        // Without its identity the file could never be told apart from
        // someone else's; it is not kept.
        const int error = errno;
        ::unlink(path.c_str());
        ::close(fd);
        throw PathFailure(error, kErrPathNotFound, path);
    }
    created_.push_back({fd, st.st_dev, st.st_ino});
    return CreateResult::Created;
}

bool OwnFiles::Delete(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    auto it = std::find_if(created_.begin(), created_.end(), [&](const Created& file) {
        return file.device == st.st_dev && file.inode == st.st_ino;
    });
    if (it == created_.end())
        return false;
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT)
            return false;
        throw PathFailure(errno, kErrPathNotFound, path);
    }
    ::close(it->fd);
    created_.erase(it);
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
    int error = ::posix_spawn(&pid, path.c_str(), nullptr, &attributes, argv, environ);
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

std::string LocaleDateText(std::time_t when) {
    return FormatTime(when, D_FMT);
}

std::string LocaleTimeText(std::time_t when) {
    return FormatTime(when, T_FMT);
}

}  // namespace zb::qt
