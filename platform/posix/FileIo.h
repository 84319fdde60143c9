// Whole-file reads and crash-safe writes for the Linux backend and tools.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>

namespace zb::posix {

// The bytes of a regular file; nullopt when it is missing, unreadable, or not
// a regular file (a directory or a FIFO is never opened for a blocking read).
std::optional<std::string> ReadRegularFile(const std::string& path);

// Replaces the file's contents in one step: a temporary file in the same
// directory, flushed to disk, then renamed over the target (through a symbolic
// link, its target is replaced). Either the old or the new contents survive a
// crash or a full disk. Returns false, leaving the old file intact, on failure.
// The contents are written into an unnamed file where the file system offers
// one, so a writer killed meanwhile leaves nothing behind; a named temporary
// file (".NAME.XXXXXX") that a killed writer did leave is removed by a later
// write once it is a minute old and no writer holds it.
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
