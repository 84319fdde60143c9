// The helpers every build shares, whatever its platform: directory-search
// patterns and the character helpers.
#include <gtest/gtest.h>

#include <string>

#include "platform/Text.h"
#include "platform/Wildcard.h"

namespace {

TEST(WildcardMatchTest, StarAndQuestionMark) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*", "anything", true},
        {"*", "", true},
        {"*.tmp", "zettelblick_Text1_Work.tmp", true},
        {"*.tmp", "zettelblick.ini", false},
        {"zettelblick_*_Work.tmp", "zettelblick_Text1_Work.tmp", true},
        {"zettelblick_*_Work.tmp", "zettelblick_Text1_Home.tmp", false},
        {"?.wav", "a.wav", true},
        {"?.wav", "ab.wav", false},
        {"?.wav", ".wav", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"**x", "x", true},
        {"message.wav", "message.wav", true},
        // Case-sensitive, like the file system.
        {"*.WAV", "message.wav", false},
        // No character classes: brackets are ordinary characters.
        {"[ab].wav", "a.wav", false},
        {"[ab].wav", "[ab].wav", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zb::WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(CutToCharsTest, CountsCharactersNotBytes) {
    std::string umlauts;
    for (int i = 0; i < 260; ++i)
        umlauts += "ä";
    EXPECT_EQ(zb::CutToChars(umlauts, 250), umlauts.substr(0, 500));
    // A stray byte counts as one character.
    EXPECT_EQ(zb::CutToChars("ab\xff\xfe"
                             "cd",
                             3),
              "ab\xff");
}

}  // namespace
