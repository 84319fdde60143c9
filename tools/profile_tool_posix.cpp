// profile-tool on Linux: this program's own profile reader and writer on the
// file's bytes, with the file access of the Linux backend.
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "platform/posix/FileIo.h"
#include "settings/Profile.h"
#include "tools/profile_tool.h"

namespace {

class PosixProfileBackend : public zb::tool::ProfileBackend {
public:
    zb::tool::StringResult GetString(const std::string& file,
                                     const std::string& section,
                                     const std::string& key,
                                     const std::string& def,
                                     int size) override {
        std::string text =
            zb::profile::GetString(zb::posix::ReadRegularFile(file), section, key, def, size);
        const auto count = static_cast<std::uint32_t>(text.size());
        return {count, std::move(text)};
    }

    std::uint32_t GetInt(const std::string& file,
                         const std::string& section,
                         const std::string& key,
                         std::int32_t def) override {
        return zb::profile::GetInt(zb::posix::ReadRegularFile(file), section, key, def);
    }

    bool Write(const std::string& file,
               const std::string& section,
               const std::string& key,
               const std::string& value) override {
        if (!zb::profile::IsWritable(section, key, value))
            return false;
        const std::optional<std::string> content = zb::posix::ReadRegularFile(file);
        // Only a file that is not there is created; one that exists but
        // cannot be read (or is no regular file) must not be overwritten.
        struct stat st;
        if (!content && (::stat(file.c_str(), &st) == 0 || errno != ENOENT))
            return false;
        return zb::posix::ReplaceFileAtomically(
            file, zb::profile::WriteString(content, section, key, value));
    }
};

}  // namespace

int main(int argc, char** argv) {
    PosixProfileBackend backend;
    return zb::tool::RunProfileTool(argc, argv, backend);
}
