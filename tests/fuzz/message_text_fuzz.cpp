// The message builder on arbitrary templates and places: never more than
// 250 characters.
#include "platform/Text.h"
#include "platform/fake/FakePlatform.h"
#include "tests/fuzz/FuzzInput.h"
#include "window/MessageText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parts = zb::fuzz::SplitInput(data, size, 4);
    zb::fake::FakePlatform platform;
    platform.date = parts[2];
    platform.time = parts[3];
    const std::string message = zb::CutToChars(parts[0], zb::kTextFieldChars);
    const std::string result = zb::BuildMessageText(message, parts[1], platform);
    if (zb::CutToChars(result, zb::kTextFieldChars) != result)
        __builtin_trap();
    return 0;
}
