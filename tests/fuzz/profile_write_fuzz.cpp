// The profile writer on an arbitrary file: afterwards the written key reads
// back as written and every other key reads as before.
#include <set>

#include "settings/Profile.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0D) || u == 0x1A || u == 0x20;
}

// What the reader makes of a written value: blanks trimmed, one pair of
// matching quotes removed, cut at a NUL.
std::string ExpectedReadBack(std::string value) {
    value = value.substr(0, value.find('\0'));
    std::size_t b = 0, e = value.size();
    while (b < e && IsBlank(value[b]))
        ++b;
    while (e > b && IsBlank(value[e - 1]))
        --e;
    value = value.substr(b, e - b);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return value;
}

bool Plain(const std::string& name) {
    // Names the program could write: no line breaks, brackets, '=' or NUL, no
    // blanks at the ends, not empty.
    if (name.empty() || IsBlank(name.front()) || IsBlank(name.back()))
        return false;
    for (char c : name) {
        if (c == '\r' || c == '\n' || c == '=' || c == '[' || c == ']' || c == '\0' || c == ';')
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parts = zb::fuzz::SplitInput(data, size, 5);
    const std::string& file = parts[0];
    const std::string& section = parts[1];
    const std::string& key = parts[2];
    const std::string& value = parts[3];
    const std::string& otherKey = parts[4];
    if (!Plain(section) || !Plain(key) || value.find_first_of("\r\n") != std::string::npos)
        return 0;
    constexpr int kSize = 1 << 16;
    const std::string before = zb::profile::GetString(file, section, otherKey, "\x01", kSize);
    const std::string written = zb::profile::WriteString(file, section, key, value);
    if (zb::profile::GetString(written, section, key, "\x01", kSize) != ExpectedReadBack(value))
        __builtin_trap();
    bool sameKey = otherKey.size() == key.size();
    for (std::size_t i = 0; sameKey && i < key.size(); ++i)
        sameKey = std::tolower(static_cast<unsigned char>(key[i])) ==
                  std::tolower(static_cast<unsigned char>(otherKey[i]));
    if (!sameKey && zb::profile::GetString(written, section, otherKey, "\x01", kSize) != before)
        __builtin_trap();
    // A missing file is created with just this key.
    const std::string created = zb::profile::WriteString(std::nullopt, section, key, value);
    if (zb::profile::GetString(created, section, key, "\x01", kSize) != ExpectedReadBack(value))
        __builtin_trap();
    return 0;
}
