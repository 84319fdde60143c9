#pragma once

#include <string>

#include "platform/Platform.h"

namespace zb {

// The colour a settings text names: hexadecimal digits in blue-green-red
// order, read as one hexadecimal number (0x00BBGGRR). Empty text is black.
// Throws Failure: type mismatch for anything but hexadecimal digits, overflow
// for more than eight significant digits.
Color ParseColorText(const std::string& text);

}  // namespace zb
