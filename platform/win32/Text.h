// Text conversions between the logic's UTF-8, the wide (UTF-16) text of the
// W functions and the 8-bit text of the system code page (CP_ACP).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/Win32.h"

namespace zb::win32 {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

std::string AnsiToUtf8(std::string_view ansi);
// The code page's bytes of `wide`; nullopt when the code page cannot hold
// every character of it.
std::optional<std::string> WideToAnsiExact(std::wstring_view wide);

}  // namespace zb::win32
