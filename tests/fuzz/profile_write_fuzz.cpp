// The profile writer on an arbitrary file: afterwards the written key reads
// back as written and every other key reads as before.
#include <set>

#include "platform/Profile.h"
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

// A UTF-16 file stores text, not bytes: only valid UTF-8 (no overlong forms,
// no surrogates) survives the trip.
bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > text.size())
            return false;
        std::uint32_t code = n == 1 ? c : c & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += n;
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
    // Names reach the functions as C strings, and are trimmed of blanks.
    std::string otherKey = parts[4].substr(0, parts[4].find('\0'));
    while (!otherKey.empty() && IsBlank(otherKey.back()))
        otherKey.pop_back();
    while (!otherKey.empty() && IsBlank(otherKey.front()))
        otherKey.erase(0, 1);
    if (!Plain(section) || !Plain(key) || value.find_first_of("\r\n") != std::string::npos)
        return 0;
    const bool utf16 = file.size() >= 2 && file[0] == '\xFF' && file[1] == '\xFE';
    if (utf16 && !(ValidUtf8(section) && ValidUtf8(key) && ValidUtf8(value) && ValidUtf8(otherKey)))
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
