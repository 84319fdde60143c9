#include "platform/Profile.h"

#include <cstddef>
#include <utility>

#include "platform/Text.h"

namespace zb::profile {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The blanks that every trim of the profile functions removes: TAB, LF, VT,
// FF, CR, ^Z (an old end-of-file mark) and space.
bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x09 && u <= 0x0D) || u == 0x1A || u == 0x20;
}

std::string_view TrimLeft(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

std::string_view Trim(std::string_view s) {
    return TrimRight(TrimLeft(s));
}

// The functions take C strings, and the names and values they keep are
// compared and copied as C strings: a NUL ends them.
std::string_view CutAtNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

// A name from the file against a trimmed argument: whole name, ASCII letters
// in either case, every other byte exact.
bool NamesMatch(std::string_view fromFile, std::string_view argument) {
    fromFile = CutAtNul(fromFile);
    if (fromFile.size() != argument.size())
        return false;
    for (std::size_t i = 0; i < fromFile.size(); ++i) {
        if (FoldAscii(fromFile[i]) != FoldAscii(argument[i]))
            return false;
    }
    return true;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// One line of the file: `text` runs up to the first CR or LF; `next` is the
// offset after one line end (CRLF, CR or LF), equal to `end` on a last line
// without a line end.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
    std::string_view text;
};

// Walks the lines of a text once, front to back.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(Line& line) {
        if (pos_ >= text_.size())
            return false;
        std::size_t end = pos_;
        while (end < text_.size() && !IsLineEnd(text_[end]))
            ++end;
        std::size_t next = end;
        if (next < text_.size()) {
            const bool crlf =
                text_[next] == '\r' && next + 1 < text_.size() && text_[next + 1] == '\n';
            next += crlf ? 2 : 1;
        }
        line = Line{pos_, end, next, text_.substr(pos_, end - pos_)};
        pos_ = next;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

enum class LineKind { Blank, Header, Entry };

// What a line means. A header's name runs from after "[" to the last "]";
// an entry's name is the text before the first "=", its value the text after
// it (none when the line has no "="). Names and values are trimmed.
struct ParsedLine {
    LineKind kind = LineKind::Blank;
    std::string_view name;
    std::optional<std::string_view> value;
};

ParsedLine ParseLine(std::string_view line) {
    const std::string_view s = Trim(line);
    if (s.empty())
        return {};
    if (s.front() == '[') {
        const std::size_t close = s.rfind(']');
        // A "[" without any "]" is no header; the line is an entry of the
        // section it stands in.
        if (close != std::string_view::npos)
            return {LineKind::Header, Trim(s.substr(1, close - 1)), std::nullopt};
    }
    const std::size_t equals = s.find('=');
    if (equals == std::string_view::npos)
        return {LineKind::Entry, s, std::nullopt};
    return {LineKind::Entry, TrimRight(s.substr(0, equals)), TrimLeft(s.substr(equals + 1))};
}

// The value of the first matching key in the first matching section; nullopt
// when there is no such key or its line has no "=". Lines before the first
// header belong to no section that a name can reach, and a section is only
// searched up to the next header: a later block of the same name is never
// looked at.
std::optional<std::string_view> FindValue(std::string_view text,
                                          std::string_view section,
                                          std::string_view key) {
    LineReader reader(text);
    Line line;
    bool inSection = false;
    while (reader.Next(line)) {
        const ParsedLine parsed = ParseLine(line.text);
        if (parsed.kind == LineKind::Header) {
            if (inSection)
                return std::nullopt;
            inSection = NamesMatch(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Entry && NamesMatch(parsed.name, key)) {
            return parsed.value;
        }
    }
    return std::nullopt;
}

// --- UTF-16LE files ----------------------------------------------------------
// A file that starts with the UTF-16LE mark FF FE is Unicode text. It is
// turned into UTF-8, read and edited as such, and turned back when written.
// Unpaired surrogates get the three-byte form of their code unit so that
// untouched text converts back to the very same bytes.

bool IsUtf16Le(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

// The code units after the mark as UTF-8; a final odd byte is left out.
std::string Utf16LeToUtf8(std::string_view units) {
    std::string out;
    out.reserve(units.size());
    const std::size_t count = units.size() / 2;
    auto unit = [&](std::size_t i) -> std::uint32_t {
        return static_cast<unsigned char>(units[2 * i]) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(units[2 * i + 1])) << 8);
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
            const std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, u);
    }
    return out;
}

void AppendUnit(std::string& out, std::uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// UTF-8 back to UTF-16LE code units. A byte that starts no valid sequence
// (only new text from the caller can hold one) becomes U+FFFD.
std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        const Utf8Char c = DecodeUtf8(text, i);
        const char32_t cp = c.codePoint;
        if (!IsWellFormed(c)) {
            AppendUnit(out, 0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            AppendUnit(out, 0xD800 + ((cp - 0x10000) >> 10));
            AppendUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            AppendUnit(out, cp);
        }
        i += c.bytes;
    }
    return out;
}

// --- reading -----------------------------------------------------------------

std::optional<std::string> LookUp(const std::string& content,
                                  std::string_view section,
                                  std::string_view key) {
    std::optional<std::string_view> value;
    std::string decoded;
    if (IsUtf16Le(content)) {
        decoded = Utf16LeToUtf8(std::string_view(content).substr(2));
        value = FindValue(decoded, section, key);
    } else {
        value = FindValue(content, section, key);
    }
    if (!value)
        return std::nullopt;
    return std::string(*value);
}

