// Timed close, close-down and the click that starts a program.
#include "tests/unit/AppFixture.h"

namespace zb::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

TEST_F(AppTest, TimedCloseRunsRoundedPassCountPlusOne) {
    // window.time / 20, ties to the even neighbour; N + 1 passes.
    struct Case {
        int time;
        int passes;
    };
    for (const Case& c : {Case{10, 1}, Case{30, 3}, Case{50, 3}, Case{70, 5}, Case{5000, 251},
                          Case{29, 2}, Case{31, 3}}) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.files[kIni] = "[window]\ntime=" + std::to_string(c.time) + "\n";
        App run(platform);
        EXPECT_EQ(run.Run(), 0);
        EXPECT_EQ(platform.passes, c.passes) << "window.time=" << c.time;
        EXPECT_EQ(platform.sleeps, c.passes) << "window.time=" << c.time;
        EXPECT_FALSE(platform.windowExists);
    }
}

TEST_F(AppTest, NegativeOrZeroTimeWaitsForTheUser) {
    SetIni("[window]\ntime=-100\n");
    ClickAt(0);
    RunApp();
    EXPECT_EQ(fake.passes, 0);
    EXPECT_TRUE(fake.Called("RunUntilClosed"));
}

TEST_F(AppTest, LongestWaitThatFitsRunsOutAndClosesNormally) {
    SetIni("[window]\ntime=655340\n");  // N = 32767
    EXPECT_EQ(RunApp(), 0);
    EXPECT_EQ(fake.passes, 32768);
    EXPECT_FALSE(fake.Called("ShowFailure"));
    EXPECT_FALSE(fake.files.count(kLock));
}

TEST_F(AppTest, PassCountBeyondSixteenBitsIsAnOverflowBeforeTheWait) {
    SetIni("[window]\ntime=655350\n");  // 32767.5 rounds to 32768
    EXPECT_EQ(RunApp(), 1);
    EXPECT_EQ(fake.passes, 0);
    const auto reports = fake.CallsStartingWith("ShowFailure");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              "ShowFailure Run-time error '6':\n\nOverflow: window.time = 655350 "
              "(expected a whole number of milliseconds up to 655349)");
    // The failure path gives up the lock so the notification can show again.
    EXPECT_FALSE(fake.files.count(kLock));
}

TEST_F(AppTest, ClickDuringTimedWaitClosesAtOnceAndEndsTheWait) {
    SetIni("[window]\ntime=10000\n");
    ClickAt(50);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_EQ(fake.passes, 50);
    EXPECT_FALSE(fake.Called("RunUntilClosed"));
    EXPECT_THAT(fake.CallsStartingWith("DestroyWindow"), ElementsAre("DestroyWindow"));
    EXPECT_THAT(fake.CallsStartingWith("DeleteOwnFile"), ElementsAre("DeleteOwnFile " + kLock));
    EXPECT_EQ(fake.CallsStartingWith("WriteProfileString").size(), 2u);
}

TEST_F(AppTest, CloseBoxReleasesLockAndSavesButStartsNothing) {
    fake.files["C:\\mail\\client.exe"] = "exe";
    SetIni("[program]\npath=C:\\mail\\client.exe\n");
    CloseBoxAt(0);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_FALSE(fake.Called("StartProgram"));
    EXPECT_FALSE(fake.files.count(kLock));
    EXPECT_EQ(fake.CallsStartingWith("WriteProfileString").size(), 2u);
}

TEST_F(AppTest, CloseDownRunsOnceWhateverClosesTheWindow) {
    SetIni("[window]\ntime=100\n");
    ClickAt(1);
    CloseBoxAt(1);
    ClickAt(1);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_EQ(fake.CallsStartingWith("DestroyWindow").size(), 1u);
    EXPECT_EQ(fake.CallsStartingWith("DeleteOwnFile").size(), 1u);
    EXPECT_EQ(fake.CallsStartingWith("WriteProfileString").size(), 2u);
}

TEST_F(AppTest, LockDeletedByOthersStillSavesPosition) {
    fake.events.push_back({0, [this](WindowEvents& e) {
                               fake.files.erase(kLock);
                               e.OnClick();
                           }});
    EXPECT_EQ(RunApp(), 0);
    EXPECT_FALSE(fake.Called("ShowFailure"));
    EXPECT_EQ(fake.files[kIni], "[window]\r\nleft= 3495\r\ntop= 3495\r\n");
}

