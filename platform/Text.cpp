#include "platform/Text.h"

namespace zb {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0)
        return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2)
        return 2;
    return 1;
}

Utf8Char DecodeUtf8(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    Utf8Char c{1, lead, lead < 0x80};
    const std::size_t length = static_cast<std::size_t>(Utf8SequenceLength(lead));
    if (length == 1 || pos + length > text.size())
        return c;
    // The lead byte's payload: 5, 4 or 3 bits for sequences of 2, 3 or 4.
    char32_t value = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if (!IsUtf8Continuation(next))
            return c;
        value = (value << 6) | (next & 0x3F);
    }
    return {length, value, true};
}

bool IsWellFormed(const Utf8Char& c) {
    // The smallest code point each sequence length may carry: a longer form
    // than needed is no valid sequence.
    constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    return c.valid && c.codePoint >= kMinimum[c.bytes] && c.codePoint <= 0x10FFFF;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = DecodeUtf8(text, pos);
        if (!IsWellFormed(c))
            return false;
        pos += c.bytes;
    }
    return true;
}

std::string CutToChars(const std::string& text, int maxChars) {
    std::size_t pos = 0;
    for (int chars = 0; chars < maxChars && pos < text.size(); ++chars)
        pos += DecodeUtf8(text, pos).bytes;
    return text.substr(0, pos);
}

std::string WithoutAccessKeyMarks(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&')
            shown += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '&')
            shown += text[++i];
    }
    return shown;
}

bool HasNonAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    // 80 to 9F; from A0 on the code page is Latin-1, the code point the byte.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char32_t{byte});
    }
    return out;
}

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'z')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace zb
