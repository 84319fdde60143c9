#pragma once

#include <string>

#include "platform/Platform.h"

namespace zb {

// What a colour setting expects, as its failures say.
inline constexpr char kColorExpected[] =
    "six hexadecimal digits in the order blue, green, red, such as 0000FF for red";

// The colour a settings text names: hexadecimal digits in blue-green-red
// order, read as one hexadecimal number (0x00BBGGRR). Empty text is black.
// Throws Failure naming `setting` (section.key) and the text: type mismatch
// for anything but hexadecimal digits, overflow for more than eight
// significant digits.
Color ParseColorText(const std::string& text, const char* setting = "colour");

}  // namespace zb
