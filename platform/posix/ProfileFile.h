// The profile (INI) functions on files, for the Linux backend and
// profile-tool: platform/Profile's reader and writer on the bytes of a file,
// read with FileIo and written by atomic replacement.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/FileIo.h"

namespace zb::posix {

class ProfileFiles {
public:
    std::string GetString(const std::string& file,
                          const std::string& section,
                          const std::string& key,
                          const std::string& def,
                          int size);
    std::uint32_t GetInt(const std::string& file,
                         const std::string& section,
                         const std::string& key,
                         std::int32_t def);
    // Writes the key and replaces the file in one step. False, with the file
    // left as it was, when the write would break the file's lines, when the
    // file cannot be replaced, or when it is there but cannot be read (it must
    // not become a file that holds only this key). Only a missing file is
    // created.
    bool WriteString(const std::string& file,
                     const std::string& section,
                     const std::string& key,
                     const std::string& value);

private:
    // A settings file is read once for all of its settings, not once each.
    CachedFileReader reader_;
};

}  // namespace zb::posix
