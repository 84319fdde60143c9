// How the Windows backend cuts its command line and its module path. The
// rules live in a header without Windows types, so they are checked here on
// wide strings as GetCommandLineW and GetModuleFileNameW return them.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/ProcessText.h"

namespace {

using zb::win32::ArgumentsText;
using zb::win32::ModuleDirectory;

std::wstring Arguments(const std::wstring& commandLine) {
    return std::wstring(ArgumentsText(std::wstring_view(commandLine)));
}

std::wstring Directory(const std::wstring& modulePath) {
    return ModuleDirectory(std::wstring_view(modulePath));
}

TEST(ArgumentsText, SkipsTheProgramNameAndTheBlanksAfterIt) {
    EXPECT_EQ(Arguments(L"zettelblick.exe /text:Text2"), L"/text:Text2");
    EXPECT_EQ(Arguments(L"zettelblick.exe \t  /text:Text2"), L"/text:Text2");
    EXPECT_EQ(Arguments(L"C:\\Apps\\zettelblick.exe\t/text:Text2"), L"/text:Text2");
}

TEST(ArgumentsText, QuotedProgramNameMayHoldBlanks) {
    EXPECT_EQ(Arguments(L"\"C:\\Program Files\\Zettelblick\\zettelblick.exe\" /place:Work"),
              L"/place:Work");
    // A quote pair in the middle of the name, as some launchers write it.
    EXPECT_EQ(Arguments(L"C:\\Program\" \"Files\\zettelblick.exe /place:Work"), L"/place:Work");
    // An unclosed quote runs to the end: everything is the program's name.
    EXPECT_EQ(Arguments(L"\"C:\\Program Files\\zettelblick.exe /place:Work"), L"");
}

TEST(ArgumentsText, NoArgumentsGiveTheEmptyText) {
    EXPECT_EQ(Arguments(L""), L"");
    EXPECT_EQ(Arguments(L"zettelblick.exe"), L"");
    EXPECT_EQ(Arguments(L"zettelblick.exe   "), L"");
    EXPECT_EQ(Arguments(L"\"C:\\Program Files\\zettelblick.exe\""), L"");
}

// The parser collapses blanks, keeps tabs and sees a trailing blank as an
// empty last word: all of that must reach it unchanged.
TEST(ArgumentsText, KeepsTheArgumentsTextAsItIs) {
    EXPECT_EQ(Arguments(L"zettelblick.exe /text:Text2  /place:Inbox_Work"),
              L"/text:Text2  /place:Inbox_Work");
    EXPECT_EQ(Arguments(L"zettelblick.exe /text:Text2 "), L"/text:Text2 ");
    EXPECT_EQ(Arguments(L"zettelblick.exe /place:a\tb"), L"/place:a\tb");
    EXPECT_EQ(Arguments(L"zettelblick.exe /place:\"a b\""), L"/place:\"a b\"");
    EXPECT_EQ(Arguments(L"zettelblick.exe /place:Gr\u00FC\u00DFe"), L"/place:Gr\u00FC\u00DFe");
}

TEST(ModuleDirectory, DropsTheFileNameAndItsSeparator) {
    EXPECT_EQ(Directory(L"C:\\Apps\\Zettelblick\\zettelblick.exe"), L"C:\\Apps\\Zettelblick");
    EXPECT_EQ(Directory(L"\\\\server\\share\\zettelblick.exe"), L"\\\\server\\share");
    EXPECT_EQ(Directory(L"C:/Apps/zettelblick.exe"), L"C:/Apps");
}

// "C:" alone would name the drive's current directory, not its root.
TEST(ModuleDirectory, KeepsTheSeparatorOfADrivesRoot) {
    EXPECT_EQ(Directory(L"C:\\zettelblick.exe"), L"C:\\");
    EXPECT_EQ(Directory(L"\\\\?\\D:\\zettelblick.exe"), L"\\\\?\\D:\\");
}

TEST(ModuleDirectory, NoSeparatorGivesTheEmptyText) {
    EXPECT_EQ(Directory(L"zettelblick.exe"), L"");
}

}  // namespace
