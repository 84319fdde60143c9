// profile-tool: the three profile functions from the command line, so that
// scripts can compare this program's reader and writer with the system's.
// The command line and the output are the same on every platform; each
// platform's build supplies the functions and a main that calls
// RunProfileTool.
#pragma once

#include <cstdint>
#include <string>

namespace zb::tool {

// What the string read returns: its return value and the characters copied.
struct StringResult {
    std::uint32_t count = 0;
    std::string text;
};

class ProfileBackend {
public:
    virtual ~ProfileBackend() = default;
    virtual StringResult GetString(const std::string& file,
                                   const std::string& section,
                                   const std::string& key,
                                   const std::string& def,
                                   int size) = 0;
    virtual std::uint32_t GetInt(const std::string& file,
                                 const std::string& section,
                                 const std::string& key,
                                 std::int32_t def) = 0;
    virtual bool Write(const std::string& file,
                       const std::string& section,
                       const std::string& key,
                       const std::string& value) = 0;
};

// Runs one command; returns the exit status (2 for wrong usage).
int RunProfileTool(int argc, char** argv, ProfileBackend& backend);

}  // namespace zb::tool
