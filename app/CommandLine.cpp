#include "app/CommandLine.h"

#include <algorithm>
#include <vector>

namespace zb {
namespace {

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        auto pos = text.find(separator, start);
        parts.push_back(text.substr(start, pos - start));
        if (pos == std::string::npos)
            return parts;
        start = pos + 1;
    }
}

}  // namespace

void ParseCommandLine(const std::string& commandLine, NotificationNames& names) {
    // Runs of spaces count as one; a tab is an ordinary character.
    std::string text;
    text.reserve(commandLine.size());
    for (char c : commandLine) {
        if (c == ' ' && !text.empty() && text.back() == ' ')
            continue;
        text.push_back(c);
    }

    for (const std::string& word : SplitAt(text, ' ')) {
        if (word.empty())
            continue;
        std::vector<std::string> pieces = SplitAt(word, ':');
        const std::string& name = pieces[0];
        const std::string value = pieces.size() == 2 ? pieces[1] : std::string();
        if (name == "/config")
            names.configName = value;
        if (name == "/text")
            names.textKey = value;
        if (name == "/place")
            names.place = value;
    }

    std::replace(names.place.begin(), names.place.end(), '_', ' ');
}

}  // namespace zb
