#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace zb {
namespace {

struct Case {
    const char* commandLine;
    const char* configName;
    const char* textKey;
    const char* place;
};

class CommandLineTest : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineTest, SetsNamesFromOptions) {
    const Case& c = GetParam();
    NotificationNames names;
    ParseCommandLine(c.commandLine, names);
    EXPECT_EQ(names.configName, c.configName) << c.commandLine;
    EXPECT_EQ(names.textKey, c.textKey) << c.commandLine;
    EXPECT_EQ(names.place, c.place) << c.commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Options,
    CommandLineTest,
    ::testing::Values(
        // Runs of blanks collapse; underscores in the place become spaces.
        Case{"/text:Text2  /place:Inbox_Work", "zettelblick", "Text2", "Inbox Work"},
        Case{"/text:Text2     /place:a__b", "zettelblick", "Text2", "a  b"},
        // An option without a colon, or with two, gives the empty value.
        Case{"/config", "", "Text1", "Beispieltext"},
        Case{"/config:C:\\x", "", "Text1", "Beispieltext"},
        Case{"/place:a:b", "zettelblick", "Text1", ""},
        // Leading and trailing blanks make empty words, which match nothing.
        Case{"/text:Text2 ", "zettelblick", "Text2", "Beispieltext"},
        Case{"  /text:Text3", "zettelblick", "Text3", "Beispieltext"},
        // The last of a repeated option wins.
        Case{"/text:A /text:B /config:x /config:y", "y", "B", "Beispieltext"},
        // Names compare exactly and case-sensitively.
        Case{"/Text:Text2 /PLACE:x /configx:y", "zettelblick", "Text1", "Beispieltext"},
        // A tab is an ordinary character, not a separator.
        Case{"/text:A\t/place:B", "zettelblick", "", "Beispieltext"},
        Case{"/text:A\tB", "zettelblick", "A\tB", "Beispieltext"},
        // Config and text keep their underscores.
        Case{"/config:my_cfg /text:Text_2 /place:P_1", "my_cfg", "Text_2", "P 1"},
        // Unknown words are ignored.
        Case{"hello /verbose /place:Work", "zettelblick", "Text1", "Work"},
        Case{"/text:", "zettelblick", "", "Beispieltext"},
        Case{"/place:Postfach_2 /text:Text2 /config:mail", "mail", "Text2", "Postfach 2"}));

}  // namespace
}  // namespace zb
