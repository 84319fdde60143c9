#pragma once

#include <string>

namespace zb {

class Platform;

// Fills in the message template: "\n" becomes a line break (CR LF), "\date"
// the date, "\time" the time and "\place" the place, in that order, each pass
// over the text the passes before it left and cut to 250 characters.
std::string BuildMessageText(const std::string& message, const std::string& place,
                             Platform& platform);

}  // namespace zb
