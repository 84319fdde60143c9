// How the backend cuts the two texts the process gets from the system: its
// command line and its module path. Free of Windows headers and generic in
// the character type, so that the rules are checked by the Linux unit tests
// as well.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace zb::win32 {

namespace detail {

template <typename Char>
bool IsBlankOrControl(Char c) {
    return static_cast<std::make_unsigned_t<Char>>(c) <= 0x20;
}

}  // namespace detail

// The arguments part of a full command line, cut as the C runtime cuts the
// text it hands to WinMain: the program's name runs up to the first blank or
// control character outside double quotes (a quoted name may hold blanks;
// the quotes themselves are part of the name), then every blank and control
// character after it is skipped. The rest is kept as it is: inner and trailing
// blanks, quotes and tabs. The logic counts on that (two blanks in a row,
// a trailing blank), so GetCommandLineW is cut here rather than split into
// argv and joined again.
template <typename Char>
std::basic_string_view<Char> ArgumentsText(std::basic_string_view<Char> commandLine) {
    std::size_t i = 0;
    bool quoted = false;
    while (i < commandLine.size() && (!detail::IsBlankOrControl(commandLine[i]) || quoted)) {
        if (commandLine[i] == Char('"'))
            quoted = !quoted;
        ++i;
    }
    while (i < commandLine.size() && detail::IsBlankOrControl(commandLine[i]))
        ++i;
    return commandLine.substr(i);
}

// The directory of a module's full path: without a trailing separator,
// except at a drive's root ("C:\"), where "C:" alone would name the drive's
// current directory instead. Empty when the path holds no separator.
template <typename Char>
std::basic_string<Char> ModuleDirectory(std::basic_string_view<Char> modulePath) {
    std::size_t end = modulePath.size();
    while (end > 0 && modulePath[end - 1] != Char('\\') && modulePath[end - 1] != Char('/'))
        --end;
    if (end == 0)
        return {};
    const std::size_t slash = end - 1;
    // "C:" or "\\?\C:": a colon cannot end a directory's own name.
    const bool driveRoot = slash > 0 && modulePath[slash - 1] == Char(':');
    return std::basic_string<Char>(modulePath.substr(0, driveRoot ? slash + 1 : slash));
}

}  // namespace zb::win32
