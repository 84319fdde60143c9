// The sample settings file shipped with the releases documents every setting
// with its default value: it must name every key of the settings table, hold
// exactly the defaults the program uses without the file (the copy of this
// build's own system, since window.wait differs), and the Windows copy must
// be a plain Windows text file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "platform/Profile.h"
#include "settings/Settings.h"

namespace {

std::string LoadSample(const char* path = ZB_SAMPLE_INI) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "missing " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The key a row is stored under: the message under the default TextKey.
std::string KeyOf(const zb::SettingRow& row) {
    return row.key ? row.key : "Text1";
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

class SampleIni : public testing::Test {
protected:
    const std::string sample = LoadSample();
};

TEST_F(SampleIni, HoldsEverySettingWithItsDefault) {
    // A value no key of the file holds: a missing key would return it.
    const std::string kAbsent = std::string(1, '\x01') + "absent";
    const std::string sample = LoadSample(ZB_SAMPLE_INI_OWN);
    for (const zb::SettingRow& row : zb::SettingsTable()) {
        SCOPED_TRACE(std::string(row.section) + "." + KeyOf(row));
        const std::string text =
            zb::profile::GetString(sample, row.section, KeyOf(row), kAbsent, 1000);
        ASSERT_NE(text, kAbsent) << "not in the sample";
        if (row.kind == zb::SettingKind::Text) {
            EXPECT_EQ(text, row.defaultText);
        } else {
            EXPECT_EQ(static_cast<std::int32_t>(
                          zb::profile::GetInt(sample, row.section, KeyOf(row), -12345)),
                      row.defaultInt);
            EXPECT_EQ(text, std::to_string(row.defaultInt)) << "not written as a plain number";
        }
    }
}

TEST_F(SampleIni, NamesNoKeyTheProgramDoesNotRead) {
    std::set<std::pair<std::string, std::string>> known;
    for (const zb::SettingRow& row : zb::SettingsTable())
        known.insert({row.section, Lower(KeyOf(row))});
    std::istringstream lines(sample);
    std::string line;
    std::string section;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            ASSERT_EQ(line.back(), ']') << line;
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t equals = line.find('=');
        ASSERT_NE(equals, std::string::npos) << "neither comment, section nor key: " << line;
        EXPECT_TRUE(known.count({section, Lower(line.substr(0, equals))}))
            << "unknown key " << section << "." << line.substr(0, equals);
    }
}

TEST_F(SampleIni, IsAsciiTextWithCrLfLineEnds) {
    ASSERT_GE(sample.size(), 2u);
    EXPECT_EQ(sample.substr(sample.size() - 2), "\r\n");
    for (std::size_t i = 0; i < sample.size(); ++i) {
        const auto c = static_cast<unsigned char>(sample[i]);
        ASSERT_LT(c, 0x80) << "non-ASCII byte at " << i;
        if (c == '\n') {
            ASSERT_TRUE(i > 0 && sample[i - 1] == '\r') << "bare LF at " << i;
        }
        if (c == '\r') {
            ASSERT_TRUE(i + 1 < sample.size() && sample[i + 1] == '\n') << "bare CR at " << i;
        }
    }
}

}  // namespace
