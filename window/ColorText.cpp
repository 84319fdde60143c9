#include "window/ColorText.h"

#include "platform/Failure.h"

namespace zb {

Color ParseColorText(const std::string& text) {
    std::uint64_t value = 0;
    int significant = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            throw MakeFailure(kErrTypeMismatch, "colour \"" + text + "\"");
        if (significant > 0 || digit != 0)
            ++significant;
        if (significant > 8)
            throw MakeFailure(kErrOverflow, "colour \"" + text + "\"");
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return static_cast<Color>(value);
}

}  // namespace zb
