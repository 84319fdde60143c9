// Splits a fuzzer's input into several strings: parts are separated by a
// 0xFF 0x00 pair, so a corpus file stays readable and any byte can occur
// inside a part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zb::fuzz {

inline std::vector<std::string> SplitInput(const std::uint8_t* data,
                                           std::size_t size,
                                           std::size_t parts) {
    std::vector<std::string> out(parts);
    std::size_t part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (part + 1 < parts && data[i] == 0xFF && i + 1 < size && data[i + 1] == 0x00) {
            ++part;
            ++i;
            continue;
        }
        out[part].push_back(static_cast<char>(data[i]));
    }
    return out;
}

}  // namespace zb::fuzz
