// The start-up sequence, the instance lock, the timed close, the close-down
// and the click, run end to end on the fake platform.
#include <algorithm>

#include "platform/Folders.h"
#include "tests/unit/AppFixture.h"

namespace zb::test {
namespace {

using ::testing::ElementsAre;

// The calls that make the notification visible or audible, in order.
std::vector<std::string> Outputs(const fake::FakePlatform& fake) {
    std::vector<std::string> out;
    for (const auto& call : fake.calls) {
        for (const char* prefix : {"TakeLockFile", "HideWindow", "ShowWindow", "Tone", "StartWav",
                                   "ShowMessage", "DestroyWindow", "DeleteOwnFile",
                                   "WriteProfileString", "RunUntilClosed", "StartProgram"}) {
            if (call.rfind(prefix, 0) == 0)
                out.push_back(call);
        }
    }
    return out;
}

TEST_F(AppTest, DefaultsShowWaitForClickThenReleaseLockAndSavePosition) {
    ClickAt(0);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_THAT(Outputs(fake),
                ElementsAre("TakeLockFile " + kLock, "HideWindow", "ShowWindow",
                            "StartWav " + kDir + "\\message.wav", "RunUntilClosed",
                            "DeleteOwnFile " + kLock, "WriteProfileString window left= 3495",
                            "WriteProfileString window top= 3495", "DestroyWindow"));
    EXPECT_EQ(fake.files[kIni], "[window]\r\nleft= 3495\r\ntop= 3495\r\n");
    EXPECT_FALSE(fake.files.count(kLock));
}

TEST_F(AppTest, SecondInstanceEndsAtOnceWithoutTouchingAnything) {
    fake.files[kLock] = "";
    SetIni("[window]\r\nleft=100\r\n");
    EXPECT_EQ(RunApp(), 0);
    EXPECT_THAT(Outputs(fake), ElementsAre("TakeLockFile " + kLock, "DestroyWindow"));
    EXPECT_TRUE(fake.files.count(kLock)) << "the first instance's lock stays";
    EXPECT_EQ(fake.files[kIni], "[window]\r\nleft=100\r\n");
    EXPECT_FALSE(app.LockOwned());
    EXPECT_TRUE(app.IniPath().empty());
}

TEST_F(AppTest, LeftoverLockOfAKilledInstanceIsTakenOver) {
    fake.files[kLock] = "";
    fake.leftoverLocks.insert(kLock);
    ClickAt(0);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_TRUE(fake.Called("ShowWindow"));
    EXPECT_FALSE(fake.files.count(kLock)) << "removed at the close like a new lock";
    EXPECT_EQ(fake.files[kIni], "[window]\r\nleft= 3495\r\ntop= 3495\r\n");
}

TEST_F(AppTest, LockNameCombinesConfigTextAndPlace) {
    struct Case {
        std::string commandLine;
        std::string lock;
        std::string ini;
    };
    for (const Case& c : {
             Case{"", "zettelblick_Text1_Beispieltext.tmp", "zettelblick.ini"},
             Case{"/text:Text2 /place:Inbox_Work", "zettelblick_Text2_Inbox Work.tmp",
                  "zettelblick.ini"},
             Case{"/config", "_Text1_Beispieltext.tmp", ".ini"},
             Case{"/config:mail /text:", "mail__Beispieltext.tmp", "mail.ini"},
         }) {
        fake::FakePlatform platform;
        platform.commandLine = c.commandLine;
        platform.files[kDir + "\\thebat.jpg"] = "jpeg";
        platform.events.push_back({0, [](WindowEvents& e) { e.OnClick(); }});
        App run(platform);
        run.Run();
        EXPECT_EQ(run.LockPath(), kDir + "\\" + c.lock) << c.commandLine;
        EXPECT_EQ(run.IniPath(), kDir + "\\" + c.ini) << c.commandLine;
    }
}

TEST_F(AppTest, SameNamesForAnotherPlaceTakeTheirOwnLock) {
    fake.files[kLock] = "";
    fake.commandLine = "/place:Work";
    ClickAt(0);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_TRUE(fake.Called("ShowWindow"));
    EXPECT_TRUE(fake.files.count(kLock));
    EXPECT_FALSE(fake.files.count(kDir + "\\zettelblick_Text1_Work.tmp"));
}

TEST_F(AppTest, EmptyCommandLineKeepsDefaultsAndPlaceUnderscores) {
    ClickAt(0);
    RunApp();
    EXPECT_EQ(app.ConfigName(), "zettelblick");
    EXPECT_EQ(app.TextKey(), "Text1");
    EXPECT_EQ(app.Place(), "Beispieltext");
}

TEST_F(AppTest, LockThatCannotBeCreatedIsAnUnexpectedFailure) {
    fake.unwritable.insert(kLock);
    EXPECT_NE(RunApp(), 0);
    EXPECT_FALSE(fake.Called("ShowWindow"));
    EXPECT_FALSE(fake.Called("StartWav"));
    const auto reports = fake.CallsStartingWith("ShowFailure");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("Run-time error '76'"), std::string::npos) << reports[0];
}

TEST_F(AppTest, HiddenWindowStillSoundsAndClosesAfterItsTime) {
    SetIni("[window]\nshow=0\ntime=3000\n[speaker]\nfrequenz=880\ntime=300\n");
    EXPECT_EQ(RunApp(), 0);
    EXPECT_FALSE(fake.Called("ShowWindow"));
    EXPECT_THAT(Outputs(fake), ElementsAre("TakeLockFile " + kLock, "HideWindow", "Tone 880 300",
                                           "StartWav " + kDir + "\\message.wav",
                                           "DeleteOwnFile " + kLock, "DestroyWindow"));
    EXPECT_EQ(fake.passes, 151);
    // A window that was never shown keeps its configured position.
    EXPECT_EQ(fake.files[kIni], "[window]\nshow=0\ntime=3000\n[speaker]\nfrequenz=880\ntime=300\n");
}

TEST_F(AppTest, HiddenWindowWithoutTimedCloseEndsAtOnce) {
    SetIni("[window]\nshow=0\n");
    EXPECT_EQ(RunApp(), 0);
    EXPECT_FALSE(fake.Called("RunUntilClosed"));
    EXPECT_FALSE(fake.files.count(kLock));
}

TEST_F(AppTest, ToneRunsOnlyForPositiveTimeWhateverTheFrequency) {
    SetIni("[speaker]\nfrequenz=0\ntime=500\n[wave]\nfile=\n");
    ClickAt(0);
    RunApp();
    EXPECT_THAT(fake.CallsStartingWith("Tone"), ElementsAre("Tone 0 500"));
    EXPECT_FALSE(fake.Called("StartWav"));
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(AppTest, MissingSoundIsReportedAndTheNotificationGoesOn) {
    SetIni("[wave]\nfile=missing.wav\n[window]\ntime=100\n");
    EXPECT_EQ(RunApp(), 0);
    EXPECT_THAT(
        fake.messages,
        ElementsAre("Bitte prüfen Sie die INI-Datei, der Sound konnte nicht gefunden werden!"));
    // The message comes before the timed wait starts.
    const auto message =
        std::find(fake.calls.begin(), fake.calls.end(), "ShowMessage " + fake.messages[0]);
    EXPECT_LT(
        message - fake.calls.begin(),
        std::find(fake.calls.begin(), fake.calls.end(), "DestroyWindow") - fake.calls.begin());
    EXPECT_EQ(fake.passes, 6);
}

TEST_F(AppTest, SoundInSubfolderAndWildcardPatternCountAsPresent) {
    fake.files[kDir + "\\sub\\ding.wav"] = "wav";
    for (const std::string name : {"sub\\ding.wav", "mess*.wav"}) {
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.files[kIni] = "[wave]\nfile=" + name + "\n[window]\ntime=10\n";
        App run(platform);
        run.Run();
        EXPECT_THAT(platform.CallsStartingWith("StartWav"),
                    ElementsAre("StartWav " + kDir + "\\" + name));
        EXPECT_TRUE(platform.messages.empty());
    }
}

// The calls up to the first that lets the caller go on, and the status it
// gets (the failure report tells the caller 1).
std::pair<std::vector<std::string>, int> CallsBeforeRelease(const fake::FakePlatform& fake) {
    std::vector<std::string> before;
    for (const auto& call : fake.calls) {
        if (call.rfind("ReleaseCaller", 0) == 0)
            return {before, std::stoi(call.substr(std::string("ReleaseCaller ").size()))};
        if (call.rfind("ShowFailure", 0) == 0)
            return {before, 1};
        for (const char* prefix : {"TakeLockFile", "ShowWindow", "Tone", "StartWav", "Sleep",
                                   "DestroyWindow", "RunUntilClosed"}) {
            if (call.rfind(prefix, 0) == 0)
                before.push_back(prefix);
        }
    }
    ADD_FAILURE() << "the caller was never let go";
    return {before, -1};
}

TEST_F(AppTest, CallerGoesOnOnceTheOutcomeIsKnown) {
    const struct {
        const char* name;
        std::string ini;
        bool held;
        std::vector<std::string> before;
        int status;
    } cases[] = {
        {"shown", "", false, {"TakeLockFile", "ShowWindow"}, 0},
        {"already shown", "", true, {"TakeLockFile", "DestroyWindow"}, 0},
        {"hidden, timed, not waiting for the tone",
         "[window]\r\nshow=0\r\ntime=100\r\n[speaker]\r\ntime=50\r\n",
         false,
         {"TakeLockFile"},
         0},
        // Refused before anything shows: the caller hears of it.
        {"a time the wait cannot count", "[window]\r\ntime=700000\r\n", false, {"TakeLockFile"}, 1},
        {"no area", "[window]\r\nwidth=abc\r\n", false, {"TakeLockFile"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.files[kIni] = c.ini;
        if (c.held)
            platform.files[kLock] = "";
        platform.events.push_back({0, [](WindowEvents& e) { e.OnClick(); }});
        App run(platform);
        int status;
        try {
            status = run.Run();
        } catch (const fake::ProcessExit& exit) {
            status = exit.status;
        }
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(CallsBeforeRelease(platform), std::make_pair(c.before, c.status));
    }
}

TEST_F(AppTest, WindowDestroyedByAnotherProgramClosesDownWithoutPosition) {
    fake.events.push_back({0, [](WindowEvents& e) { e.OnWindowLost(); }});
    EXPECT_EQ(RunApp(), 0);
    EXPECT_FALSE(fake.files.count(kLock));
    EXPECT_FALSE(fake.Called("WriteProfileString"));
}

TEST_F(AppTest, CallerWaitsAsTheNamedSettingsFileSays) {
    EXPECT_EQ(CallerWaitsForRun(fake), kDefaultWait == 1);
    fake.commandLine = "/config:other";
    fake.files[kDir + "\\other.ini"] = "[window]\r\nwait=1\r\n";
    EXPECT_TRUE(CallerWaitsForRun(fake));
}

TEST(FolderRuleTest, PortableOrInstalledOnBothSystems) {
    // The rule both backends apply once they know whether the program's
    // folder is writable and which folders the user has.
    const std::string roaming = "C:\\Users\\Jörg\\AppData\\Roaming\\Zettelblick";
    const std::string local = "C:\\Users\\Jörg\\AppData\\Local\\Zettelblick";
    const std::string programs = "C:\\Program Files\\Zettelblick";
    struct Case {
        AppFolders chosen;
        AppFolders expected;
    };
    const Case cases[] = {
        {ChooseAppFolders(kDir, true, roaming, local), {kDir, kDir, {kDir}}},
        {ChooseAppFolders(programs, false, roaming, local), {roaming, local, {roaming, programs}}},
        {ChooseAppFolders("/usr/bin", false, "/home/u/.config/zettelblick",
                          "/run/user/1/zettelblick", "/usr/share/zettelblick"),
         {"/home/u/.config/zettelblick",
          "/run/user/1/zettelblick",
          {"/home/u/.config/zettelblick", "/usr/bin", "/usr/share/zettelblick"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.chosen.settings, c.expected.settings);
        EXPECT_EQ(c.chosen.locks, c.expected.locks);
        EXPECT_EQ(c.chosen.data, c.expected.data);
    }
}

TEST_F(AppTest, FoldersOfAnInstalledProgram) {
    // Settings and locks in the user's folders; the picture and the sound from
    // the first data folder that has them.
    const std::string user = "/home/u/.config/zettelblick", run = "/run/user/1/zettelblick";
    fake.folders = ChooseAppFolders(kDir, false, user, run, "/usr/share/zettelblick");
    fake.files = {{user + "\\thebat.jpg", "jpeg"}, {"/usr/share/zettelblick\\message.wav", "wav"}};
    ClickAt(0);
    EXPECT_EQ(RunApp(), 0);
    EXPECT_THAT(fake.CallsStartingWith("LoadPicture"),
                ElementsAre("LoadPicture " + user + "\\thebat.jpg"));
    EXPECT_THAT(fake.CallsStartingWith("StartWav"),
                ElementsAre("StartWav /usr/share/zettelblick\\message.wav"));
    EXPECT_EQ(app.LockPath(), run + "\\zettelblick_Text1_Beispieltext.tmp");
    EXPECT_EQ(fake.files[user + "\\zettelblick.ini"], "[window]\r\nleft= 3495\r\ntop= 3495\r\n");

    // A picture found nowhere is reported in the user's folder.
    fake::FakePlatform missing;
    missing.folders = fake.folders;
    App nowhere(missing);
    try {
        nowhere.Run();
    } catch (const fake::ProcessExit&) {
    }
    EXPECT_THAT(missing.CallsStartingWith("LoadPicture"),
                ElementsAre("LoadPicture " + user + "\\thebat.jpg"));
    EXPECT_THAT(missing.CallsStartingWith("ShowFailure"),
                ElementsAre("ShowFailure Run-time error '53':\n\nFile not found: image.picture = "
                            "\"thebat.jpg\" (expected a file in the settings folder): " +
                            user + "\\thebat.jpg"));
}

}  // namespace
}  // namespace zb::test
