// The command-line parser and the colour text on arbitrary text.
#include "app/CommandLine.h"
#include "platform/Failure.h"
#include "tests/fuzz/FuzzInput.h"
#include "window/ColorText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zb::NotificationNames names;
    zb::ParseCommandLine(text, names);
    if (names.place.find('_') != std::string::npos)
        __builtin_trap();
    try {
        zb::ParseColorText(text);
    } catch (const zb::Failure& failure) {
        if (failure.number() != zb::kErrTypeMismatch && failure.number() != zb::kErrOverflow)
            __builtin_trap();
    }
    return 0;
}
