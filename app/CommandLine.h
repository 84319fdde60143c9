// The command line: /config:, /text: and /place: name one notification.
#pragma once

#include <string>

namespace zb {

struct NotificationNames {
    std::string configName = "zettelblick";
    std::string textKey = "Text1";
    std::string place = "Beispieltext";
};

// Overwrites the names that the options in `commandLine` set. Blanks are
// collapsed, words split at spaces, and a word's value is the text after its
// colon only when it holds exactly one; a repeated option keeps its last
// value. Underscores in the place become spaces afterwards.
void ParseCommandLine(const std::string& commandLine, NotificationNames& names);

}  // namespace zb
