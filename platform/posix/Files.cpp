#include "platform/posix/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/Wildcard.h"
#include "platform/posix/Errors.h"
#include "platform/posix/FileIo.h"

namespace zb::posix {

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

}  // namespace zb::posix
