// profile-tool on Linux: this program's own profile reader and writer, with
// the file access of the Linux backend (posix/ProfileFile).
#include <utility>

#include "platform/posix/ProfileFile.h"
#include "tools/profile_tool.h"

namespace {

class PosixProfileBackend : public zb::tool::ProfileBackend {
public:
    zb::tool::StringResult GetString(const std::string& file,
                                     const std::string& section,
                                     const std::string& key,
                                     const std::string& def,
                                     int size) override {
        std::string text = files_.GetString(file, section, key, def, size);
        const auto count = static_cast<std::uint32_t>(text.size());
        return {count, std::move(text)};
    }

    std::uint32_t GetInt(const std::string& file,
                         const std::string& section,
                         const std::string& key,
                         std::int32_t def) override {
        return files_.GetInt(file, section, key, def);
    }

    bool Write(const std::string& file,
               const std::string& section,
               const std::string& key,
               const std::string& value) override {
        return files_.WriteString(file, section, key, value);
    }

private:
    zb::posix::ProfileFiles files_;
};

}  // namespace

int main(int argc, char** argv) {
    PosixProfileBackend backend;
    return zb::tool::RunProfileTool(argc, argv, backend);
}
