// A notification held back while the user is busy, and its timed close
// counted only while the user is there, on the fake platform.
#include <deque>
#include <functional>

#include "tests/unit/AppFixture.h"

namespace zb::test {
namespace {

using ::testing::ElementsAreArray;

// The user idle (or the screen locked) until a pass of events, then back.
std::function<std::int64_t(int)> AwayUntil(int pass, std::int64_t idle) {
    return [pass, idle](int now) { return now < pass ? idle : 0; };
}

TEST_F(AppTest, HeldBackWhileBusyAndTimedCloseCountedWhileTheUserIsThere) {
    const std::string ask = "UserAcceptsNotifications 233,233 233x133 ";
    const std::string wait = "WaitForAttentionChange 1000";
    const std::string wav = "StartWav " + kDir + "\\message.wav";
    const std::string lock = "TakeLockFile " + kLock, unlock = "DeleteOwnFile " + kLock;
    const std::string timed = "[window]\r\ntime=100\r\n";  // 6 passes
    const struct {
        const char* name;
        std::string ini;
        std::deque<bool> accepts;
        std::function<std::int64_t(int)> idle;
        int closeAtPass;  // a close request (the session ending), 0: none
        // The steps that show, sound, wait or let the caller go, in order;
        // empty: not looked at.
        std::vector<std::string> steps;
        int passes;
    } cases[] = {
        {"accepting",
         "",
         {},
         {},
         0,
         {lock, ask + "yes", "ShowWindow", "ReleaseCaller 0", wav, unlock, "DestroyWindow",
          "ReleaseCaller 0"},
         0},
        {"busy, then accepting",
         "",
         {false, false, true},
         {},
         0,
         {lock, ask + "no", "ReleaseCaller 0", wait, ask + "no", wait, ask + "yes", "ShowWindow",
          "ReleaseCaller 0", wav, unlock, "DestroyWindow", "ReleaseCaller 0"},
         2},
        {"busy, holding back off",
         "[window]\r\nholdback=0\r\n",
         {false},
         {},
         0,
         {lock, "ShowWindow", "ReleaseCaller 0", wav, unlock, "DestroyWindow", "ReleaseCaller 0"},
         0},
        {"closed while held back",
         "",
         {false, false, false},
         {},
         2,
         {lock, ask + "no", "ReleaseCaller 0", wait, ask + "no", wait, unlock, "DestroyWindow",
          "ReleaseCaller 0"},
         2},
        {"timed, user away until pass 300", timed, {}, AwayUntil(300, 120000), 0, {}, 306},
        {"timed, screen locked until pass 100",
         timed,
         {},
         AwayUntil(100, kScreenLocked),
         0,
         {},
         106},
        {"timed, idle just under the threshold", timed, {}, AwayUntil(300, 119999), 0, {}, 6},
        {"timed, idle pause off",
         "[window]\r\ntime=100\r\nidleseconds=0\r\n",
         {},
         AwayUntil(300, kScreenLocked),
         0,
         {},
         6},
        {"timed and hidden",
         "[window]\r\ntime=100\r\nshow=0\r\n",
         {},
         AwayUntil(300, kScreenLocked),
         0,
         {},
         6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform platform;
        platform.files = fake.files;
        platform.files[kIni] = c.ini;
        platform.accepts = c.accepts;
        platform.idle = c.idle;
        platform.events.push_back({0, [](WindowEvents& e) { e.OnClick(); }});
        if (c.closeAtPass)
            platform.events.push_back({c.closeAtPass, [](WindowEvents& e) { e.OnCloseRequest(); }});
        App run(platform);
        EXPECT_EQ(run.Run(), 0);
        if (!c.steps.empty()) {
            std::vector<std::string> steps;
            for (const auto& call : platform.calls) {
                for (const char* prefix : {"TakeLockFile", "UserAcceptsNotifications",
                                           "WaitForAttentionChange", "ReleaseCaller", "ShowWindow",
                                           "Tone", "StartWav", "DeleteOwnFile", "DestroyWindow"}) {
                    if (call.rfind(prefix, 0) == 0)
                        steps.push_back(call);
                }
            }
            EXPECT_THAT(steps, ElementsAreArray(c.steps));
        }
        EXPECT_EQ(platform.passes, c.passes);
        EXPECT_FALSE(platform.files.count(kLock));
        // A notification that never showed keeps the configured position.
        EXPECT_EQ(platform.Called("WriteProfileString"), platform.Called("ShowWindow"));
    }
}

}  // namespace
}  // namespace zb::test
