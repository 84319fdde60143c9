// Runs the whole program on the fake platform and keeps what it did.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "app/App.h"
#include "platform/fake/FakePlatform.h"

namespace zb::test {

inline const std::string kDir = "C:\\Apps\\Zettelblick";
inline const std::string kIni = kDir + "\\zettelblick.ini";
inline const std::string kLock = kDir + "\\zettelblick_Text1_Beispieltext.tmp";

class AppTest : public ::testing::Test {
protected:
    AppTest() {
        // The application folder as shipped: picture and sound beside the program.
        fake.files[kDir + "\\thebat.jpg"] = "jpeg";
        fake.files[kDir + "\\message.wav"] = "wav";
    }

    // Runs the program; returns its exit status (the failure path's too).
    int RunApp() {
        try {
            return app.Run();
        } catch (const fake::ProcessExit& exit) {
            return exit.status;
        }
    }

    // A user's click on the notification at the given event pass (0: while
    // the program waits for the window to close).
    void ClickAt(int pass) {
        fake.events.push_back({pass, [](WindowEvents& e) { e.OnClick(); }});
    }
    void CloseBoxAt(int pass) {
        fake.events.push_back({pass, [](WindowEvents& e) { e.OnCloseRequest(); }});
    }

    void SetIni(const std::string& text) { fake.files[kIni] = text; }

    fake::FakePlatform fake;
    App app{fake};
};

}  // namespace zb::test
