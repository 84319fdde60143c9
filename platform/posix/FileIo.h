// Whole-file reads and crash-safe writes for the Linux backend and tools.
#pragma once

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
bool ReplaceFileAtomically(const std::string& path, const std::string& content);

}  // namespace zb::posix
