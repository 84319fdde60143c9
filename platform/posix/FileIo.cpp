#include "platform/posix/FileIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string_view>
#include <utility>

namespace zb::posix {
namespace {

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

// Temporary names beside the target: "." + the target's name (at most 200
// bytes, so that the name stays within the usual 255-byte limit) + "." + six
// letters or digits.
constexpr std::size_t kTempBaseBytes = 200;
constexpr std::size_t kTempSuffixBytes = 6;
constexpr char kTempLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// A temporary file of ours whose writer no longer holds its lock was left by
// a writer that was killed; the next write removes it. A living writer holds
// the lock from before the file has its name, but for the moment between
// making a named file and locking it where the file system has no unnamed
// files: a file younger than this is left alone.
constexpr std::time_t kStaleTempSeconds = 5;

std::string TempPrefix(const std::string& target, std::size_t slash) {
    return target.substr(0, slash + 1) + "." + target.substr(slash + 1, kTempBaseBytes) + ".";
}

bool IsTempLetter(char c) {
    return std::string_view(kTempLetters).find(c) != std::string_view::npos;
}

// Removes temporary files that a killed writer of the same target left
// behind. A living writer keeps an exclusive lock on its temporary file and
// keeps writing to it, so neither a young nor a locked file is touched, and
// nothing but our own name pattern is ever considered.
void RemoveStaleTemps(const std::string& dir, const std::string& prefixName) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), ::closedir);
    if (!stream)
        return;
    const std::time_t now = std::time(nullptr);
    const std::string dirSlash = dir == "/" ? dir : dir + "/";
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefixName.size() + kTempSuffixBytes ||
            name.substr(0, prefixName.size()) != prefixName)
            continue;
        bool pattern = true;
        for (char c : name.substr(prefixName.size()))
            pattern = pattern && IsTempLetter(c);
        if (!pattern)
            continue;
        const std::string path = dirSlash + std::string(name);
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || now - st.st_mtime < kStaleTempSeconds)
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file that was checked: not replaced in the meantime.
        struct stat again;
        if (::lstat(path.c_str(), &again) == 0 && again.st_dev == st.st_dev &&
            again.st_ino == st.st_ino)
            ::unlink(path.c_str());
    }
}

// Six random letters or digits.
std::string RandomSuffix() {
    unsigned char bytes[kTempSuffixBytes];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No random source: the clock and the process id still make
        // collisions rare, and a collision only means another try.
        struct timespec ts;
        ::clock_gettime(CLOCK_REALTIME, &ts);
        unsigned long long mix = static_cast<unsigned long long>(ts.tv_nsec) ^
                                 (static_cast<unsigned long long>(ts.tv_sec) << 20) ^
                                 (static_cast<unsigned long long>(::getpid()) << 40);
        for (auto& b : bytes) {
            b = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
        }
    }
    std::string suffix;
    for (unsigned char b : bytes)
        suffix += kTempLetters[b % (sizeof kTempLetters - 1)];
    return suffix;
}

// Gives an unnamed file (O_TMPFILE) a free temporary name; empty on failure.
std::string NameUnnamedFile(int fd, const std::string& prefix) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + RandomSuffix();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST)
            break;
    }
    return {};
}

// Sets the new file's owner and mode from the file it replaces, or the
// usual mode of a new file, and writes and flushes the contents.
bool FillFile(int fd, const std::string& content, bool exists, const struct stat& old) {
    bool ok;
    if (exists) {
        // The mode always stays; the owner too where that is allowed (only
        // root may give a file away, an ordinary user's copy becomes theirs).
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            static_cast<void>(::fchown(fd, old.st_uid, old.st_gid) == 0);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    } else {
        ok = ::fchmod(fd, 0666 & ~CurrentUmask()) == 0;
    }
    return ok && WriteAll(fd, content) && ::fsync(fd) == 0;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool UniqueFd::Close() {
    const int fd = Release();
    return fd >= 0 && ::close(fd) == 0;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TempFile::~TempFile() {
    fd_.Close();
    if (!path_.empty())
        ::unlink(path_.c_str());
}

bool TempFile::Create(std::string pattern) {
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    Adopt(std::move(fd), std::move(pattern));
    return true;
}

void TempFile::Adopt(UniqueFd fd, std::string path) {
    fd_ = std::move(fd);
    path_ = std::move(path);
}

std::optional<std::string> ReadRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is
    // checked on the open descriptor, so nothing can swap the file between.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
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
    // The rename would replace a file whatever its own permission says: a
    // file this user may not write, or one without any write permission
    // (marked read-only, which root is held to as well), stays as it is.
    if (exists && (::access(target.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0))
        return false;

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == 0 ? std::string("/") : target.substr(0, slash);
    const std::string prefix = TempPrefix(target, slash);
    RemoveStaleTemps(dir, prefix.substr(slash + 1));

    // The contents go into an unnamed file first, which vanishes by itself
    // when the process is killed while writing; it gets its temporary name
    // only when it is complete, just before the rename. File systems without
    // unnamed files get a named temporary file from the start. Until the
    // rename succeeds, a named temporary file is removed on every way out.
    TempFile temp;
    UniqueFd unnamed(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (unnamed.get() >= 0) {
        static_cast<void>(::flock(unnamed.get(), LOCK_EX | LOCK_NB));
        if (!FillFile(unnamed.get(), content, exists, old))
            return false;
        std::string name = NameUnnamedFile(unnamed.get(), prefix);
        if (!name.empty()) {
            temp.Adopt(std::move(unnamed), std::move(name));
            if (!temp.Close())
                return false;
        }
    }
    if (temp.path().empty()) {
        if (!temp.Create(prefix + "XXXXXX"))
            return false;
        // Marks the file as being written, for RemoveStaleTemps.
        static_cast<void>(::flock(temp.fd(), LOCK_EX | LOCK_NB));
        bool ok = FillFile(temp.fd(), content, exists, old);
        ok = temp.Close() && ok;
        if (!ok)
            return false;
    }
    if (::rename(temp.path().c_str(), target.c_str()) != 0)
        return false;
    temp.Keep();

    // Make the rename itself durable. The new contents are in place already,
    // so a directory that cannot be synced does not make the write fail.
    UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0)
        ::fsync(dirFd.get());
    return true;
}

bool CachedFileReader::Stamp::operator==(const Stamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
}

const std::optional<std::string>& CachedFileReader::Read(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        valid_ = false;
        content_.reset();
        return content_;
    }
    const Stamp stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    if (valid_ && path == path_ && stamp == stamp_)
        return content_;
    // Stamped before reading: a change made while reading gives a newer
    // stamp, so the next read notices it.
    content_ = ReadRegularFile(path);
    valid_ = content_.has_value();
    path_ = path;
    stamp_ = stamp;
    return content_;
}

}  // namespace zb::posix
