// profile-tool on Windows: the system's own GetPrivateProfileStringA,
// GetPrivateProfileIntA and WritePrivateProfileStringA, given the arguments'
// bytes unchanged (no code page conversion: the tool deals in bytes), so that
// their results can be compared with the Linux tool's byte for byte.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/Win32.h"
#include "tools/profile_tool.h"

namespace {

// Read buffers larger than this are not allocated: a larger SIZE is handed
// to the function as this size. No test value comes near it.
constexpr int kMaxBuffer = 16 * 1024 * 1024;

// The functions look for a bare file name ("a.ini") in the Windows
// directory, not in the current one. The tool names its files the way the
// Linux tool does, relative to the current directory, so every FILE is made
// a full path first. A name that cannot be resolved is passed on unchanged.
std::string FullPath(const std::string& file) {
    const DWORD needed = ::GetFullPathNameA(file.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return file;
    std::string full(needed, '\0');
    const DWORD length = ::GetFullPathNameA(file.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return file;
    full.resize(length);
    return full;
}

class Win32ProfileBackend : public zb::tool::ProfileBackend {
public:
    zb::tool::StringResult GetString(const std::string& file,
                                     const std::string& section,
                                     const std::string& key,
                                     const std::string& def,
                                     int size) override {
        // nSize is unsigned: a negative SIZE would be a huge buffer, so it is
        // passed as 0, which the function answers without touching the buffer.
        const int bufferSize = std::clamp(size, 0, kMaxBuffer);
        std::string buffer(static_cast<std::size_t>(bufferSize) + 1, '\0');
        const DWORD count =
            ::GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                       bufferSize, FullPath(file).c_str());
        buffer.resize(std::min<std::size_t>(count, static_cast<std::size_t>(bufferSize)));
        return {count, buffer};
    }

    std::uint32_t GetInt(const std::string& file,
                         const std::string& section,
                         const std::string& key,
                         std::int32_t def) override {
        return ::GetPrivateProfileIntA(section.c_str(), key.c_str(), def, FullPath(file).c_str());
    }

    bool Write(const std::string& file,
               const std::string& section,
               const std::string& key,
               const std::string& value) override {
        return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                            FullPath(file).c_str()) != 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // "\n" stays "\n": the output is the same bytes as the Linux tool's.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    Win32ProfileBackend backend;
    return zb::tool::RunProfileTool(argc, argv, backend);
}
