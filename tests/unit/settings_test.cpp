// Reading every setting through the profile functions and writing the position.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/Failure.h"
#include "platform/fake/FakePlatform.h"
#include "settings/Settings.h"

namespace zb {
namespace {

const std::string kIni = "C:\\z\\zettelblick.ini";

Settings Load(const std::optional<std::string>& ini, const std::string& textKey = "Text1") {
    fake::FakePlatform platform;
    if (ini)
        platform.files[kIni] = *ini;
    return LoadSettings(platform, kIni, textKey);
}

TEST(SettingsTest, NoFileGivesEveryDefault) {
    const Settings s = Load(std::nullopt);
    EXPECT_EQ(s.windowShow, 1);
    EXPECT_EQ(s.windowTitle, 1);
    EXPECT_EQ(s.windowLeft, 3500);
    EXPECT_EQ(s.windowWidth, 3500);
    EXPECT_EQ(s.windowHeight, 2000);
    EXPECT_EQ(s.windowBackground, "BAFEFE");
    EXPECT_EQ(s.windowStack, 1);
    EXPECT_EQ(s.windowHoldBack, 1);
    EXPECT_EQ(s.windowIdleSeconds, 120);
    EXPECT_EQ(s.windowReplace, 0);
    EXPECT_EQ(s.textLeft, 1375);
    EXPECT_EQ(s.textHeight, 1627);
    EXPECT_EQ(s.textFont, "Arial");
    EXPECT_EQ(s.textFontSize, 8);
    EXPECT_EQ(s.textFontBold, 1);
    EXPECT_EQ(s.textMessage, "You have got mail!");
    EXPECT_EQ(s.imagePicture, "thebat.jpg");
    EXPECT_EQ(s.imageWidth, 1350);
    EXPECT_EQ(s.waveFile, "message.wav");
    EXPECT_EQ(s.programPath, "");
    EXPECT_EQ(s.speakerTime, 0);
    EXPECT_EQ(SettingsTable().size(), 41u);
}

TEST(SettingsTest, TextsAreCutToReadSizeAndFieldWidth) {
    const std::string longText(400, 'x');
    const Settings s =
        Load("[text]\nText1=" + longText + "\nfont=" + longText + "\nfontcolor=" + longText +
             "\n[program]\npath=" + longText + "\n[image]\npicture=" + longText + "\n");
    EXPECT_EQ(s.textMessage.size(), 250u);
    EXPECT_EQ(s.textFont.size(), 49u);
    EXPECT_EQ(s.textFontColor.size(), 19u);
    EXPECT_EQ(s.programPath.size(), 149u);
    EXPECT_EQ(s.imagePicture.size(), 250u);
}

TEST(SettingsTest, CutCountsCharactersNotBytes) {
    std::string umlauts;
    for (int i = 0; i < 260; ++i)
        umlauts += "ä";
    // 299 bytes reach the reader's limit in the middle of a character.
    const Settings s = Load("[text]\nText1=" + umlauts + "\n");
    EXPECT_EQ(s.textMessage, umlauts.substr(0, 298));
}

TEST(SettingsTest, TextReadsRightInEveryCommonEncoding) {
    for (const char* name : {"ansi.ini", "utf8.ini", "utf8_bom.ini", "utf16le.ini"}) {
        std::ifstream in(std::string(ZB_TEST_DATA) + "/encodings/" + name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        const Settings s = Load(std::string(std::istreambuf_iterator<char>(in), {}));
        EXPECT_EQ(s.textMessage, "Grüße: ä ö ü ß – 5 €") << name;
        EXPECT_EQ(s.imagePicture, "Grüße €.jpg") << name;
        EXPECT_EQ(s.waveFile, "Grüße €.wav") << name;
    }
}

TEST(SettingsTest, ValuesAreUtf8WhenTheyReadAsUtf8ElseTheCodePage) {
    struct Case {
        std::string value;
        std::string text;
    };
    for (const Case& c : {
             Case{"K\xc3\xb6ln", "Köln"},
             Case{"K\xf6ln \x80", "Köln €"},
             // Not UTF-8 as a whole: every byte is the code page's.
             Case{"\xc3\xa4\xfc", "Ã¤ü"},
             Case{"\xc0\xaf", "À¯"},  // a longer form than needed is no UTF-8
             // Windows-1252 leaves five bytes undefined; they keep their value.
             Case{"\x81\x8d\x8f\x90\x9d", "\u0081\u008d\u008f\u0090\u009d"},
         }) {
        EXPECT_EQ(Load("[text]\nText1=" + c.value + "\n").textMessage, c.text) << c.value;
    }
}

TEST(SettingsTest, SixteenBitSettingsOverflow) {
    const std::pair<const char*, const char*> cases[] = {
        {"[speaker]\ntime=40000\n",
         "speaker.time = 40000 (expected a whole number of milliseconds up to 32767)"},
        {"[window]\nalwaysontop=-32769\n", "window.alwaysontop = -32769 (expected 0 or 1)"},
        {"[image]\nborder=70000\n", "image.border = 70000 (expected 0 or 1)"},
        {"[text]\nfontunderline=32768\n", "text.fontunderline = 32768 (expected 0 or 1)"},
    };
    for (const auto& [ini, text] : cases) {
        try {
            Load(std::string(ini));
            ADD_FAILURE() << "no overflow for " << ini;
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number(), kErrOverflow) << ini;
            EXPECT_EQ(failure.description(), std::string("Overflow: ") + text);
        }
    }
    EXPECT_EQ(Load("[speaker]\ntime=32767\n").speakerTime, 32767);
    EXPECT_EQ(Load("[speaker]\ntime=-32768\n").speakerTime, -32768);
}

TEST(SettingsTest, ThirtyTwoBitSettingsTakeTheProfileValueAsSigned) {
    const Settings s = Load("[window]\ntime=-1\nleft=4294967295\ntop=12abc\nwidth=abc\nheight=\n");
    EXPECT_EQ(s.windowTime, -1);
    EXPECT_EQ(s.windowLeft, -1);
    EXPECT_EQ(s.windowTop, 12);
    EXPECT_EQ(s.windowWidth, 0);
    EXPECT_EQ(s.windowHeight, 2000) << "an empty value gives the default";
}

TEST(SettingsTest, EmptyValuesAndNameCase) {
    const Settings s = Load("[WAVE]\nFile=\n[Window]\nTIME=\n[TEXT]\nShow=0\n");
    EXPECT_EQ(s.waveFile, "");
    EXPECT_EQ(s.windowTime, 0);
    EXPECT_EQ(s.textShow, 0);
}

TEST(SettingsTest, MessageKeyNamesAnyKeyOfTheTextSection) {
    const std::string ini = "[text]\nshow=1\nText1=One\nText2=Two\n=nameless\n";
    EXPECT_EQ(Load(ini, "Text2").textMessage, "Two");
    EXPECT_EQ(Load(ini, "show").textMessage, "1");
    EXPECT_EQ(Load(ini, "Text9").textMessage, "You have got mail!");
    EXPECT_EQ(Load(ini, "").textMessage, "You have got mail!");
}

TEST(SettingsTest, PositionFormat) {
    struct Case {
        double twips;
        const char* text;
    };
    for (const Case& c : {Case{3500, " 3500"}, Case{3495, " 3495"}, Case{0, " 0"}, Case{-45, "-45"},
                          Case{1747.5, " 1747.5"}, Case{-7.5, "-7.5"}, Case{1234567.5, " 1234568"},
                          Case{20000000, " 2E+07"}}) {
        EXPECT_EQ(FormatPosition(c.twips), c.text) << c.twips;
    }
}

TEST(SettingsTest, FailedPositionWriteIsNotReported) {
    fake::FakePlatform platform;
    platform.unwritable.insert(kIni);
    EXPECT_NO_THROW(WritePosition(platform, kIni, 15, 30));
    EXPECT_FALSE(platform.files.count(kIni));
}

}  // namespace
}  // namespace zb
