// The Linux backend: Qt Widgets on X11 for the window and the message
// boxes, POSIX for files and processes, libcanberra (Sound) for the alerts.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/FileIo.h"
#include "platform/qt/PosixOps.h"
#include "platform/qt/X11.h"

class QEventLoop;
class QSocketNotifier;

namespace zb::qt {

class NotifierWindow;
class Sound;

class QtPlatform : public Platform {
public:
    // Needs a QApplication on the xcb platform. `commandLine` is the text after
    // the program's name, taken before Qt saw the arguments.
    explicit QtPlatform(std::string commandLine);
    ~QtPlatform() override;

    std::string CommandLineText() override;
    std::string ExecutableDir() override;

    bool FileExists(const std::string& name) override;
    CreateResult CreateNewFile(const std::string& path) override;
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

    void CreateMainWindow(WindowEvents& events, const WindowDesign& design) override;
    double ScreenDpiX() override;
    double ScreenDpiY() override;
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
    // Runs the close-down when the X connection broke: Qt then ends the
    // process with exit(), and this runs from an atexit handler.
    static void CloseDownAfterLostDisplay();
    // Sizes and places the window so that its outer frame covers outer_.
    void ApplyGeometry(bool askWindowManager);
    void WatchTerminationSignals();
    void OnTerminationSignal();
    void ShowModalText(const std::string& text);
    Sound& TheSound();

    std::string commandLine_;
    OwnFiles ownFiles_;
    // The settings file is read once for all the settings, not once each.
    posix::CachedFileReader profileReader_;
    std::unique_ptr<Sound> sound_;

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
    // The frame the window manager puts around the window.
    x11::FrameExtents extents_;
    PixelPoint lastPosition_;
    bool topMost_ = false;

    QEventLoop* loop_ = nullptr;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
};

}  // namespace zb::qt
