// Character helpers shared by the logic, the backends and the tools: the one
// UTF-8 codec, Windows-1252 and the one reader of digits.
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

// `c` with an ASCII capital made small, every other byte as it is: names
// compared in either case, as the profile functions compare them.
inline char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

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

// Whether `c` is well-formed UTF-8: valid, in its shortest form and at most
// U+10FFFF. The three-byte form of a surrogate counts: it stands for an
// unpaired UTF-16 code unit of a Unicode settings file.
bool IsWellFormed(const Utf8Char& c);

// Whether every character of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// Whether `text` holds a byte above 0x7F.
bool HasNonAscii(std::string_view text);

// Windows-1252 text as UTF-8. Every byte maps: the five the code page leaves
// undefined (81, 8D, 8F, 90, 9D) become the code points of the same value,
// as Windows converts them.
std::string Windows1252ToUtf8(std::string_view bytes);

// Text fields (the settings' texts, the built message) hold at most this many
// characters.
constexpr int kTextFieldChars = 250;

// Cuts UTF-8 text to at most `maxChars` characters (code points; a stray
// byte that is no valid UTF-8 counts as one).
std::string CutToChars(const std::string& text, int maxChars);

// A label's text as it reads: a single "&" marks the next character as the
// access key and is not shown, "&&" shows one "&".
std::string WithoutAccessKeyMarks(std::string_view text);

// The value of `c` as a digit of `base` (2 to 36: 0-9, then letters of either
// case for 10 to 35); -1 when it is no digit of that base.
int DigitValue(char c, int base);

}  // namespace zb
