// Text conversions between the logic's UTF-8, the wide (UTF-16) text of the
// W functions and the 8-bit text of the system code page (CP_ACP) that the
// profile and sound functions take.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/Win32.h"

namespace zb::win32 {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// Characters the code page cannot hold become its default character ("?").
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace zb::win32