TEST_F(AppTest, PositionIsWrittenInTwipsOfTheScreen) {
    struct Case {
        double dpi;
        PixelPoint position;
        const char* ini;
    };
    for (const Case& c : {Case{96, {0, -3}, "[window]\r\nleft= 0\r\ntop=-45\r\n"},
                          Case{192, {233, 467}, "[window]\r\nleft= 1747.5\r\ntop= 3502.5\r\n"},
                          Case{120, {100, 1}, "[window]\r\nleft= 1200\r\ntop= 12\r\n"}}) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.dpiX = platform.dpiY = c.dpi;
        platform.position = c.position;
        platform.events.push_back({0, [](WindowEvents& e) { e.OnClick(); }});
        App run(platform);
        run.Run();
        EXPECT_EQ(platform.files[kIni], c.ini) << c.dpi;
    }
}

TEST_F(AppTest, StackedWindowWritesTheConfiguredPlaceUnlessTheUserMovedIt) {
    // Another notification stands at the configured place, 233, 233; this
    // one shows below it. With replace=1 one of its kind stands at 240, 500,
    // put there by the program or (placed elsewhere) moved there by the user;
    // this one takes its place.
    struct Case {
        const char* ini;
        bool lockFree;
        std::vector<std::pair<PixelRect, PixelPoint>> replaced;
        PixelPoint position;
        const char* shown;
        const char* written;
    };
    const PixelRect old{240, 500, 233, 133};
    for (const Case& c : {
             Case{"",
                  true,
                  {},
                  {233, 374},
                  "SetWindowRect 233,374 233x133",
                  "left= 3495\r\ntop= 3495"},
             Case{"",
                  false,
                  {},
                  {233, 374},
                  "SetWindowRect 233,374 233x133",
                  "left= 3495\r\ntop= 3495"},
             Case{"",
                  true,
                  {},
                  {300, 400},
                  "SetWindowRect 233,374 233x133",
                  "left= 4500\r\ntop= 6000"},
             Case{"stack=0\n",
                  true,
                  {},
                  {233, 233},
                  "SetWindowRect 233,233 233x133",
                  "left= 3495\r\ntop= 3495"},
             Case{"replace=1\n",
                  true,
                  {{old, {240, 500}}},
                  {240, 500},
                  "SetWindowRect 240,500 233x133",
                  "left= 3495\r\ntop= 3495"},
             Case{"replace=1\n",
                  true,
                  {{old, {233, 374}}},
                  {240, 500},
                  "SetWindowRect 240,500 233x133",
                  "left= 3600\r\ntop= 7500"},
         }) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.files[kIni] = std::string("[window]\n") + c.ini;
        platform.otherPlaces = {{{233, 233, 233, 133}, 35}};
        platform.replaceable = c.replaced;
        platform.placementLockFree = c.lockFree;
        platform.position = c.position;
        platform.events.push_back({0, [](WindowEvents& e) { e.OnClick(); }});
        App run(platform);
        run.Run();
        EXPECT_EQ(platform.CallsStartingWith("SetWindowRect").back(), c.shown) << c.ini;
        EXPECT_NE(platform.files[kIni].find(c.written), std::string::npos)
            << c.ini << c.position.x << platform.files[kIni];
        EXPECT_EQ(platform.Called("ReplaceNotifications " + kIni + "\ntext1"), !c.replaced.empty());
        // Painted ahead only by one that has to wait for the lock.
        EXPECT_EQ(platform.Called("PaintAhead"), !c.lockFree);
    }
}

TEST_F(AppTest, ReplacedNotificationEndsWithoutProgramOrPosition) {
    fake.files["C:\\mail\\client.exe"] = "exe";
    SetIni("[program]\npath=C:\\mail\\client.exe\n");
    fake.events.push_back({0, [](WindowEvents& e) { e.OnReplaced(); }});
    EXPECT_EQ(RunApp(), 0);
    EXPECT_FALSE(fake.Called("StartProgram"));
    EXPECT_FALSE(fake.files.count(kLock));
    EXPECT_FALSE(fake.Called("WriteProfileString"));
}

