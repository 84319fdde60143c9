// A platform that records every call and serves files, clock and command line
// from memory, so that the logic runs in unit tests without any display.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace zb::fake {

// Thrown by ExitProcess so that a test can see the status; not a
// std::exception, so the logic's failure handling never catches it.
struct ProcessExit {
    int status;
};

class FakePlatform : public Platform {
public:
    // --- what the test sets up ---------------------------------------------------
    std::string commandLine;
    std::string exeDir = "C:\\Apps\\Zettelblick";
    // The run's folders; unset: everything in exeDir.
    std::optional<AppFolders> folders;
    // Files by path, with their contents. Directories are listed separately.
    std::map<std::string, std::string> files;
    std::set<std::string> directories;
    // Paths whose creation fails (as in a read-only or missing directory).
    std::set<std::string> unwritable;
    // A lock file in `files` is held by another running instance, unless it
    // is listed here: left behind by one that was killed.
    std::set<std::string> leftoverLocks;
    // Programs that exist but cannot be started.
    std::set<std::string> unstartable;
    // Paths whose pictures cannot be decoded.
    std::set<std::string> badPictures;
    std::string date = "31.01.2005";
    std::string time = "08:05:09";
    double dpiX = 96;
    double dpiY = 96;
    // The monitors' work areas; none: the window system cannot tell.
    std::vector<PixelRect> workAreas;
    // Monitors with a resolution of their own: MonitorDpi gives that of the
    // first one holding the rectangle's top-left corner, else dpiY.
    struct DpiMonitor {
        PixelRect area;
        double dpi;
    };
    std::vector<DpiMonitor> dpiMonitors;
    // Where the window stands when the logic asks (outer top-left, pixels).
    PixelPoint position{233, 233};
    // The other notifications on the screen, the caption's height and where
    // the label's first line ends.
    std::vector<NotificationPlace> otherPlaces;
    int captionHeight = 0;
    int labelFirstLineBottom = 15;
    // What ReplaceNotifications finds: (frame now, place given) of each.
    std::vector<std::pair<PixelRect, PixelPoint>> replaceable;
    // false: another notification holds the placement lock all the time.
    bool placementLockFree = true;
    // Events the "user" causes: each runs at the given pass of
    // ProcessPendingEvents (counted from 1), or, with pass 0, when the program
    // waits for the window to close.
    struct ScheduledEvent {
        int pass;
        std::function<void(WindowEvents&)> action;
    };
    std::vector<ScheduledEvent> events;
    // The answers of UserAcceptsNotifications in turn; it accepts once they
    // are used up. A WaitForAttentionChange is a pass of events too.
    std::deque<bool> accepts;
    // The user's idle time (kScreenLocked: locked) at a pass of events; unset:
    // never idle.
    std::function<std::int64_t(int pass)> idle;

    // --- what the test reads back -------------------------------------------------
    // One line per call, e.g. "Tone 880 300", "ShowMessage ...".
    std::vector<std::string> calls;
    std::vector<std::string> messages;
    int sleeps = 0;
    int passes = 0;
    bool windowExists = false;
    bool windowVisible = false;
    WindowDesign design;
    LabelSpec label;
    PictureSpec picture;

    // Lines of `calls` that start with `prefix`.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    bool Called(const std::string& prefix) const { return !CallsStartingWith(prefix).empty(); }

    // Platform
    std::string CommandLineText() override;
    std::string ExecutableDir() override;
    AppFolders Folders() override;
    void ReleaseCaller(int status) override;
    bool FileExists(const std::string& name) override;
    LockResult TakeLockFile(const std::string& path) override;
    bool DeleteOwnFile(const std::string& path) override;
    std::uint32_t ProfileInt(const std::string& section,
                             const std::string& key,
                             std::int32_t def,
                             const std::string& file) override;
    std::string ProfileString(const std::string& section,
                              const std::string& key,
                              const std::string& def,
                              int size,
                              const std::string& file) override;
    bool WriteProfileString(const std::string& section,
                            const std::string& key,
                            const std::string& value,
                            const std::string& file) override;
    // Windows-1252, the ANSI code page of the Linux build.
    std::string AnsiToUtf8(const std::string& bytes) override;
    void CreateMainWindow(WindowEvents& events, const WindowDesign& design) override;
    double ScreenDpiX() override { return dpiX; }
    double ScreenDpiY() override { return dpiY; }
    std::vector<PixelRect> MonitorWorkAreas() override { return workAreas; }
    double MonitorDpi(const PixelRect& outer) override;
    void SetWindowFrame(bool toolWindow) override;
    void SetWindowRect(const PixelRect& outer) override;
    void SetWindowBackground(Color color) override;
    void SetLabel(const LabelSpec& label) override;
    void SetLabelVisible(bool visible) override;
    void LoadPicture(const std::string& path) override;
    void SetPicture(const PictureSpec& picture) override;
    void SetPictureVisible(bool visible) override;
    void ShowWindow() override;
    void HideWindow() override;
    void DestroyWindow() override;
    PixelPoint WindowPosition() override;
    int SetTopMost(bool onTop) override;
    bool TakePlacementLock(int milliseconds) override;
    void ReleasePlacementLock() override;
    std::vector<NotificationPlace> OtherNotificationPlaces() override { return otherPlaces; }
    void ClaimPlace(const NotificationPlace& place,
                    PixelPoint placed,
                    const std::string& kind) override;
    std::vector<std::pair<PixelRect, PixelPoint>> ReplaceNotifications(
        const std::string& kind) override;
    int CaptionHeight() override { return captionHeight; }
    int LabelFirstLineBottom() override { return labelFirstLineBottom; }
    void PaintAhead() override;
    bool UserAcceptsNotifications(const PixelRect& where) override;
    void WaitForAttentionChange(int milliseconds) override;
    std::int64_t UserIdleMilliseconds() override;
    void Sleep(int milliseconds) override;
    void ProcessPendingEvents() override;
    void RunUntilClosed() override;
    void Tone(std::int32_t hertz, int milliseconds) override;
    void StartWav(const std::string& path) override;
    void StartProgram(const std::string& path) override;
    void ShowMessage(const std::string& text) override;
    std::string DateText() override;
    std::string TimeText() override;
    void ShowFailure(const std::string& text) override;
    [[noreturn]] void ExitProcess(int status) override;

private:
    void Record(std::string line) { calls.push_back(std::move(line)); }
    void RunEvents(int pass);
    WindowEvents* events_ = nullptr;
};

}  // namespace zb::fake
