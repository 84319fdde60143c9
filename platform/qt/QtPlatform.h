// The Linux backend: Qt Widgets on X11 for the window and the message
// boxes, posix/ for files, processes and profile files, canberra/ for the
// alerts.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/Files.h"
#include "platform/posix/ProfileFile.h"
#include "platform/qt/UserAttention.h"
#include "platform/qt/X11.h"

class QEventLoop;
class QMessageBox;

namespace zb::canberra {
class Sound;
}

namespace zb::qt {

class NotifierWindow;

class QtPlatform : public Platform {
public:
    // Needs a QApplication on the xcb platform, but for the process, file and
    // profile operations. `commandLine` is the text after the program's name,
    // taken before Qt saw the arguments.
    explicit QtPlatform(std::string commandLine);
    ~QtPlatform() override;

    // Asks the window to close as its close box does (main.cpp, for a
    // termination signal). False when there is nothing to close down: no
    // window, or a failure report is up (the lock is gone already).
    bool RequestClose();
    // The X connection has broken and the process is ending (main.cpp's exit
    // handler): runs the close-down of the close box (the lock goes, the
    // position is written) without talking to X again. Nothing when no window
    // is open.
    void CloseDownWithoutDisplay();

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
    // Windows-1252.
    std::string AnsiToUtf8(const std::string& bytes) override;

    void CreateMainWindow(WindowEvents& events, const WindowDesign& design) override;
    double ScreenDpiX() override;
    double ScreenDpiY() override;
    std::vector<PixelRect> MonitorWorkAreas() override;
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
    std::vector<NotificationPlace> OtherNotificationPlaces() override;
    void ClaimPlace(const NotificationPlace& place,
                    PixelPoint placed,
                    const std::string& kind) override;
    std::vector<std::pair<PixelRect, PixelPoint>> ReplaceNotifications(
        const std::string& kind) override;
    int CaptionHeight() override;
    int LabelFirstLineBottom() override;
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
    // Sizes and places the window so that its outer frame covers outer_.
    void ApplyGeometry(bool askWindowManager);
    // Waits for the answer to the frame-extents request, if one is
    // outstanding, and fits the geometry to it.
    void TakeFrameExtents();
    void ShowModalText(const std::string& text);
    canberra::Sound& TheSound();

    std::string commandLine_;
    AppFolders folders_;
    posix::OwnFiles ownFiles_;
    posix::ProfileFiles profiles_;
    std::unique_ptr<canberra::Sound> sound_;
    UserAttention attention_;

    // Deleted with deleteLater(), since the logic may destroy it from inside
    // one of its own event handlers.
    NotifierWindow* window_ = nullptr;
    WindowEvents* events_ = nullptr;
    // Set once the display has gone: nothing may talk to X any more.
    bool displayLost_ = false;
    // The failure report is up; the process ends when it is confirmed.
    bool failing_ = false;
    double dpiX_ = 0;
    double dpiY_ = 0;
    bool haveRect_ = false;
    PixelRect outer_;
    // The frame the window manager puts around the window, and whether its
    // answer to the request before mapping is still to be taken.
    x11::FrameExtents extents_;
    bool extentsAsked_ = false;
    PixelPoint lastPosition_;
    bool topMost_ = false;
    // Whether the window has claimed its place (ClaimPlace); whether its
    // frame was known then; and whether the placement lock is kept until the
    // window is shown, to claim the frame it really has.
    bool claimed_ = false;
    NotificationPlace claim_;
    PixelPoint claimedPlace_;
    bool frameKnown_ = true;
    bool releaseWhenShown_ = false;
    // The descriptor that holds the placement lock, or -1, and the folder of
    // its file once known.
    int placementLock_ = -1;
    std::string placementFolder_;

    QEventLoop* loop_ = nullptr;
    // The message box on the screen, if any: closing the window closes it.
    QMessageBox* openBox_ = nullptr;
};

}  // namespace zb::qt