TEST_F(AppTest, MoveToAnotherResolutionLaysOutAgainFromTheSameSettings) {
    struct Case {
        double dpi;
        std::vector<std::string> layout;
        int fontPixels;
    };
    const Case cases[] = {
        {144,
         {"SetWindowRect 700,50 350x200", "SetLabel 138,0 200x163", "SetPicture 0,0 135x135"},
         16},
        {192,
         {"SetWindowRect 700,50 467x267", "SetLabel 183,0 267x217", "SetPicture 0,0 180x180"},
         21},
        // The resolution the window is laid out for already: nothing changes.
        {96, {}, 11},
    };
    for (const Case& c : cases) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.files[kIni] = "[text]\nText1=Post vom \\date\n";
        platform.events.push_back({0, [&](WindowEvents& e) {
                                       platform.calls.clear();
                                       platform.position = {700, 50};
                                       e.OnDpiChanged(c.dpi, {700, 50, 1, 1});
                                       EXPECT_THAT(platform.calls, ElementsAreArray(c.layout));
                                       e.OnClick();
                                   }});
        App run(platform);
        EXPECT_EQ(run.Run(), 0);
        // The message built at the start, and the position still in twips of
        // the screen's 96 dpi.
        EXPECT_EQ(platform.label.text, "Post vom 31.01.2005") << c.dpi;
        EXPECT_EQ(platform.label.font.pixels, c.fontPixels) << c.dpi;
        EXPECT_NE(platform.files[kIni].find("left= 10500\r\ntop= 750\r\n"), std::string::npos)
            << c.dpi;
    }
}

TEST_F(AppTest, PositionReplacesValuesInPlaceKeepingTheRestOfTheFile) {
    SetIni("; my settings\r\n[window]\r\nleft=100\r\n\r\n[text]\r\nText1=Hi\r\n");
    ClickAt(0);
    RunApp();
    EXPECT_EQ(fake.files[kIni],
              "; my settings\r\n[window]\r\nleft= 3495\r\ntop= 3495\r\n\r\n[text]\r\nText1=Hi\r\n");
}

TEST_F(AppTest, ClickStartsNamedProgramThenCloses) {
    struct Case {
        std::string path;
        bool starts;
        bool message;
    };
    fake.files["C:\\mail\\client.exe"] = "exe";
    fake.files["client.exe"] = "exe";
    fake.directories.insert("C:\\mail");
    for (const Case& c : {
             Case{"", false, false},
             Case{"C:\\mail\\client.exe", true, false},
             Case{"client.exe", true, false},
             Case{"C:\\mail\\client.exe -new", false, true},  // arguments make another name
             Case{"C:\\mail", false, true},                   // a directory is no program
             Case{"C:\\other\\client.exe", false, true},
         }) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.directories = fake.directories;
        platform.files[kIni] = "[program]\npath=" + c.path + "\n";
        platform.events.push_back({0, [](WindowEvents& e) { e.OnClick(); }});
        App run(platform);
        EXPECT_EQ(run.Run(), 0) << c.path;
        EXPECT_EQ(platform.Called("StartProgram " + c.path), c.starts) << c.path;
        EXPECT_EQ(platform.messages.size(), c.message ? 1u : 0u) << c.path;
        if (c.message) {
            EXPECT_EQ(platform.messages[0],
                      "Bitte prüfen Sie die INI-Datei, das Programm konnte nicht gefunden werden!");
        }
        EXPECT_FALSE(platform.windowExists) << c.path;
        EXPECT_FALSE(platform.files.count(kLock)) << c.path;
    }
}

TEST_F(AppTest, ProgramThatCannotStartIsAnUnexpectedFailure) {
    fake.files["C:\\doc.txt"] = "text";
    fake.unstartable.insert("C:\\doc.txt");
    SetIni("[program]\npath=C:\\doc.txt\n");
    ClickAt(0);
    EXPECT_EQ(RunApp(), 1);
    EXPECT_TRUE(fake.Called("ShowFailure Run-time error '70'"));
    EXPECT_FALSE(fake.Called("WriteProfileString"));
    EXPECT_FALSE(fake.files.count(kLock));
}

}  // namespace
}  // namespace zb::test
