// The profile reader and writer against small settings files, one per rule
// of the Windows profile functions that a stored file can run into.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>

#include "platform/Profile.h"

namespace {

using zb::profile::GetInt;
using zb::profile::GetString;
using zb::profile::WriteString;

const std::string kData = std::string(ZB_TEST_DATA) + "/profile/";

std::string Load(const std::string& name) {
    std::ifstream in(kData + name, std::ios::binary);
    EXPECT_TRUE(in) << "missing fixture " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// --- string reads ------------------------------------------------------------

struct StringCase {
    const char* file;
    std::string section;
    std::string key;
    std::string def;
    int size;
    std::string expected;
};

std::ostream& operator<<(std::ostream& os, const StringCase& c) {
    return os << c.file << " [" << c.section << "] " << c.key;
}

class StringRead : public testing::TestWithParam<StringCase> {};

TEST_P(StringRead, ReturnsWhatTheSystemReturns) {
    const StringCase& c = GetParam();
    EXPECT_EQ(GetString(Load(c.file), c.section, c.key, c.def, c.size), c.expected);
}

using namespace std::string_literals;

const std::string kLong = [] {
    std::string s;
    for (int i = 0; i < 40000; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Fixtures,
    StringRead,
    testing::Values(
        // Every kind of line end, and none at the end of the file.
        StringCase{"line_ends_crlf.ini", "s", "b", "?", 100, "two words"},
        StringCase{"line_ends_lf.ini", "s", "b", "?", 100, "two words"},
        StringCase{"line_ends_cr.ini", "s", "b", "?", 100, "two words"},
        StringCase{"line_ends_cr.ini", "t", "a", "?", 100, "3"},
        StringCase{"line_ends_mixed.ini", "s", "b", "?", 100, "two words"},
        StringCase{"line_ends_mixed.ini", "t", "a", "?", 100, "3"},
        StringCase{"no_final_newline.ini", "s", "last", "?", 100, "value"},
        StringCase{"empty.ini", "s", "a", "def", 100, "def"},
        // A NUL ends a value; a line starting with NUL is no header.
        StringCase{"nul_bytes.ini", "s", "a", "?", 100, "x"},
        StringCase{"nul_bytes.ini", "s", "c", "?", 100, ""},
        StringCase{"nul_bytes.ini", "s", "n", "?", 100, "3"},
        StringCase{"nul_bytes.ini", "s", "b", "?", 100, "2"},
        StringCase{"nul_bytes.ini", "t", "b", "?", 100, "?"},
        StringCase{"nul_bytes.ini", "u", "k", "?", 100, "in u"},
        // Blanks around names and values, arguments trimmed, inner blanks kept.
        StringCase{"spaced_section.ini", "Spaced Section", "key one", "?", 100, "value one"},
        StringCase{"spaced_section.ini", "  Spaced Section\t", "  key one\t", "?", 100,
                   "value one"},
        StringCase{"spaced_section.ini", "Spaced  Section", "key one", "?", 100, "?"},
        StringCase{"spaced_section.ini", "Spaced Section", "keyone", "?", 100, "?"},
        StringCase{"spaced_section.ini", "[Spaced Section]", "key one", "?", 100, "?"},
        StringCase{"spaced_section.ini", "Spaced Section", "my key", "?", 100, "v"},
        StringCase{"spaced_section.ini", "Spaced Section", "a", "?", 100, "v"},
        StringCase{"spaced_section.ini", "Spaced Section", "nbsp", "?", 100, "\xa0x\xa0"},
        StringCase{"spaced_section.ini", "Spaced Section", "inner", "?", 100, "a  b\tc"},
        // Text after the last "]" is ignored; the name runs to the last "]".
        StringCase{"header_trailing.ini", "Sec1", "a", "?", 100, "1"},
        StringCase{"header_trailing.ini", "Sec5", "b", "?", 100, "2"},
        StringCase{"header_trailing.ini", "x", "c", "?", 100, "3"},
        StringCase{"header_trailing.ini", "A]B", "d", "?", 100, "4"},
        // "[" without "]" is an entry of the current section.
        StringCase{"open_bracket.ini", "Sec1", "b", "?", 100, "2"},
        StringCase{"open_bracket.ini", "Sec2", "b", "?", 100, "?"},
        StringCase{"open_bracket.ini", "Sec1", "[Sec2", "?", 100, "?"},
        // Only the first block of a section and the first key count.
        StringCase{"duplicate_sections.ini", "s", "a", "?", 100, "1"},
        StringCase{"duplicate_sections.ini", "S", "b", "?", 100, "?"},
        StringCase{"duplicate_keys.ini", "s", "A", "?", 100, "first"},
        // One pair of matching quotes goes, nothing else.
        StringCase{"quotes.ini", "q", "dq", "?", 100, "hello"},
        StringCase{"quotes.ini", "q", "sq", "?", 100, "hello"},
        StringCase{"quotes.ini", "q", "mixed", "?", 100, "\"hello'"},
        StringCase{"quotes.ini", "q", "left", "?", 100, "\"hello"},
        StringCase{"quotes.ini", "q", "right", "?", 100, "hello\""},
        StringCase{"quotes.ini", "q", "inner", "?", 100, "say \"hi\" now"},
        StringCase{"quotes.ini", "q", "lone", "?", 100, "\""},
        StringCase{"quotes.ini", "q", "empty_dq", "?", 100, ""},
        StringCase{"quotes.ini", "q", "empty_sq", "?", 100, ""},
        StringCase{"quotes.ini", "q", "nested", "?", 100, "'x'"},
        StringCase{"quotes.ini", "q", "doubled", "?", 100, "\"x\""},
        StringCase{"quotes.ini", "q", "padded", "?", 100, " padded "},
        StringCase{"quotes.ini", "q", "spaced", "?", 100, "x"},
        StringCase{"quotes.ini", "q", "dq", "?", 6, "hello"},
        // An empty value is not the default; the first "=" splits.
        StringCase{"empty_values.ini", "s", "name2", "?", 100, ""},
        StringCase{"empty_values.ini", "s", "name5", "?", 100, ""},
        StringCase{"empty_values.ini", "s", "k", "?", 100, "=v"},
        StringCase{"empty_values.ini", "s", "url", "?", 100, "http://x/?a=b"},
        StringCase{"empty_values.ini", "s", "", "?", 100, "nameless"},
        // A name without "=" gives the default; comments are plain lines.
        StringCase{"no_equals.ini", "s", "name3", "?", 100, "?"},
        StringCase{"no_equals.ini", "s", "name4", "?", 100, "val4"},
        StringCase{"no_equals.ini", "s", "#c", "?", 100, "4"},
        StringCase{"no_equals.ini", "s", "//d", "?", 100, "5"},
        StringCase{"no_equals.ini", "s", "a", "?", 100, "1 ; not a comment"},
        // A UTF-8 BOM is text: it hides a header on line 1, values stay bytes.
        StringCase{"utf8_bom.ini", "s", "a", "?", 100, "?"},
        StringCase{"utf8_bom.ini", "t", "b", "?", 100, "caf\xc3\xa9"},
        StringCase{"utf8_bom_own_line.ini", "s", "a", "?", 100, "1"},
        // A UTF-16LE file is read as Unicode text.
        StringCase{"utf16le.ini", "s", "a", "?", 100, "caf\xc3\xa9"},
        StringCase{"utf16le.ini", "t", "n", "?", 100, "12"},
        // Lines before the first header are out of reach; "[]" is section "".
        StringCase{"before_header.ini", "", "a", "?", 100, "empty"},
        StringCase{"before_header.ini", "", "b", "?", 100, "?"},
        StringCase{"before_header.ini", "s", "a", "?", 100, "1"},
        // Names in either letter case.
        StringCase{"case.ini", "text", "show", "?", 100, "1"},
        StringCase{"case.ini", "tExT", "SHOW", "?", 100, "1"},
        // No line length limit; the buffer size cuts.
        StringCase{"long_line.ini", "s", "long", "?", 50000, kLong},
        StringCase{"long_line.ini", "s", "long", "?", 40000, kLong.substr(0, 39999)},
        StringCase{"long_line.ini", "s", "after", "?", 100, "1"},
        StringCase{"line_ends_crlf.ini", "s", "b", "?", 4, "two"},
        StringCase{"line_ends_crlf.ini", "s", "b", "?", 1, ""},
        StringCase{"line_ends_crlf.ini", "s", "b", "?", 0, ""},
        StringCase{"line_ends_crlf.ini", "s", "b", "?", -5, ""},
        // The default: trailing spaces go, tabs and leading blanks stay, cut
        // to the size like a value.
        StringCase{"line_ends_crlf.ini", "s", "none", "one two  ", 100, "one two"},
        StringCase{"line_ends_crlf.ini", "s", "none", "  x  ", 100, "  x"},
        StringCase{"line_ends_crlf.ini", "s", "none", "abc\t", 100, "abc\t"},
        StringCase{"line_ends_crlf.ini", "s", "none", "   ", 100, ""},
        StringCase{"line_ends_crlf.ini", "s", "none", "\"dq\"", 100, "\"dq\""},
        StringCase{"line_ends_crlf.ini", "s", "none", "default", 4, "def"},
        StringCase{"line_ends_crlf.ini", "none", "a", "d\0ef"s, 100, "d"}));

TEST(StringRead, MissingFileGivesTheTrimmedDefault) {
    EXPECT_EQ(GetString(std::nullopt, "s", "a", "default  ", 100), "default");
    EXPECT_EQ(GetString(std::nullopt, "s", "a", "default", 5), "defa");
}

TEST(StringRead, ArgumentsEndAtNul) {
    const std::string file = Load("line_ends_crlf.ini");
    EXPECT_EQ(GetString(file, "s\0x"s, "b\0y"s, "?", 100), "two words");
}

TEST(StringRead, StaysLinearOnHugeInput) {
    // A quadratic scan would take hours on these; a linear one milliseconds.
    std::string crOnly = "[s]" + std::string(4'000'000, '\r') + "k=v";
    EXPECT_EQ(GetString(crOnly, "s", "k", "?", 10), "v");
    std::string oneLine = "[s]\nk=" + std::string(16'000'000, 'x');
    EXPECT_EQ(GetString(oneLine, "s", "k", "?", 10), "xxxxxxxxx");
    std::string brackets = "[s]\n[" + std::string(16'000'000, '[') + "\nk=v";
    EXPECT_EQ(GetString(brackets, "s", "k", "?", 10), "v");
}

TEST(StringRead, NeverFailsOnArbitraryBytes) {
    std::string garbage;
    unsigned state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1103515245 + 12345;
        garbage += static_cast<char>(state >> 16);
    }
    for (const char* section : {"", "s", "["}) {
        GetString(garbage, section, "k", "d", 100);
        GetInt(garbage, section, "k", 7);
        const std::string written = WriteString(garbage, section, "k", "v");
        EXPECT_EQ(GetString(written, section, "k", "?", 10), "v");
    }
    const std::string utf16Garbage = "\xff\xfe" + garbage;
    EXPECT_EQ(GetString(WriteString(utf16Garbage, "s", "k", "v"), "s", "k", "?", 10), "v");
}

// --- integer reads -----------------------------------------------------------

struct IntCase {
    const char* key;
    std::int32_t def;
    std::uint32_t expected;
};

std::ostream& operator<<(std::ostream& os, const IntCase& c) {
    return os << c.key;
}

class IntRead : public testing::TestWithParam<IntCase> {};

TEST_P(IntRead, ReturnsWhatTheSystemReturns) {
    const IntCase& c = GetParam();
    EXPECT_EQ(GetInt(Load("integers.ini"), "int", c.key, c.def), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fixtures,
                         IntRead,
                         testing::Values(IntCase{"plain", 7, 42},
                                         IntCase{"neg", 7, 4294967295u},
                                         IntCase{"neg17", 7, 4294967279u},
                                         IntCase{"plus", 7, 5},
                                         IntCase{"hex", 7, 31},
                                         IntCase{"hexupper", 7, 0},
                                         IntCase{"neghex", 7, 4294967280u},
                                         IntCase{"octal", 7, 15},
                                         IntCase{"binary", 7, 5},
                                         IntCase{"leadingzero", 7, 10},
                                         IntCase{"prefixonly", 7, 0},
                                         IntCase{"wrap", 7, 0},
                                         IntCase{"wrap1", 7, 1},
                                         IntCase{"big", 7, 1215752191u},
                                         IntCase{"negwrap", 7, 4294967295u},
                                         IntCase{"trail", 7, 123},
                                         IntCase{"dot", 7, 3},
                                         IntCase{"space", 7, 1},
                                         IntCase{"letters", 7, 0},
                                         IntCase{"sign", 7, 0},
                                         IntCase{"signs", 7, 0},
                                         IntCase{"empty", 7, 7},
                                         IntCase{"quoted", 7, 12},
                                         IntCase{"quotedspace", 7, 9},
                                         IntCase{"emptyquoted", 7, 7},
                                         IntCase{"long33", 7, 1},
                                         IntCase{"long29", 7, 12345},
                                         IntCase{"ctrl", 7, 7},
                                         IntCase{"b4", 7, 0},
                                         IntCase{"a42", 7, 42},
                                         IntCase{"noeq", 7, 7},
                                         IntCase{"missing", 7, 7},
                                         IntCase{"missing", -1, 4294967295u}));

TEST(IntRead, MissingFileGivesTheDefault) {
    EXPECT_EQ(GetInt(std::nullopt, "window", "left", 3500), 3500u);
    EXPECT_EQ(GetInt(std::nullopt, "window", "left", -2), 4294967294u);
}

// --- writes --------------------------------------------------------------------

struct WriteCase {
    const char* name;  // write/<name>.ini in, write/<name>.expected out
    std::string section;
    std::string key;
    std::string value;
};

std::ostream& operator<<(std::ostream& os, const WriteCase& c) {
    return os << c.name;
}

class Write : public testing::TestWithParam<WriteCase> {};

TEST_P(Write, EditsOnlyTheLineConcerned) {
    const WriteCase& c = GetParam();
    const std::string name = std::string("write/") + c.name;
    const std::string written = WriteString(Load(name + ".ini"), c.section, c.key, c.value);
    EXPECT_EQ(written, Load(name + ".expected"));
    // What was written reads back, its leading blank dropped by the reader.
    const std::string expectedValue = c.value.substr(c.value.find_first_not_of(' '));
    EXPECT_EQ(GetString(written, c.section, c.key, "?", 100), expectedValue);
}

INSTANTIATE_TEST_SUITE_P(
    Golden,
    Write,
    testing::Values(WriteCase{"replace", "window", "left", " 3500"},
                    WriteCase{"insert_key", "window", "top", " 3500"},
                    WriteCase{"insert_key_no_final_newline", "window", "top", " 3500"},
                    WriteCase{"insert_key_cr_only", "window", "top", " 3500"},
                    WriteCase{"insert_key_empty_section", "window", "top", " 3500"},
                    WriteCase{"new_section", "window", "top", " 3500"},
                    WriteCase{"new_section_no_final_newline", "window", "top", " 3500"},
                    WriteCase{"new_section_lf", "window", "top", " 3500"},
                    WriteCase{"nul_preamble", "section1", "key1", "string1"},
                    WriteCase{"duplicate_sections", "Window", "top", " 3500"},
                    WriteCase{"key_without_equals", "window", "top", " 3500"},
                    WriteCase{"utf8_bom_header", "window", "top", " 3500"},
                    WriteCase{"before_header", "window", "top", " 3500"},
                    WriteCase{"utf16le", "window", "top", " 3500"},
                    WriteCase{"empty_file", "window", "top", " 3500"}));

TEST(Write, MissingFileIsCreated) {
    EXPECT_EQ(WriteString(std::nullopt, "window", "left", " 3500"), "[window]\r\nleft= 3500\r\n");
    EXPECT_EQ(WriteString(std::nullopt, "App", "key", ""), "[App]\r\nkey=\r\n");
}

TEST(Write, NamesAreTrimmedAndEndAtNul) {
    EXPECT_EQ(WriteString(std::nullopt, "  window\t", " left ", "1\0junk"s),
              "[window]\r\nleft=1\r\n");
}

TEST(Write, EmptySectionNameWritesTheBracketPairSection) {
    EXPECT_EQ(WriteString("x=0\r\n[]\r\na=1\r\n"s, "", "a", "2"), "x=0\r\n[]\r\na=2\r\n");
}

TEST(Write, SuccessiveWritesBuildAFileTheReaderAgreesWith) {
    std::optional<std::string> file;
    file = WriteString(file, "App1", "key1", "string1");
    file = WriteString(file, "App1", "key2", "string2");
    file = WriteString(file, "App2", "key3", "string3");
    file = WriteString(file, "app1", "KEY1", "changed");
    EXPECT_EQ(*file, "[App1]\r\nkey1=changed\r\nkey2=string2\r\n[App2]\r\nkey3=string3\r\n");
}

TEST(Write, LinesThatWouldNotReadBackAreRefusedAndLeaveTheFileAlone) {
    const std::string file = "[window]\r\nleft=1\r\n";
    for (const auto& [section, key, value] :
         {std::tuple{"window"s, "left"s, "1\r\ntop=2"s}, std::tuple{"window"s, "le\nft"s, "1"s},
          std::tuple{"win\rdow"s, "left"s, "1"s}, std::tuple{"window"s, "a=b"s, "1"s},
          std::tuple{"window"s, "[text]"s, "1"s}}) {
        EXPECT_FALSE(zb::profile::IsWritable(section, key, value));
        EXPECT_EQ(WriteString(file, section, key, value), file);
    }
    // Blanks around a name are trimmed anyway; after a NUL nothing counts.
    EXPECT_TRUE(zb::profile::IsWritable(" window\r\n", "left\n", "1\0\r\n"s));
    EXPECT_TRUE(zb::profile::IsWritable("window", "[left", "a=b"));
}

}  // namespace
