#include "window/ColorText.h"

#include "platform/Failure.h"
#include "platform/Text.h"

namespace zb {

Color ParseColorText(const std::string& text, const char* setting) {
    std::uint64_t value = 0;
    int significant = 0;
    for (char c : text) {
        const int digit = DigitValue(c, 16);
        if (digit < 0)
            throw SettingFailure(kErrTypeMismatch, setting, Quoted(text), kColorExpected);
        if (significant > 0 || digit != 0)
            ++significant;
        if (significant > 8)
            throw SettingFailure(kErrOverflow, setting, Quoted(text), kColorExpected);
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return static_cast<Color>(value);
}

}  // namespace zb
