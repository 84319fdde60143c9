// The C library locale's date and time texts.
#pragma once

#include <ctime>
#include <string>

namespace zb::posix {

// The locale's date (D_FMT) and time (T_FMT) for `when`, in UTF-8.
std::string LocaleDateText(std::time_t when);
std::string LocaleTimeText(std::time_t when);

}  // namespace zb::posix