// One pair of matching quotes around the whole value goes.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The default loses its trailing spaces (spaces only, not tabs).
std::string_view DefaultText(std::string_view def) {
    def = CutAtNul(def);
    std::size_t n = def.size();
    while (n > 0 && def[n - 1] == ' ')
        --n;
    return def.substr(0, n);
}

// The system's string-to-integer conversion with base 0: control characters
// and spaces skipped, one sign, a lower-case 0x/0o/0b prefix, then digits up
// to the first other character. Overflow wraps; no digits give 0.
std::uint32_t ParseNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i + 1 < s.size() && s[i] == '0') {
        const char prefix = s[i + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10)
            i += 2;
    }
    std::uint32_t total = 0;
    for (; i < s.size(); ++i) {
        const int digit = DigitValue(s[i], base);
        if (digit < 0)
            break;
        total = total * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    return negative ? 0u - total : total;
}

// --- writing -----------------------------------------------------------------

std::string NewSection(std::string_view section, std::string_view key, std::string_view value) {
    std::string out;
    out.reserve(section.size() + key.size() + value.size() + 8);
    out.append("[").append(section).append("]").append(kLineEnd);
    out.append(key).append("=").append(value).append(kLineEnd);
    return out;
}

// Edits the text the way the system's writer does: every byte of the lines
// it does not touch stays as it is.
//  - The first matching key of the first matching section gets the line
//    `name=value`, the name spelt as in the file (its indentation and the
//    blanks around "=" go, as does the old value); the line end stays.
//  - A missing key is inserted after the section's last non-blank line (its
//    header when it has no entries), so blank lines that separate it from the
//    next section stay below the new key.
//  - A missing section is appended at the end of the file.
std::string Edit(std::string_view text,
                 std::string_view section,
                 std::string_view key,
                 std::string_view value) {
    LineReader reader(text);
    Line line;
    bool inSection = false;
    std::optional<Line> last;  // last non-blank line of the matching section
    while (reader.Next(line)) {
        const ParsedLine parsed = ParseLine(line.text);
        if (parsed.kind == LineKind::Blank)
            continue;
        if (parsed.kind == LineKind::Header) {
            if (inSection)
                break;
            inSection = NamesMatch(parsed.name, section);
        } else if (inSection && NamesMatch(parsed.name, key)) {
            std::string out;
            out.reserve(text.size() + parsed.name.size() + value.size() + 1);
            out.append(text.substr(0, line.begin));
            out.append(parsed.name).append("=").append(value);
            out.append(text.substr(line.end));
            return out;
        }
        if (inSection)
            last = line;
    }

    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 12);
    if (last) {
        out.append(text.substr(0, last->next));
        if (last->next == last->end)  // the file's last line, without a line end
            out.append(kLineEnd);
        out.append(key).append("=").append(value).append(kLineEnd);
        out.append(text.substr(last->next));
        return out;
    }
    out.append(text);
    if (!text.empty() && !IsLineEnd(text.back()))
        out.append(kLineEnd);
    out.append(NewSection(section, key, value));
    return out;
}

}  // namespace

std::string GetString(const std::optional<std::string>& content,
                      std::string_view section,
                      std::string_view key,
                      std::string_view def,
                      int size) {
    if (size <= 0)
        return {};
    std::optional<std::string> value;
    if (content)
        value = LookUp(*content, Trim(CutAtNul(section)), Trim(CutAtNul(key)));
    std::string result(value ? Unquote(CutAtNul(*value)) : DefaultText(def));
    if (result.size() > static_cast<std::size_t>(size) - 1)
        result.resize(static_cast<std::size_t>(size) - 1);
    return result;
}

std::uint32_t GetInt(const std::optional<std::string>& content,
                     std::string_view section,
                     std::string_view key,
                     std::int32_t def) {
    // The value passes through a 30-character buffer first, so only its
    // first 29 characters count; an empty one gives the default.
    const std::string text = GetString(content, section, key, {}, 30);
    if (text.empty())
        return static_cast<std::uint32_t>(def);
    return ParseNumber(text);
}

bool IsWritable(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view name = Trim(CutAtNul(key));
    for (const std::string_view s : {Trim(CutAtNul(section)), name, CutAtNul(value)}) {
        if (s.find_first_of(kLineEnd) != std::string_view::npos)
            return false;
    }
    // The key's line must read back as an entry of that very name.
    const std::string text = std::string(name) + "=";
    const ParsedLine line = ParseLine(text);
    return line.kind == LineKind::Entry && line.name == name;
}

std::string WriteString(const std::optional<std::string>& content,
                        std::string_view section,
                        std::string_view key,
                        std::string_view value) {
    if (!IsWritable(section, key, value))
        return content.value_or(std::string());
    const std::string_view sectionName = Trim(CutAtNul(section));
    const std::string_view keyName = Trim(CutAtNul(key));
    value = CutAtNul(value);
    if (!content)
        return NewSection(sectionName, keyName, value);
    if (IsUtf16Le(*content)) {
        const std::string_view units = std::string_view(*content).substr(2);
        const std::string edited = Edit(Utf16LeToUtf8(units), sectionName, keyName, value);
        std::string out = content->substr(0, 2) + Utf8ToUtf16Le(edited);
        if (units.size() % 2 != 0)
            out += units.back();  // a stray odd byte stays at the very end
        return out;
    }
    return Edit(*content, sectionName, keyName, value);
}

}  // namespace zb::profile
