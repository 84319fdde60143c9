#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Failure.h"
#include "platform/win32/Accessibility.h"
#include "platform/win32/Attention.h"
#include "platform/win32/Caller.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/Errors.h"
#include "platform/win32/Folders.h"
#include "platform/win32/ProcessText.h"
#include "platform/win32/ProfileFile.h"
#include "platform/win32/SystemDll.h"
#include "platform/win32/Text.h"

namespace zb::win32 {
namespace {

// A lock file is opened with this access and no sharing: while the handle is
// open no other process can open the file (a later start sees a sharing
// violation), delete it or rename it, and DELETE lets its holder delete it
// through the handle.
constexpr DWORD kLockAccess = GENERIC_READ | DELETE;

// Whether the profile functions read `file` as Unicode: it starts with the
// UTF-16LE mark.
bool IsUnicodeFile(const std::wstring& file) {
    HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    unsigned char mark[2] = {};
    DWORD read = 0;
    const bool unicode = ::ReadFile(handle, mark, sizeof mark, &read, nullptr) &&
                         read == sizeof mark && mark[0] == 0xFF && mark[1] == 0xFE;
    ::CloseHandle(handle);
    return unicode;
}

// Text of a Get*FormatW call: first the size it needs, then the text.
template <typename Format>
std::string FormattedText(Format format) {
    const int needed = format(nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    const int written = format(text.data(), needed);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);  // without the NUL
    return WideToUtf8(text);
}

// EnumDisplayMonitors: adds the monitor's work area to the vector `param`.
BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info)) {
        const RECT& work = info.rcWork;
        reinterpret_cast<std::vector<PixelRect>*>(param)->push_back(
            {work.left, work.top, work.right - work.left, work.bottom - work.top});
    }
    return TRUE;
}

// EnumThreadWindows: confirms `window` when it is a message box.
BOOL CALLBACK PressOkOfMessageBox(HWND window, LPARAM) {
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    // The dialog class, which MessageBoxW uses.
    if (std::wstring_view(className) == L"#32770")
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

}  // namespace

Win32Platform::Win32Platform() = default;

Win32Platform::~Win32Platform() {
    ReleasePlacementLock();
    for (const auto& [path, handle] : locks_)
        ::CloseHandle(handle);
}

// --- process -------------------------------------------------------------------

std::string Win32Platform::CommandLineText() {
    return WideToUtf8(ArgumentsText(std::wstring_view(::GetCommandLineW())));
}

std::string Win32Platform::ExecutableDir() {
    const std::wstring path = ModuleFileName();
    if (path.empty())
        throw PathFailure(::GetLastError(), kErrPathNotFound, "GetModuleFileNameW");
    return WideToUtf8(ModuleDirectory(std::wstring_view(path)));
}

AppFolders Win32Platform::Folders() {
    // Asked before the start-up (whether the caller waits) and by it.
    if (!foldersChosen_) {
        folders_ = ChooseFolders(ExecutableDir());
        foldersChosen_ = true;
    }
    return folders_;
}

void Win32Platform::ReleaseCaller(int status) {
    win32::ReleaseCaller(status);
}

// --- files -----------------------------------------------------------------------

bool Win32Platform::FileExists(const std::string& name) {
    // The directory search takes wildcards, and every entry it finds is
    // looked at until an ordinary file turns up.
    constexpr DWORD kNotOrdinary =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(Utf8ToWide(name).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        if ((entry.dwFileAttributes & kNotOrdinary) == 0) {
            found = true;
            break;
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return found;
}

LockResult Win32Platform::TakeLockFile(const std::string& path) {
    const std::wstring name = Utf8ToWide(path);
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        // CREATE_NEW tests and creates in one step.
        HANDLE file = ::CreateFileW(name.c_str(), kLockAccess, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            locks_[path] = file;
            return LockResult::Created;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            throw LockFileFailure(error, path);
        // The file exists: it opens only when no running process holds it.
        file = ::CreateFileW(name.c_str(), kLockAccess, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_NOT_FOUND)
                continue;  // its owner deleted it just now
            // A sharing violation: held. A folder, or a file this process
            // may not open: not a lock it could take.
            return LockResult::Held;
        }
        // A leftover lock is an empty, ordinary, writable file; anything
        // else stays alone.
        constexpr DWORD kNotLock =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY;
        BY_HANDLE_FILE_INFORMATION info;
        if (!::GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & kNotLock) != 0 ||
            info.nFileSizeLow != 0 || info.nFileSizeHigh != 0) {
            ::CloseHandle(file);
            return LockResult::Held;
        }
        locks_[path] = file;
        return LockResult::TakenOver;
    }
    return LockResult::Held;
}

