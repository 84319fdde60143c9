#include "window/MessageText.h"

#include "platform/Platform.h"
#include "platform/Text.h"

namespace zb {
namespace {

// Replaces every occurrence, left to right without overlaps; the inserted
// text is not scanned again.
std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with) {
    std::string result;
    std::string::size_type start = 0;
    for (;;) {
        auto pos = text.find(what, start);
        if (pos == std::string::npos)
            break;
        result.append(text, start, pos - start);
        result += with;
        start = pos + what.size();
    }
    result.append(text, start, std::string::npos);
    return CutToChars(result, kTextFieldChars);
}

}  // namespace

std::string BuildMessageText(const std::string& message,
                             const std::string& place,
                             Platform& platform) {
    std::string text = ReplaceAll(message, "\\n", "\r\n");
    text = ReplaceAll(text, "\\date", platform.DateText());
    text = ReplaceAll(text, "\\time", platform.TimeText());
    return ReplaceAll(text, "\\place", place);
}

}  // namespace zb
