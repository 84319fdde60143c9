// The notification's whole run: start-up, the instance lock, the window's
// events and the close-down. One App object owns all state for the run.
#pragma once

#include <string>

#include "app/CommandLine.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

namespace zb {

class Failure;

// Whether the program that started this run waits for the notification's end:
// window.wait of the settings file the command line names. Read before the
// notification starts, so that the entry point can first let the run go on
// apart from a caller that does not wait.
bool CallerWaitsForRun(Platform& platform);

class App : public WindowEvents {
public:
    explicit App(Platform& platform);

    // Runs the start-up sequence and then the window's events until the
    // notification has ended. Returns the process's exit status; an
    // unexpected failure never returns (report, then exit non-zero).
    int Run();

    // Window events, delivered by the backend. A close request (the close box,
    // or the system ending the session) closes the window without starting
    // the program.
    void OnClick() override;
    void OnCloseRequest() override;
    // The shown window is laid out again for the new resolution, its top-left
    // corner where the system suggests.
    void OnDpiChanged(double dpi, const PixelRect& suggested) override;
    // The window was destroyed from outside: the close-down without a
    // position to write.
    void OnWindowLost() override;
    // A newer notification of the same settings file and message took its
    // place: the close-down without the position.
    void OnReplaced() override;

    // State, readable by the tests.
    const std::string& ConfigName() const { return names_.configName; }
    const std::string& LockPath() const { return lockPath_; }
    const std::string& TextKey() const { return names_.textKey; }
    const std::string& Place() const { return names_.place; }
    const zb::Settings& Settings() const { return settings_; }
    const std::string& IniPath() const { return iniPath_; }
    bool LockOwned() const { return lockOwned_; }
    bool WindowOpen() const { return windowOpen_; }

private:
    void StartUp();
    void Dismiss();
    // The passes of the timed close that window.time asks for (0: none);
    // throws Failure (overflow) for a time the wait cannot count.
    static int TimedClosePasses(const zb::Settings& settings);
    // Throws Failure naming window.width or window.height when the window
    // would have no area.
    void RequireWindowArea();
    // The timed close: `passes` + 1 passes of 20 milliseconds.
    void AutoClose(int passes);
    void CloseWindow();
    void CloseDown();
    // What notifications that replace each other share: the settings file
    // and the message's key.
    std::string Kind() const;
    [[noreturn]] void Die(const Failure& failure);
    // Runs `step`; an unexpected failure inside it ends the program.
    template <typename F>
    void Guarded(F&& step);

    Platform& platform_;
    AppFolders folders_;
    // The names of the notification (ConfigName, TextKey, Place) and what
    // follows from them.
    NotificationNames names_;
    std::string lockPath_;
    zb::Settings settings_;
    std::string iniPath_;
    bool lockOwned_ = false;

    bool windowOpen_ = false;
    bool windowShown_ = false;
    // The message text the window shows, built when it is first shown.
    std::string message_;
    // False once the window is gone without a close (OnWindowLost) or
    // replaced by another (OnReplaced): no position to write.
    bool positionKnown_ = true;
    // The dots per inch the shown window's sizes are laid out for.
    double layoutDpi_ = 0;
    // The configured place (after the on-screen rule) and the place the
    // window was shown at, aside from other notifications.
    PixelPoint configuredPlace_;
    PixelPoint shownPlace_;
};

}  // namespace zb
