#include "platform/win32/Text.h"

#include <climits>

namespace zb::win32 {
namespace {

// MultiByteToWideChar and back take int lengths; no text of this program
// comes anywhere near that, so longer input is cut rather than wrapped.
int ClampedLength(std::size_t size) {
    return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty())
        return {};
    const int length = ClampedLength(text.size());
    const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string FromWide(UINT codePage, std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int length = ClampedLength(wide.size());
    const int needed =
        ::WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string text(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), needed, nullptr, nullptr);
    return text;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

std::string WideToUtf8(std::wstring_view wide) {
    return FromWide(CP_UTF8, wide);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return FromWide(CP_ACP, ToWide(CP_UTF8, utf8));
}

std::string AnsiToUtf8(std::string_view ansi) {
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi));
}

}  // namespace zb::win32
