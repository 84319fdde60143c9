// Files by name on POSIX: the logic's paths as file names, the directory
// search of FileExists and the lock files this process creates and deletes.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace zb::posix {

// The logic joins paths with "\"; on Linux each one becomes "/", so that one
// settings file serves both platforms.
std::string NativePath(std::string_view path);

// FileExists on a native path: true when the last component names (or, with
// wildcards, matches) at least one regular file in its directory. A symbolic
// link to a regular file counts; directories, other special files and hidden
// names (starting with '.') never do. Never throws.
bool FindRegularFile(const std::string& path);

// Creates lock files and deletes only the ones it created.
//
// A created file is recognised by its device and inode number. A file system
// hands a freed inode number to the next new file at once (ext4 does), so a
// lock that someone deleted and replaced by a file of their own would often
// carry our old number. Each created file therefore stays open, read-only,
// until it is deleted: an inode that is still open is never freed, so its
// number cannot turn up on another file. The descriptor blocks nothing for
// other processes; they can delete, replace or rename the file as before.
class OwnFiles {
public:
    OwnFiles() = default;
    OwnFiles(const OwnFiles&) = delete;
    OwnFiles& operator=(const OwnFiles&) = delete;
    ~OwnFiles();

    // Creates an empty file only when nothing exists at `path`, never through
    // a symbolic link. Other failures throw Failure.
    CreateResult Create(const std::string& path);
    // Deletes `path` when it is still the file Create made; false when it is
    // gone or has been replaced, which is then left alone.
    bool Delete(const std::string& path);

private:
    struct Created {
        int fd;
        dev_t device;
        ino_t inode;
    };
    std::vector<Created> created_;
};

}  // namespace zb::posix
