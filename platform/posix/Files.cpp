#include "platform/posix/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>

#include "platform/Wildcard.h"
#include "platform/posix/Errors.h"
#include "platform/posix/FileIo.h"

namespace zb::posix {
namespace {

// The signal that ends a wait for a file lock at its time limit; nothing
// else in the program uses it.
constexpr int kLockTimeoutSignal = SIGALRM;

// Whether `path` itself (not a link's target) is the file `st` describes.
bool NamesFile(const std::string& path, const struct stat& st) {
    struct stat now;
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino;
}

}  // namespace

std::string NativePath(std::string_view path) {
    std::string native;
    native.reserve(path.size());
    for (char c : path) {
        if (c == '\\')
            c = '/';
        // A run of separators names the same file as one; one is kept, so
        // that the names in reports read as the user would write them.
        if (c == '/' && !native.empty() && native.back() == '/')
            continue;
        native += c;
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

int WaitForFileLock(const std::string& path, int milliseconds) {
    // O_NONBLOCK: a FIFO or a device put there must not hold the start up;
    // only a regular file serves as the lock.
    UniqueFd fd(
        ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
        return fd.Release();
    if (errno != EWOULDBLOCK || milliseconds <= 0)
        return -1;
    // Waited for in the kernel, which hands the lock on the moment its holder
    // lets go, with no polling while many starts queue for it. A timer's
    // signal to this thread alone (not to the toolkit's threads) ends the
    // wait at the time limit.
    struct sigaction ignore {};
    struct sigaction before {};
    ignore.sa_handler = [](int) {};
    sigemptyset(&ignore.sa_mask);
    ::sigaction(kLockTimeoutSignal, &ignore, &before);  // no SA_RESTART
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = kLockTimeoutSignal;
    event._sigev_un._tid = static_cast<pid_t>(::syscall(SYS_gettid));  // glibc names no field
    timer_t timer{};
    bool locked = false;
    if (::timer_create(CLOCK_MONOTONIC, &event, &timer) == 0) {
        itimerspec limit{};
        limit.it_value.tv_sec = milliseconds / 1000;
        limit.it_value.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
        ::timer_settime(timer, 0, &limit, nullptr);
        itimerspec left{};
        // Another signal may end the wait early: waited again while time is left.
        do {
            locked = ::flock(fd.get(), LOCK_EX) == 0;
        } while (!locked && errno == EINTR && ::timer_gettime(timer, &left) == 0 &&
                 (left.it_value.tv_sec > 0 || left.it_value.tv_nsec > 0));
        ::timer_delete(timer);
    }
    ::sigaction(kLockTimeoutSignal, &before, nullptr);
    return locked ? fd.Release() : -1;
}

OwnFiles::~OwnFiles() {
    for (const Created& file : created_)
        ::close(file.fd);
}

LockResult OwnFiles::TakeLock(const std::string& path) {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        // Read-only: the descriptor that stays open must not count as a
        // writer (a file system with a file open for writing cannot be made
        // read-only).
        bool created = true;
        UniqueFd fd(
            ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno != EEXIST)
                throw LockFileFailure(errno, path);
            created = false;
            // O_NONBLOCK: a FIFO put there must not hold the start up.
            fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (fd.get() < 0) {
                if (errno == ENOENT)
                    continue;  // its owner deleted it just now
                // A symbolic link (never followed), or a file this process
                // may not read: not a lock it could take.
                return LockResult::Held;
            }
        }
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) {
            // Without its identity the file could never be told apart from
            // someone else's; a new one is not kept.
            const int error = errno;
            if (created)
                ::unlink(path.c_str());
            throw LockFileFailure(error, path);
        }
        // Lock files are empty regular files; anything else stays alone.
        if (!S_ISREG(st.st_mode) || st.st_size != 0)
            return LockResult::Held;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            // Held by a running process (which may have taken over the file
            // this process has just made). A file system without flock
            // leaves a new file this process's by its creation, and an
            // existing one held, as if no process could be killed.
            if (errno == EWOULDBLOCK || !created)
                return LockResult::Held;
        } else if (!NamesFile(path, st)) {
            continue;  // deleted by its owner, perhaps replaced: start over
        }
        created_.push_back({fd.Release(), st.st_dev, st.st_ino});
        return created ? LockResult::Created : LockResult::TakenOver;
    }
    // The path kept naming another file at every try: others are busy with
    // it, and one of them holds it.
    return LockResult::Held;
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
        throw LockFileFailure(errno, path);
    }
    ::close(it->fd);
    created_.erase(it);
    return true;
}

}  // namespace zb::posix