bool Win32Platform::DeleteOwnFile(const std::string& path) {
    const auto lock = locks_.find(path);
    if (lock == locks_.end())
        return false;
    // Deleted through the handle the lock was taken with: nobody else could
    // open, replace or delete the file meanwhile, so it is the file taken.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool deleted = ::SetFileInformationByHandle(lock->second, FileDispositionInfo,
                                                      &disposition, sizeof disposition);
    const DWORD error = ::GetLastError();
    ::CloseHandle(lock->second);
    locks_.erase(lock);
    if (!deleted)
        throw LockFileFailure(error, path);
    return true;
}

// --- profile (INI) files -------------------------------------------------------------

std::uint32_t Win32Platform::ProfileInt(const std::string& section,
                                        const std::string& key,
                                        std::int32_t def,
                                        const std::string& file) {
    return ::GetPrivateProfileIntW(Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(), def,
                                   Utf8ToWide(file).c_str());
}

bool Win32Platform::UnicodeFile(const std::wstring& file) {
    // Asked once per file: the settings are read together at start-up, and
    // only this process's own write (at the close) changes the file.
    const auto known = unicodeFiles_.find(file);
    if (known != unicodeFiles_.end())
        return known->second;
    return unicodeFiles_[file] = IsUnicodeFile(file);
}

std::string Win32Platform::ProfileString(const std::string& section,
                                         const std::string& key,
                                         const std::string& def,
                                         int size,
                                         const std::string& file) {
    if (size <= 0)
        return {};
    // The size counts UTF-16 code units, terminator included, as the
    // function does.
    const std::wstring path = Utf8ToWide(file);
    std::wstring buffer(static_cast<std::size_t>(size), L'\0');
    const DWORD copied = ::GetPrivateProfileStringW(
        Utf8ToWide(section).c_str(), Utf8ToWide(key).c_str(), Utf8ToWide(def).c_str(),
        buffer.data(), static_cast<DWORD>(size), path.c_str());
    buffer.resize(std::min<std::size_t>(copied, buffer.size() - 1));
    // An 8-bit file was read in the code page: its characters turn back into
    // the file's bytes, for the logic to tell UTF-8 from the code page. Where
    // that loses characters the function decoded the file itself (Wine reads
    // a file with the UTF-8 mark as UTF-8), and its text stands, as does a
    // Unicode file's.
    if (!UnicodeFile(path)) {
        if (std::optional<std::string> bytes = WideToAnsiExact(buffer))
            return *bytes;
    }
    return WideToUtf8(buffer);
}

bool Win32Platform::WriteProfileString(const std::string& section,
                                       const std::string& key,
                                       const std::string& value,
                                       const std::string& file) {
    return WriteProfileStrings(section, {{key, value}}, file);
}

bool Win32Platform::WriteProfileStrings(
    const std::string& section,
    const std::vector<std::pair<std::string, std::string>>& values,
    const std::string& file) {
    // An installed program (its data folders more than its own) has its
    // settings folder made by the first write.
    if (folders_.data.size() > 1)
        MakeFolder(folders_.settings);
    unicodeFiles_.erase(Utf8ToWide(file));
    return WriteProfileKeys(file, section, values);
}

std::string Win32Platform::AnsiToUtf8(const std::string& bytes) {
    return win32::AnsiToUtf8(bytes);
}

// --- window --------------------------------------------------------------------------

void Win32Platform::CreateMainWindow(WindowEvents& events, const WindowDesign& design) {
    window_ = std::make_unique<Window>(events, design);
}

Window& Win32Platform::MainWindow() {
    if (!window_)
        throw MakeFailure(kErrInternal, "the window has not been created");
    return *window_;
}

double Win32Platform::ScreenDpiX() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

double Win32Platform::ScreenDpiY() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

