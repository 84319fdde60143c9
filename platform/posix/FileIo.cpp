#include "platform/posix/FileIo.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zb::posix {
namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports the result; a late write error shows up here.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The canonical form of an existing path; empty when it does not resolve.
std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// The process's file-creation mask, read without changing it where the
// system tells it; otherwise set and restored at once.
mode_t CurrentUmask() {
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned int mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The file that a write to `path` replaces: a symbolic link is followed to
// its target. For a path that does not exist yet, its directory must.
// Empty when there is nothing that can be replaced or created.
std::string ReplaceTarget(const std::string& path) {
    std::string target = RealPath(path);
    if (!target.empty())
        return target;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0)
        return {};  // a link that leads nowhere, or a path that cannot be resolved
    if (errno != ENOENT)
        return {};
    const std::size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0               ? std::string("/")
                                                       : path.substr(0, slash);
    if (base.empty() || base == "." || base == "..")
        return {};
    const std::string realDir = RealPath(dir);
    if (realDir.empty() || ::stat(realDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return (realDir == "/" ? realDir : realDir + "/") + base;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is
    // checked on the open descriptor, so nothing can swap the file between.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string content;
    if (st.st_size > 0)
        content.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    return content;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
    const std::string target = ReplaceTarget(path);
    if (target.empty())
        return false;

    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return false;
    if (!exists && errno != ENOENT)
        return false;

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == 0 ? std::string("/") : target.substr(0, slash);
    // ".<name>.XXXXXX" beside the target; a long name is shortened so that
    // the temporary name stays within the usual 255-byte limit.
    std::string temp =
        target.substr(0, slash + 1) + "." + target.substr(slash + 1, 200) + ".XXXXXX";
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return false;

    bool ok = true;
    if (exists) {
        // The mode always stays; the owner too where that is allowed (only
        // root may give a file away, an ordinary user's copy becomes theirs).
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            static_cast<void>(::fchown(fd.get(), old.st_uid, old.st_gid) == 0);
        ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    } else {
        ok = ::fchmod(fd.get(), 0666 & ~CurrentUmask()) == 0;
    }
    ok = ok && WriteAll(fd.get(), content) && ::fsync(fd.get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }

    // Make the rename itself durable. The new contents are in place already,
    // so a directory that cannot be synced does not make the write fail.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0)
        ::fsync(dirFd.get());
    return true;
}

}  // namespace zb::posix
