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

std::string AnsiToUtf8(std::string_view ansi) {
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi));
}

std::optional<std::string> WideToAnsiExact(std::wstring_view wide) {
    if (wide.empty())
        return std::string();
    // No best-fit mapping ("Ł" to "L"): a character without a byte of its
    // own counts as lost. Where the code page is UTF-8 the call refuses these
    // arguments, and the text is taken as it is.
    const int length = ClampedLength(wide.size());
    BOOL lost = FALSE;
    const int needed = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                             nullptr, 0, nullptr, &lost);
    if (needed <= 0 || lost)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, text.data(), needed,
                          nullptr, &lost);
    if (lost)
        return std::nullopt;
    return text;
}

}  // namespace zb::win32
