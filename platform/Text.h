// Character helpers shared by the logic, the backends and the tools: the one
// UTF-8 codec and the one reader of digits.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zb {

// Appends `codePoint` (at most 0x1FFFFF) as UTF-8 of one to four bytes. A
// surrogate (D800 to DFFF) gets the three-byte form of its code unit.
void AppendUtf8(std::string& out, char32_t codePoint);

// The length of the UTF-8 sequence that `lead` starts: 2 to 4 for the lead
// bytes C2 to F4, 1 for anything else (ASCII or a stray byte).
int Utf8SequenceLength(unsigned char lead);

// Whether `byte` continues a UTF-8 sequence (10xxxxxx).
inline bool IsUtf8Continuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// One character of UTF-8 text.
struct Utf8Char {
    std::size_t bytes = 1;   // the bytes it takes
    char32_t codePoint = 0;  // its value (the byte itself when not valid)
    bool valid = false;      // ASCII, or a lead byte with all its continuation bytes
};

// The character that starts at `pos` (< text.size()): a lead byte followed by
// as many continuation bytes as it announces is one character of that many
// bytes, whatever its value; every other byte is a character of its own.
Utf8Char DecodeUtf8(std::string_view text, std::size_t pos);

// The value of `c` as a digit of `base` (2 to 36: 0-9, then letters of either
// case for 10 to 35); -1 when it is no digit of that base.
int DigitValue(char c, int base);

}  // namespace zb
