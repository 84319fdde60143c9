// The Windows profile (INI) functions, rebuilt on file contents so that
// Linux reads and writes settings files exactly as Windows does. The functions
// work on the file's bytes; file access lives in the platform backends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zb::profile {

// GetPrivateProfileStringA with a section and a key. `content` is the file's
// bytes, or nullopt when the file is missing or unreadable. Returns the
// characters the function copies (at most size - 1; none when size <= 0);
// the function's return value is the returned text's length.
std::string GetString(const std::optional<std::string>& content,
                      std::string_view section,
                      std::string_view key,
                      std::string_view def,
                      int size);

// GetPrivateProfileIntA: the value's leading number as an unsigned 32-bit
// value (negative numbers in two's complement, overflow wrapping), the default
// for a missing or empty value.
std::uint32_t GetInt(const std::optional<std::string>& content,
                     std::string_view section,
                     std::string_view key,
                     std::int32_t def);

// WritePrivateProfileStringA with a section, a key and a value: the file's new
// bytes. Untouched lines keep every byte; the first matching key's line is
// replaced; a new key goes after the last non-blank line of the first matching
// section; a new section is appended at the end. `content` nullopt: the file
// does not exist yet and is created. Names are trimmed and, like the value,
// end at a NUL; the value is written as given, leading blanks included. When
// IsWritable is false the content comes back unchanged (empty for nullopt).
std::string WriteString(const std::optional<std::string>& content,
                        std::string_view section,
                        std::string_view key,
                        std::string_view value);

// False when a write would break the file's line structure: a CR or LF inside
// the trimmed section or key, or in the value (before any NUL), would end the
// line early and turn the rest into lines of their own, keys included; a key
// with "=" in it, or one that looks like a section header ("[x]"), would not
// read back as that key. Such a write is refused: a platform's write returns
// failure without touching the file.
bool IsWritable(std::string_view section, std::string_view key, std::string_view value);

}  // namespace zb::profile
