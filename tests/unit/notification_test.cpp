// Building the window from the settings, and the message text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/Failure.h"
#include "platform/fake/FakePlatform.h"
#include "window/ColorText.h"
#include "window/Design.h"
#include "window/MessageText.h"
#include "window/Notification.h"
#include "window/Placement.h"

namespace zb {
namespace {

using ::testing::ElementsAre;

const std::string kDir = "C:\\z";

class NotificationTest : public ::testing::Test {
protected:
    NotificationTest() { fake.files[kDir + "\\thebat.jpg"] = "jpeg"; }

    // The number of the failure Show throws, or 0; its text in `text`.
    int ShowFailureNumber(std::string* text = nullptr) {
        try {
            ShowNotification(fake, settings, "Beispieltext", {kDir});
            return 0;
        } catch (const Failure& failure) {
            if (text)
                *text = failure.description();
            return failure.number();
        }
    }

    fake::FakePlatform fake;
    Settings settings;
};

TEST_F(NotificationTest, DefaultsBuildTheShippedDesign) {
    ShowNotification(fake, settings, "Beispieltext", {kDir});
    EXPECT_THAT(fake.calls, ElementsAre("SetWindowFrame tool", "SetWindowRect 233,233 233x133",
                                        "SetWindowBackground BAFEFE", "DateText", "TimeText",
                                        "SetLabel 92,0 133x108", "SetLabelVisible 1",
                                        "LoadPicture C:\\z\\thebat.jpg", "SetPicture 0,0 90x90",
                                        "SetPictureVisible 1", "TakePlacementLock 0",
                                        "ClaimPlace 233,233 233x133 header 32 placed 233,233 ",
                                        "ReleasePlacementLock", "ShowWindow"));
    EXPECT_EQ(fake.label.text, "You have got mail!");
    EXPECT_TRUE(fake.label.opaque);
    EXPECT_TRUE(fake.label.border);
    EXPECT_EQ(fake.label.background, 0xBAFEFEu);
    EXPECT_EQ(fake.label.textColor, 0u);
    EXPECT_EQ(fake.label.font.name, "Arial");
    EXPECT_EQ(fake.label.font.points, 8);
    EXPECT_TRUE(fake.label.font.bold);
    EXPECT_FALSE(fake.label.font.italic);
    EXPECT_FALSE(fake.label.font.underline);
}

TEST_F(NotificationTest, GeometryFollowsScreenDpi) {
    fake.dpiX = fake.dpiY = 192;  // 7.5 twips per pixel
    ShowNotification(fake, settings, "", {kDir});
    EXPECT_TRUE(fake.Called("SetWindowRect 467,467 467x267"));
    EXPECT_TRUE(fake.Called("SetPicture 0,0 180x180"));
}

TEST_F(NotificationTest, SizesFollowTheMonitorThePositionTheScreen) {
    // Positions convert at the screen's 96 dpi; the window at 233, 233 lands
    // on the second monitor, whose resolution sizes it, its label, font and
    // picture box.
    struct Case {
        double dpi;
        const char* window;
        const char* label;
        int fontPixels;
        const char* picture;
    };
    for (const Case& c : {Case{96, "SetWindowRect 233,233 233x133", "SetLabel 92,0 133x108", 11,
                               "SetPicture 0,0 90x90"},
                          Case{144, "SetWindowRect 233,233 350x200", "SetLabel 138,0 200x163", 16,
                               "SetPicture 0,0 135x135"},
                          Case{192, "SetWindowRect 233,233 467x267", "SetLabel 183,0 267x217", 21,
                               "SetPicture 0,0 180x180"}}) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.dpiMonitors = {{{0, 0, 200, 1000}, 96}, {{200, 0, 2000, 1000}, c.dpi}};
        EXPECT_EQ(ShowNotification(platform, settings, "", {kDir}).dpi, c.dpi);
        EXPECT_TRUE(platform.Called(c.window)) << c.dpi;
        EXPECT_TRUE(platform.Called(c.label)) << c.dpi;
        EXPECT_EQ(platform.label.font.pixels, c.fontPixels) << c.dpi;
        EXPECT_TRUE(platform.Called(c.picture)) << c.dpi;
    }
}

TEST_F(NotificationTest, SwitchesChooseFrameStylesAndVisibility) {
    settings.windowTitle = 0;
    settings.textShow = 0;
    settings.imageShow = 2;
    settings.windowAlwaysOnTop = 1;
    settings.windowStack = 0;  // at the configured place, without the placement lock
    ShowNotification(fake, settings, "", {kDir});
    EXPECT_THAT(fake.calls, ElementsAre("SetWindowFrame none", "SetWindowRect 233,233 233x133",
                                        "SetWindowBackground BAFEFE", "SetLabelVisible 0",
                                        "SetPictureVisible 0",
                                        "ClaimPlace 233,233 233x133 header 32 placed 233,233 ",
                                        "ShowWindow", "SetTopMost 1"));
}

TEST_F(NotificationTest, LabelStylesAreOnOnlyForOne) {
    settings.textFontBold = 2;
    settings.textFontItalic = 1;
    settings.textFontUnderline = 1;
    settings.textBackStyle = 0;
    settings.textBorder = 0;
    settings.textAlign = 2;
    settings.textFontColor = "0000FF";  // blue-green-red: red
    settings.imageBorder = 1;
    settings.textMessage = "&Post && Pakete";
    settings.imagePicture = "pics\\logo.jpg";
    fake.files[kDir + "\\pics\\logo.jpg"] = "jpeg";
    ShowNotification(fake, settings, "", {kDir});
    // What a screen reader says: the label without its access-key marks, the
    // picture by its file name.
    EXPECT_EQ(fake.label.spokenText, "Post & Pakete");
    EXPECT_EQ(fake.picture.accessibleName, "logo");
    EXPECT_FALSE(fake.label.font.bold);
    EXPECT_TRUE(fake.label.font.italic);
    EXPECT_TRUE(fake.label.font.underline);
    EXPECT_FALSE(fake.label.opaque);
    EXPECT_FALSE(fake.label.border);
    EXPECT_EQ(fake.label.align, Align::Center);
    EXPECT_EQ(fake.label.textColor, 0x0000FFu);
    EXPECT_TRUE(fake.picture.border);
}

TEST_F(NotificationTest, RefusedValuesFailBeforeTheWindowShows) {
    // Each names the setting, the value as written and what it expects.
    struct Case {
        void (*change)(Settings&);
        int number;
        const char* text;
    };
    const std::string colour =
        " (expected six hexadecimal digits in the order blue, green, red, such as 0000FF for red)";
    const Case cases[] = {
        {[](Settings& s) { s.windowBackground = "#FF0000"; }, kErrTypeMismatch,
         "Type mismatch: window.background = \"#FF0000\""},
        {[](Settings& s) { s.textBackground = "12 34"; }, kErrTypeMismatch,
         "Type mismatch: text.background = \"12 34\""},
        {[](Settings& s) { s.textFontColor = "123456789"; }, kErrOverflow,
         "Overflow: text.fontcolor = \"123456789\""},
        {[](Settings& s) { s.textBackStyle = 2; }, kErrInvalidProperty,
         "Invalid property value: text.backstyle = 2 (expected 0 or 1)"},
        {[](Settings& s) { s.textBorder = -1; }, kErrInvalidProperty,
         "Invalid property value: text.border = -1 (expected 0 or 1)"},
        {[](Settings& s) { s.textAlign = 3; }, kErrInvalidProperty,
         "Invalid property value: text.align = 3 (expected 0, 1 or 2)"},
        {[](Settings& s) { s.imageBorder = 2; }, kErrInvalidProperty,
         "Invalid property value: image.border = 2 (expected 0 or 1)"},
        {[](Settings& s) { s.textFontSize = 0; }, kErrInvalidProperty,
         "Invalid property value: text.fontsize = 0 (expected a whole number of points from 1 "
         "to 2160)"},
        {[](Settings& s) { s.windowWidth = -1; }, kErrInvalidProperty,
         "Invalid property value: window.width = -1 (expected a whole number of twips, 0 or "
         "more)"},
        {[](Settings& s) { s.imagePicture = "none.jpg"; }, kErrFileNotFound,
         "File not found: image.picture = \"none.jpg\" (expected a file in the settings folder): "
         "C:\\z\\none.jpg"},
        {[](Settings& s) { s.imagePicture = ""; }, kErrFileNotFound,
         "File not found: image.picture = \"\""},
        {[](Settings& s) { s.imagePicture = "C:\\z\\thebat.jpg"; }, kErrFileNotFound,
         "File not found: image.picture = \"C:\\z\\thebat.jpg\""},
    };
    for (const Case& c : cases) {
        fake.calls.clear();
        settings = Settings();
        c.change(settings);
        std::string text;
        EXPECT_EQ(ShowFailureNumber(&text), c.number) << c.text;
        if (c.number == kErrTypeMismatch || c.number == kErrOverflow)
            EXPECT_EQ(text, c.text + colour);
        else
            EXPECT_EQ(text.rfind(c.text, 0), 0u) << text;
        EXPECT_FALSE(fake.Called("ShowWindow")) << c.text;
    }
}

TEST_F(NotificationTest, HiddenLabelBuildsNoMessage) {
    settings.textShow = 0;
    settings.textBackground = "not a colour";
    EXPECT_EQ(ShowFailureNumber(), 0);
    EXPECT_FALSE(fake.Called("DateText"));
}

TEST_F(NotificationTest, WindowOutOfSightIsShownOnTheScreenButTheSettingsStay) {
    fake.workAreas = {{0, 0, 1280, 994}};
    settings.windowLeft = 100000;  // pixel 6667
    settings.windowTop = 100000;
    ShowNotification(fake, settings, "", {kDir});
    EXPECT_TRUE(fake.Called("SetWindowRect 1047,861 233x133"));
    EXPECT_EQ(settings.windowLeft, 100000);
}

TEST_F(NotificationTest, WindowMovedOntoAMonitorTakesItsResolution) {
    // Saved far right of a 96 dpi monitor; the nearest work area is that of
    // a 192 dpi monitor above it, which sizes the window once it is there.
    fake.workAreas = {{0, 0, 1280, 994}, {0, -2000, 3000, 2000}};
    fake.dpiMonitors = {{{0, -2000, 3000, 2000}, 192}};
    settings.windowLeft = 60000;  // pixel 4000
    settings.windowTop = -3000;   // pixel -200
    EXPECT_EQ(ShowNotification(fake, settings, "", {kDir}).dpi, 192);
    EXPECT_TRUE(fake.Called("SetWindowRect 2533,-267 467x267"));
}

bool operator==(const PixelRect& a, const PixelRect& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

// A monitor with a task bar below, and a larger one to its right.
const PixelRect first{0, 0, 1280, 994};
const PixelRect second{1280, 0, 1920, 1080};

TEST(PlacementTest, WindowMovesOnlyWhenNotUsablyOnAWorkArea) {
    struct Case {
        const char* what;
        PixelRect window;
        std::vector<PixelRect> areas;
        PixelRect placed;
    };
    const Case cases[] = {
        {"on screen", {233, 233, 233, 133}, {first}, {233, 233, 233, 133}},
        {"partly off, 32 pixels of the caption on",
         {1248, 962, 233, 133},
         {first},
         {1248, 962, 233, 133}},
        {"partly off, 31 pixels on", {1249, 100, 233, 133}, {first}, {1047, 100, 233, 133}},
        {"caption above the area", {100, -1, 233, 133}, {first}, {100, 0, 233, 133}},
        {"wholly off", {6667, 6667, 233, 133}, {first}, {1047, 861, 233, 133}},
        {"on the second monitor", {3000, 500, 233, 133}, {first, second}, {3000, 500, 233, 133}},
        {"second monitor gone", {3000, 500, 233, 133}, {first}, {1047, 500, 233, 133}},
        {"nearer to the second", {3400, -500, 233, 133}, {first, second}, {2967, 0, 233, 133}},
        {"larger than the area", {-50, -40, 1500, 1100}, {first}, {0, 0, 1500, 1100}},
        {"small window wholly needed", {1270, 10, 20, 20}, {first}, {1260, 10, 20, 20}},
        {"no work areas known", {6667, 6667, 233, 133}, {}, {6667, 6667, 233, 133}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(PlaceOnWorkArea(c.window, c.areas) == c.placed) << c.what;
}

TEST(PlacementTest, StackingTakesTheNearestFreePlaceThenCascadesOverBodies) {
    const PixelRect at{233, 233, 233, 133};
    const PixelRect below{233, 374, 233, 133};
    const PixelRect above{233, 92, 233, 133};
    // Room for one window only, at its left: the others must cover it.
    const PixelRect narrow{0, 200, 300, 220};
    const PixelRect corner{0, 233, 233, 133};
    struct Case {
        const char* what;
        PixelRect configured;
        std::vector<PixelRect> others;  // each with a header band of 35 pixels
        std::vector<PixelRect> areas;
        PixelRect placed;
    };
    const Case cases[] = {
        {"no others", at, {}, {first}, at},
        {"others elsewhere, one nearer than the gap", at, {{233, 370, 233, 133}}, {first}, at},
        {"below first", at, {at}, {first}, below},
        {"then above", at, {at, below}, {first}, above},
        {"then beside", at, {at, below, above}, {first}, {474, 233, 233, 133}},
        {"left when that is nearest",
         {1200, 100, 233, 133},
         {{1200, 100, 233, 133}},
         {first},
         {959, 100, 233, 133}},
        {"a larger window above a smaller one",
         {233, 233, 400, 200},
         {at, below},
         {first},
         {233, 25, 400, 200}},
        {"a smaller window above a larger one",
         at,
         {{200, 200, 400, 300}},
         {first},
         {233, 59, 233, 133}},
        {"the other on another monitor", at, {{1500, 233, 233, 133}}, {first, second}, at},
        {"on the second monitor",
         {1500, 233, 233, 133},
         {{1500, 233, 233, 133}},
         {first, second},
         {1500, 374, 233, 133}},
        {"work area full: over the body, the header left in sight",
         corner,
         {corner},
         {narrow},
         {0, 268, 233, 133}},
        {"no header can stay in sight: the least of them covered",
         corner,
         {corner, {0, 268, 233, 133}},
         {narrow},
         {67, 287, 233, 133}},
        {"larger than the work area",
         {0, 0, 400, 300},
         {{0, 0, 400, 300}},
         {narrow},
         {0, 200, 400, 300}},
        {"no work areas known", at, {at}, {}, below},
    };
    for (const Case& c : cases) {
        std::vector<NotificationPlace> others;
        for (const PixelRect& frame : c.others)
            others.push_back({frame, 35});
        EXPECT_TRUE(StackPlace(c.configured, others, c.areas, 8) == c.placed) << c.what;
    }
}

TEST(DesignTest, BuiltInDesignInPixelsOfTheScreen) {
    const WindowDesign design = BuiltInDesign(96, 96);
    EXPECT_EQ(design.innerWidth, 225);
    EXPECT_EQ(design.innerHeight, 90);
    EXPECT_EQ(design.caption, "Zettelblick 2");
    EXPECT_EQ(design.label.rect.left, 92);
    EXPECT_EQ(design.label.rect.width, 133);
    EXPECT_EQ(design.label.rect.height, 90);
    EXPECT_EQ(design.label.text, "Example");
    EXPECT_EQ(design.label.background, 0xBAFEFEu);
    EXPECT_FALSE(design.label.border);
    EXPECT_FALSE(design.label.font.bold);
    EXPECT_EQ(design.picture.rect.width, 90);
    // 7.5 twips per pixel.
    EXPECT_EQ(BuiltInDesign(192, 192).innerWidth, 450);
}

TEST(ColorTextTest, ReadsBlueGreenRedHex) {
    EXPECT_EQ(ParseColorText("BAFEFE"), 0xBAFEFEu);
    EXPECT_EQ(ParseColorText("bafefe"), 0xBAFEFEu);
    EXPECT_EQ(ParseColorText(""), 0u);
    EXPECT_EQ(ParseColorText("FF"), 0xFFu);
    EXPECT_EQ(ParseColorText("00000000FFFFFFFF"), 0xFFFFFFFFu);
}

struct MessageCase {
    std::string message;
    std::string place;
    std::string expected;
};

class MessageTextTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageTextTest, FillsInTemplate) {
    fake::FakePlatform fake;
    const MessageCase& c = GetParam();
    EXPECT_EQ(BuildMessageText(c.message, c.place, fake), c.expected);
}

const std::string k248 = std::string(120, 'a') + "\\date" + std::string(123, 'b');

INSTANTIATE_TEST_SUITE_P(
    Escapes,
    MessageTextTest,
    ::testing::Values(MessageCase{"You have got mail!", "Beispieltext", "You have got mail!"},
                      MessageCase{"Neue Post\\nvon \\place um \\time", "Postfach 2",
                                  "Neue Post\r\nvon Postfach 2 um 08:05:09"},
                      MessageCase{"\\Date \\DATE", "", "\\Date \\DATE"},
                      MessageCase{"\\name", "", "\r\name"},
                      MessageCase{"\\timer", "", "08:05:09r"},
                      MessageCase{"\\date \\time", "", "31.01.2005 08:05:09"},
                      // The place is inserted last and never scanned again.
                      MessageCase{"at \\place", "C:\\new \\time", "at C:\\new \\time"},
                      // A template of 248 characters loses its last three after the date.
                      MessageCase{k248, "",
                                  std::string(120, 'a') + "31.01.2005" + std::string(120, 'b')},
                      MessageCase{std::string(250, 'x') + "", "", std::string(250, 'x')},
                      MessageCase{std::string(244, 'x') + "\\place", "abcdefghij",
                                  std::string(244, 'x') + "abcdef"}));

TEST(MessageTextTest, InsertedDateIsScannedByLaterPasses) {
    fake::FakePlatform fake;
    fake.date = "\\time";
    fake.time = "\\place";
    EXPECT_EQ(BuildMessageText("\\date", "P", fake), "P");
    // Each of date and time is read once, date first, even when unused.
    EXPECT_THAT(fake.calls, ElementsAre("DateText", "TimeText"));
}

}  // namespace
}  // namespace zb
