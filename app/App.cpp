#include "app/App.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <new>

#include "alerts/Alerts.h"
#include "app/Attention.h"
#include "platform/Failure.h"
#include "platform/Text.h"
#include "window/Design.h"
#include "window/Notification.h"

namespace zb {
namespace {

// N passes of 20 milliseconds are counted in a signed 16-bit value.
constexpr int kPassMilliseconds = 20;
constexpr std::int32_t kMaxPasses = INT16_MAX;

// The names of the notification, from the command line.
NotificationNames ReadNames(Platform& platform) {
    NotificationNames names;
    const std::string commandLine = platform.CommandLineText();
    if (!commandLine.empty())
        ParseCommandLine(commandLine, names);
    return names;
}

std::string SettingsPath(const AppFolders& folders, const NotificationNames& names) {
    return folders.settings + "\\" + names.configName + ".ini";
}

}  // namespace

bool CallerWaitsForRun(Platform& platform) {
    // A run that cannot tell runs whole; its start-up reports what failed.
    try {
        return CallerWaits(platform, SettingsPath(platform.Folders(), ReadNames(platform)));
    } catch (...) {
        return true;
    }
}

App::App(Platform& platform) : platform_(platform) {}

template <typename F>
void App::Guarded(F&& step) {
    try {
        step();
    } catch (const Failure& failure) {
        Die(failure);
    } catch (const std::bad_alloc&) {
        Die(MakeFailure(kErrOutOfMemory));
    } catch (const std::exception& e) {
        Die(MakeFailure(kErrInternal, e.what()));
    }
}

int App::Run() {
    Guarded([&] {
        platform_.CreateMainWindow(*this,
                                   BuiltInDesign(platform_.ScreenDpiX(), platform_.ScreenDpiY()));
        windowOpen_ = true;
        StartUp();
        // A window that was never shown and has no timed close would stay
        // invisible for ever; the notification ends here instead.
        if (windowOpen_ && !windowShown_)
            CloseWindow();
    });
    if (windowOpen_)
        platform_.RunUntilClosed();
    platform_.ReleaseCaller(0);
    return 0;
}

void App::StartUp() {
    names_ = ReadNames(platform_);
    folders_ = platform_.Folders();
    lockPath_ = folders_.locks + "\\" + names_.configName + "_" + names_.textKey + "_" +
                names_.place + ".tmp";

    // Test and take the lock in one step, so that two instances started at the
    // same moment cannot both take it. The exact name is taken: wildcard
    // characters in the names never match another notification's lock. A
    // lock file that no running instance holds is a leftover of a killed one
    // and is taken over like a new one.
    if (platform_.TakeLockFile(lockPath_) == LockResult::Held) {
        lockOwned_ = false;
        CloseWindow();
        return;
    }
    lockOwned_ = true;

    iniPath_ = SettingsPath(folders_, names_);
    platform_.HideWindow();
    settings_ = LoadSettings(platform_, iniPath_, names_.textKey);
    // Settings the run cannot use are refused before anything is shown, so
    // that a caller that does not wait still learns of them.
    const int passes = TimedClosePasses(settings_);
    if (settings_.windowShow == 1)
        RequireWindowArea();
    // Nothing shows or sounds while the user is busy; the lock stays held.
    if (!WaitUntilAccepted(platform_, settings_, [this] { return windowOpen_; }))
        return;

    if (settings_.windowShow == 1) {
        const ShownNotification shown =
            ShowNotification(platform_, settings_, names_.place, folders_.data, Kind());
        message_ = shown.message;
        layoutDpi_ = shown.dpi;
        configuredPlace_ = shown.configured;
        shownPlace_ = shown.placed;
        windowShown_ = true;
    }
    // Everything that can fail has been checked, and the notification is on
    // the screen (or runs hidden): a caller that does not wait for its end
    // goes on now, without waiting for the tone.
    platform_.ReleaseCaller(0);
    if (settings_.speakerTime > 0)
        SpeakerBeep(platform_, settings_);
    if (settings_.waveFile > " ")
        PlayWave(platform_, settings_, folders_.data);
    if (settings_.windowTime > 0)
        AutoClose(passes);
}

int App::TimedClosePasses(const zb::Settings& settings) {
    if (settings.windowTime <= 0)
        return 0;
    // window.time / 20, a tie going to the even neighbour (the default
    // rounding mode of nearbyint).
    const double passes = std::nearbyint(settings.windowTime / double(kPassMilliseconds));
    if (passes > kMaxPasses)
        throw SettingFailure(
            kErrOverflow, "window.time", std::to_string(settings.windowTime),
            "a whole number of milliseconds up to " +
                std::to_string(kMaxPasses * kPassMilliseconds + kPassMilliseconds / 2 - 1));
    return static_cast<int>(passes);
}

void App::RequireWindowArea() {
    // A window without a whole pixel of width or height could be neither
    // seen nor clicked: a notification asked to show would vanish without a
    // word (a mistyped size reads as 0).
    const char* key = KeyWithoutArea(platform_, settings_);
    if (!key)
        return;
    throw SettingFailure(kErrInvalidProperty, std::string("window.") + key,
                         WrittenValue(platform_, iniPath_, "window", key),
                         "a whole number of twips that makes at least one pixel, such as 3500 "
                         "(15 twips are a pixel at 96 dots per inch); window.show=0 for no "
                         "window");
}

void App::AutoClose(int n) {
    // A window closed during the wait (a click, the close box, the session
    // ending) ends the wait too: nobody waits for a notification that is gone.
    // The passes count only while someone can see the window.
    PresenceClock clock(platform_, settings_, windowShown_);
    for (int i = 0; i <= n && windowOpen_;) {
        platform_.Sleep(kPassMilliseconds);
        platform_.ProcessPendingEvents();
        if (clock.PassCounts())
            ++i;
    }
    CloseWindow();
}

void App::OnClick() {
    if (windowOpen_)
        Guarded([&] { Dismiss(); });
}

void App::OnCloseRequest() {
    Guarded([&] { CloseWindow(); });
}

void App::OnDpiChanged(double dpi, const PixelRect& suggested) {
    // A change the layout already follows (the system may report the
    // monitor's resolution only once the window shows) moves nothing.
    if (!windowOpen_ || !windowShown_ || dpi == layoutDpi_)
        return;
    Guarded([&] {
        LayOutNotification(platform_, settings_, message_, dpi, {suggested.left, suggested.top});
        layoutDpi_ = dpi;
    });
}

void App::OnWindowLost() {
    positionKnown_ = false;
    Guarded([&] { CloseWindow(); });
}

void App::OnReplaced() {
    // Its successor stands where it stood and writes the position instead.
    positionKnown_ = false;
    Guarded([&] { CloseWindow(); });
}

std::string App::Kind() const {
    // The settings file as named, and the message's key, in any case as the
    // profile functions read it.
    std::string key = names_.textKey;
    for (char& c : key)
        c = FoldAscii(c);
    return iniPath_ + "\n" + key;
}

void App::Dismiss() {
    const std::string& program = settings_.programPath;
    if (program > " ") {
        if (platform_.FileExists(program)) {
            try {
                platform_.StartProgram(program);
            } catch (const Failure& failure) {
                throw SettingFailure(failure, "program.path", Quoted(program),
                                     "the full path of a program, without arguments");
            }
        } else {
            platform_.ShowMessage(
                "Bitte prüfen Sie die INI-Datei, das Programm konnte nicht gefunden werden!");
        }
    }
    CloseWindow();
}

void App::CloseWindow() {
    if (!windowOpen_)
        return;
    windowOpen_ = false;
    CloseDown();
    platform_.DestroyWindow();
}

void App::CloseDown() {
    if (!lockOwned_)
        return;
    // A lock file someone else removed is no reason to lose the position.
    platform_.DeleteOwnFile(lockPath_);
    lockOwned_ = false;
    // A window that was never shown keeps the configured position, and one
    // that is gone has none to write.
    if (!windowShown_ || !positionKnown_)
        return;
    PixelPoint position = platform_.WindowPosition();
    // A window that stood aside for other notifications and was not moved
    // keeps the user's place for the next one: the configured place.
    if (position.x == shownPlace_.x && position.y == shownPlace_.y)
        position = configuredPlace_;
    WritePosition(platform_, iniPath_, PixelsToTwips(position.x, platform_.ScreenDpiX()),
                  PixelsToTwips(position.y, platform_.ScreenDpiY()));
}

void App::Die(const Failure& failure) {
    // The lock would otherwise silence this notification until someone
    // deletes the file by hand.
    try {
        if (lockOwned_)
            platform_.DeleteOwnFile(lockPath_);
    } catch (...) {
    }
    try {
        platform_.ShowFailure(FailureReportText(failure));
    } catch (...) {
    }
    platform_.ExitProcess(1);
    std::abort();  // ExitProcess does not return
}

}  // namespace zb
