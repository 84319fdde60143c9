#include "platform/posix/ProfileFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "platform/Profile.h"

namespace zb::posix {

std::string ProfileFiles::GetString(const std::string& file,
                                    const std::string& section,
                                    const std::string& key,
                                    const std::string& def,
                                    int size) {
    return profile::GetString(reader_.Read(file), section, key, def, size);
}

std::uint32_t ProfileFiles::GetInt(const std::string& file,
                                   const std::string& section,
                                   const std::string& key,
                                   std::int32_t def) {
    return profile::GetInt(reader_.Read(file), section, key, def);
}

bool ProfileFiles::WriteString(const std::string& file,
                               const std::string& section,
                               const std::string& key,
                               const std::string& value) {
    if (!profile::IsWritable(section, key, value))
        return false;
    const std::optional<std::string> content = ReadRegularFile(file);
    struct stat st;
    if (!content && (::stat(file.c_str(), &st) == 0 || errno != ENOENT))
        return false;
    return ReplaceFileAtomically(file, profile::WriteString(content, section, key, value));
}

}  // namespace zb::posix