std::vector<PixelRect> Win32Platform::MonitorWorkAreas() {
    std::vector<PixelRect> areas;
    ::EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

double Win32Platform::MonitorDpi(const PixelRect& outer) {
    const RECT rect{outer.left, outer.top, outer.left + outer.width, outer.top + outer.height};
    const UINT dpi = win32::MonitorDpi(rect);
    return dpi > 0 ? dpi : ScreenDpiY();
}

void Win32Platform::SetWindowFrame(bool toolWindow) {
    MainWindow().SetFrame(toolWindow);
}

void Win32Platform::SetWindowRect(const PixelRect& outer) {
    MainWindow().SetOuterRect(outer);
}

void Win32Platform::SetWindowBackground(Color color) {
    MainWindow().SetBackground(color);
}

void Win32Platform::SetLabel(const LabelSpec& label) {
    MainWindow().SetLabel(label);
}

void Win32Platform::SetLabelVisible(bool visible) {
    MainWindow().SetLabelVisible(visible);
}

void Win32Platform::LoadPicture(const std::string& path) {
    MainWindow().SetPicture(Picture::Load(path));
}

void Win32Platform::SetPicture(const PictureSpec& picture) {
    MainWindow().SetPictureBox(picture);
}

void Win32Platform::SetPictureVisible(bool visible) {
    MainWindow().SetPictureVisible(visible);
}

void Win32Platform::ShowWindow() {
    MainWindow().Show();
    MainWindow().Announce();
}

void Win32Platform::HideWindow() {
    MainWindow().Hide();
}

void Win32Platform::DestroyWindow() {
    // A message box open now (the close came while it waited for the user)
    // waits for nobody: the notification is over.
    if (messageBoxOpen_)
        CloseMessageBoxes();
    MainWindow().Destroy();
}

void Win32Platform::CloseMessageBoxes() {
    ::EnumThreadWindows(::GetCurrentThreadId(), PressOkOfMessageBox, 0);
}

PixelPoint Win32Platform::WindowPosition() {
    return MainWindow().Position();
}

int Win32Platform::SetTopMost(bool onTop) {
    HWND window = window_ ? window_->Handle() : nullptr;
    return ::SetWindowPos(window, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                          SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// --- several notifications at once ------------------------------------------------------

bool Win32Platform::TakePlacementLock(int milliseconds) {
    ReleasePlacementLock();
    // One mutex for the user's session; the system gives it up when its
    // holder ends, and the next waiter then gets it as abandoned.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Local\\ZettelblickPlacement");
    if (!mutex)
        return false;
    const DWORD waited =
        ::WaitForSingleObject(mutex, static_cast<DWORD>(std::max(milliseconds, 0)));
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return false;
    }
    placementLock_ = mutex;
    return true;
}

void Win32Platform::ReleasePlacementLock() {
    if (!placementLock_)
        return;
    ::ReleaseMutex(placementLock_);
    ::CloseHandle(placementLock_);
    placementLock_ = nullptr;
}

std::vector<NotificationPlace> Win32Platform::OtherNotificationPlaces() {
    std::vector<NotificationPlace> places;
    for (const Window::Other& other : Window::Others(window_ ? window_->Handle() : nullptr))
        places.push_back(other.place);
    return places;
}

void Win32Platform::ClaimPlace(const NotificationPlace& place,
                               PixelPoint placed,
                               const std::string& kind) {
    MainWindow().Claim(place.header, placed, Utf8ToWide(kind));
}

std::vector<std::pair<PixelRect, PixelPoint>> Win32Platform::ReplaceNotifications(
    const std::string& kind) {
    std::vector<std::pair<PixelRect, PixelPoint>> replaced;
    for (const Window::Other& other :
         Window::Others(window_ ? window_->Handle() : nullptr, Utf8ToWide(kind))) {
        Window::AskToEndAsReplaced(other.window);
        replaced.emplace_back(other.place.frame, other.placed);
    }
    return replaced;
}

int Win32Platform::CaptionHeight() {
    return MainWindow().CaptionHeight();
}

int Win32Platform::LabelFirstLineBottom() {
    return MainWindow().LabelFirstLineBottom();
}

// --- the user's attention ---------------------------------------------------------------

bool Win32Platform::UserAcceptsNotifications(const PixelRect& where) {
    return win32::UserAcceptsNotifications(where, window_ ? window_->Handle() : nullptr);
}

void Win32Platform::WaitForAttentionChange(int milliseconds) {
    win32::WaitForAttentionChange(milliseconds,
                                  [this] { return window_ && window_->Handle() != nullptr; });
}

std::int64_t Win32Platform::UserIdleMilliseconds() {
    return win32::UserIdleMilliseconds();
}

// --- event loop ----------------------------------------------------------------------

void Win32Platform::Sleep(int milliseconds) {
    ::Sleep(static_cast<DWORD>(std::max(milliseconds, 0)));
}

void Win32Platform::ProcessPendingEvents() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not this loop's to act on: left for RunUntilClosed.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void Win32Platform::RunUntilClosed() {
    // The window is destroyed by a handler that this loop dispatched, so the
    // test before each wait sees it at once. No WM_QUIT is posted for it: one
    // left in the queue after a timed close would end any later message box
    // (the failure report) before the user could read it.
    MSG message;
    while (window_ && window_->Handle()) {
        if (::GetMessageW(&message, nullptr, 0, 0) <= 0)
            break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// --- sound ---------------------------------------------------------------------------

void Win32Platform::Tone(std::int32_t hertz, int milliseconds) {
    // Beep refuses frequencies outside 37 to 32767 hertz; a negative one
    // becomes a huge number and is refused the same way.
    ::Beep(static_cast<DWORD>(hertz), static_cast<DWORD>(std::max(milliseconds, 0)));
}

void Win32Platform::StartWav(const std::string& path) {
    // The sound's DLL is loaded when the first sound plays: a notification
    // without one starts without it. SND_ASYNC alone: without SND_NODEFAULT
    // an unplayable file gives the system's default sound.
    using PlaySoundFile = BOOL(WINAPI*)(LPCWSTR, UINT);
    static const auto play = SystemFunction<PlaySoundFile>(L"winmm.dll", "sndPlaySoundW");
    constexpr UINT kAsync = 0x0001;  // SND_ASYNC
    if (play)
        play(Utf8ToWide(path).c_str(), kAsync);
}

// --- programs and messages -------------------------------------------------------------

void Win32Platform::StartProgram(const std::string& path) {
    // The path is the program itself (never searched for along PATH) and,
    // quoted, its whole command line, so blanks in it need no care.
    const std::wstring program = Utf8ToWide(path);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process))
        throw PathFailure(::GetLastError(), kErrFileNotFound, path);
    // The user has just clicked: the new program may take the foreground.
    ::AllowSetForegroundWindow(process.dwProcessId);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}

HWND Win32Platform::MessageOwner() const {
    if (!window_ || !window_->Handle() || !::IsWindowVisible(window_->Handle()))
        return nullptr;
    return window_->Handle();
}

namespace {

// The activation context of the common controls version 6 (the manifest
// resource 2), in which the message boxes look like the system's own; null
// where it cannot be had. Made once, at the first message box.
HANDLE ControlsContext() {
    static HANDLE context = [] {
        ACTCTXW request{};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.hModule = ::GetModuleHandleW(nullptr);
        request.lpResourceName = MAKEINTRESOURCEW(2);
        const HANDLE made = ::CreateActCtxW(&request);
        return made == INVALID_HANDLE_VALUE ? nullptr : made;
    }();
    return context;
}

}  // namespace

void Win32Platform::MessageBoxUtf8(const std::string& text) {
    // Owned by the visible notification, which it disables while it is open;
    // without one, task-modal so that no window of this program takes clicks.
    HWND owner = MessageOwner();
    const bool outer = messageBoxOpen_;
    messageBoxOpen_ = true;
    ULONG_PTR cookie = 0;
    const HANDLE context = ControlsContext();
    const bool themed = context && ::ActivateActCtx(context, &cookie);
    ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(kAppTitle).c_str(),
                  MB_OK | (owner ? 0u : UINT{MB_TASKMODAL}));
    if (themed)
        ::DeactivateActCtx(0, cookie);
    messageBoxOpen_ = outer;
}

void Win32Platform::ShowMessage(const std::string& text) {
    win32::ReleaseCaller(0);
    MessageBoxUtf8(text);
}

// --- clock ---------------------------------------------------------------------------

std::string Win32Platform::DateText() {
    return FormattedText([](wchar_t* buffer, int size) {
        return ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buffer,
                                size);
    });
}

std::string Win32Platform::TimeText() {
    return FormattedText([](wchar_t* buffer, int size) {
        return ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buffer, size);
    });
}

// --- unexpected failures ---------------------------------------------------------------

void Win32Platform::ShowFailure(const std::string& text) {
    win32::ReleaseCaller(1);
    MessageBoxUtf8(text);
}

void Win32Platform::ExitProcess(int status) {
    win32::ReleaseCaller(status);
    ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace zb::win32
