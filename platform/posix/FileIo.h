// Files as bytes for the Linux backend, the sound and the tools: whole-file
// reads, crash-safe replacement, and the small descriptor and temporary-file
// wrappers they are built from.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace zb::posix {

// A file descriptor that is closed when it goes out of scope.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const { return fd_; }
    // Closes now and reports the result; a late write error shows up here.
    bool Close();
    // Hands the descriptor over; this no longer closes it.
    int Release();

private:
    int fd_;
};

// Writes all of `data`, going on after interruptions; false on an error.
bool WriteAll(int fd, std::string_view data);

// Whether `path` names a regular file (a symbolic link counts by its target).
bool IsRegularFile(const std::string& path);

// A new private file (mode 0600, closed on exec) that is removed again when
// this goes out of scope, unless it is kept.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    // Creates a file named `pattern` with its last six characters ("XXXXXX")
    // made unique; false when none can be made.
    bool Create(std::string pattern);
    // Takes on a file already made: its descriptor and its name.
    void Adopt(UniqueFd fd, std::string path);

    int fd() const { return fd_.get(); }
    // Empty before Create or Adopt succeeded, and once kept.
    const std::string& path() const { return path_; }
    // Closes the descriptor, keeping the file; false when written data may
    // not have reached it.
    bool Close() { return fd_.Close(); }
    // Leaves the file where it is (it has been renamed into place, say).
    void Keep() { path_.clear(); }

private:
    UniqueFd fd_;
    std::string path_;
};

// The bytes of a regular file; nullopt when it is missing, unreadable, or not
// a regular file (a directory or a FIFO is never opened for a blocking read).
std::optional<std::string> ReadRegularFile(const std::string& path);

// Replaces the file's contents in one step: a temporary file in the same
// directory, flushed to disk, then renamed over the target (through a symbolic
// link, its target is replaced). Either the old or the new contents survive a
// crash or a full disk. Returns false, leaving the old file intact, on failure
// and for a file this user may not write or that has no write permission at
// all (a file marked read-only is never replaced, not even by root).
// The contents are written into an unnamed file where the file system offers
// one, so a writer killed meanwhile leaves nothing behind; a named temporary
// file (".NAME.XXXXXX") that a killed writer did leave is removed by a later
// write once no writer holds it (and it is a few seconds old).
bool ReplaceFileAtomically(const std::string& path, const std::string& content);

// ReadRegularFile for a file that is read many times in a row, as the
// settings file is (every setting is a read of its own): the bytes of the
// last read come back without reading again while the path still names the
// same, unchanged file (device, inode, size, modification and change times).
// File times are coarse (a few milliseconds), so a rewrite in place to the
// same size within one such tick goes unnoticed: meant for a burst of reads,
// not for watching a file over time.
class CachedFileReader {
public:
    const std::optional<std::string>& Read(const std::string& path);

private:
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const Stamp& other) const;
    };
    bool valid_ = false;
    std::string path_;
    Stamp stamp_;
    std::optional<std::string> content_;
};

}  // namespace zb::posix
