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
// settings file serves both platforms. A run of separators becomes one.
std::string NativePath(std::string_view path);

// FileExists on a native path: true when the last component names (or, with
// wildcards, matches) at least one regular file in its directory. A symbolic
// link to a regular file counts; directories, other special files and hidden
// names (starting with '.') never do. Never throws.
bool FindRegularFile(const std::string& path);

// An exclusive flock on `path` (made when missing, mode 0600, never through a
// symbolic link), waited for at most `milliseconds`: the descriptor that
// holds it (closing it gives the lock up; it is not inherited by programs
// started later), or -1 when the file cannot be opened, is no regular file
// (a FIFO there is never waited on) or the time ran out.
// The file itself stays: deleting it would let two holders lock two files.
int WaitForFileLock(const std::string& path, int milliseconds);

// Takes lock files, holds them, and deletes only the ones it took.
//
// A lock file is held by an exclusive flock on a descriptor that stays open,
// read-only, for the whole run. The system drops the lock when the process
// ends, however it ends, so a lock file that nobody holds was left by a
// process that was killed; it is taken over. The owner of a lock is the
// process that holds the flock on the file its path names: each take checks,
// once it holds the flock, that the path still names that file (its owner
// may have just deleted it), and starts over when not.
//
// A taken file is recognised by its device and inode number. A file system
// hands a freed inode number to the next new file at once (ext4 does), so a
// lock that someone deleted and replaced by a file of their own would often
// carry our old number; the open descriptor keeps the inode from being
// freed, so its number cannot turn up on another file. Other processes can
// still delete, replace or rename the file.
class OwnFiles {
public:
    OwnFiles() = default;
    OwnFiles(const OwnFiles&) = delete;
    OwnFiles& operator=(const OwnFiles&) = delete;
    ~OwnFiles();

    // Creates the lock file `path`, or takes over one that no process holds;
    // never through a symbolic link. Failures to create it throw Failure.
    LockResult TakeLock(const std::string& path);
    // Deletes `path` when it is still the file TakeLock took; false when it
    // is gone or has been replaced, which is then left alone.
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
