#include "platform/posix/Locale.h"

#include <langinfo.h>

#include <cwchar>
#include <vector>

#include "platform/Text.h"

namespace zb::posix {
namespace {

// strftime's output is in the locale's own character set (Latin-1 for
// de_DE, say); the platform interface speaks UTF-8.
std::string LocaleToUtf8(const std::string& text) {
    std::mbstate_t state{};
    const char* src = text.c_str();
    std::size_t length = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (length == static_cast<std::size_t>(-1))
        return text;
    std::vector<wchar_t> wide(length + 1);
    state = std::mbstate_t{};
    src = text.c_str();
    std::mbsrtowcs(wide.data(), &src, wide.size(), &state);
    std::string out;
    for (std::size_t i = 0; i < length; ++i)
        AppendUtf8(out, static_cast<char32_t>(wide[i]));
    return out;
}

std::string FormatTime(std::time_t when, nl_item item) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char buffer[256];
    std::size_t length = std::strftime(buffer, sizeof buffer, ::nl_langinfo(item), &local);
    return LocaleToUtf8(std::string(buffer, length));
}

}  // namespace

std::string LocaleDateText(std::time_t when) {
    return FormatTime(when, D_FMT);
}

std::string LocaleTimeText(std::time_t when) {
    return FormatTime(when, T_FMT);
}

}  // namespace zb::posix
