// The notifier's operations on the Win32 API: the real profile functions,
// the window, WIC for pictures, Beep and sndPlaySoundW, CreateProcessW and
// MessageBoxW. Text from and to the logic is UTF-8; every path and text goes
// to the W functions as UTF-16.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/win32/Window.h"

namespace zb::win32 {

class Win32Platform : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;

    // process
    std::string CommandLineText() override;
    std::string ExecutableDir() override;
    AppFolders Folders() override;
    void ReleaseCaller(int status) override;

    // files
    bool FileExists(const std::string& name) override;
    LockResult TakeLockFile(const std::string& path) override;
    bool DeleteOwnFile(const std::string& path) override;

    // profile (INI) files
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
    bool WriteProfileStrings(const std::string& section,
                             const std::vector<std::pair<std::string, std::string>>& values,
                             const std::string& file) override;
    std::string AnsiToUtf8(const std::string& bytes) override;

    // window
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

    // the user's attention
    bool UserAcceptsNotifications(const PixelRect& where) override;
    void WaitForAttentionChange(int milliseconds) override;
    std::int64_t UserIdleMilliseconds() override;

    // event loop
    void Sleep(int milliseconds) override;
    void ProcessPendingEvents() override;
    void RunUntilClosed() override;

    // sound
    void Tone(std::int32_t hertz, int milliseconds) override;
    void StartWav(const std::string& path) override;

    // programs and messages
    void StartProgram(const std::string& path) override;
    void ShowMessage(const std::string& text) override;

    // clock
    std::string DateText() override;
    std::string TimeText() override;

    // unexpected failures
    void ShowFailure(const std::string& text) override;
    [[noreturn]] void ExitProcess(int status) override;

private:
    // The window, which must exist for every window operation.
    Window& MainWindow();
    // The window when it is open and visible, so that a message box is
    // modal to it; null otherwise.
    HWND MessageOwner() const;
    void MessageBoxUtf8(const std::string& text);
    // Confirms every message box of this thread, as its OK button does.
    void CloseMessageBoxes();
    // Whether the profile functions read `file` as Unicode (its UTF-16LE
    // mark), as found at its first read.
    bool UnicodeFile(const std::wstring& file);

    // The folders Folders() chose, once for the run (the choice writes a test
    // file into the program's folder); the settings folder is made by the
    // first write when it is not the program's.
    AppFolders folders_;
    bool foldersChosen_ = false;
    std::unique_ptr<Window> window_;
    bool messageBoxOpen_ = false;
    // The lock files this process holds, by path, each with the handle that
    // holds it until DeleteOwnFile deletes the file through it.
    std::map<std::string, HANDLE> locks_;
    // What UnicodeFile found, by file.
    std::map<std::wstring, bool> unicodeFiles_;
    // The placement lock's mutex while this process holds it.
    HANDLE placementLock_ = nullptr;
};

}  // namespace zb::win32
