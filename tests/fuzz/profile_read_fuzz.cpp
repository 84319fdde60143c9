// The profile reader on arbitrary file bytes, names and buffer sizes.
#include <cstring>

#include "platform/Profile.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parts = zb::fuzz::SplitInput(data, size, 4);
    const std::string& file = parts[0];
    int readSize = parts[3].empty() ? 0 : static_cast<unsigned char>(parts[3][0]) * 3;
    std::string text = zb::profile::GetString(file, parts[1], parts[2], parts[3], readSize);
    if (readSize <= 0 && !text.empty())
        __builtin_trap();
    if (readSize > 0 && static_cast<int>(text.size()) > readSize - 1)
        __builtin_trap();
    zb::profile::GetInt(file, parts[1], parts[2], 7);
    zb::profile::GetString(std::nullopt, parts[1], parts[2], parts[3], readSize);
    return 0;
}
