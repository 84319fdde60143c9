#include "platform/win32/Attention.h"

#include <shellapi.h>

#include <string_view>

#include "platform/win32/SystemDll.h"

namespace zb::win32 {
namespace {

// The shell's answer; accepting where it has none. The shell's DLL is
// loaded by the first question, as for the known folders.
QUERY_USER_NOTIFICATION_STATE NotificationState() {
    using QueryState = HRESULT(WINAPI*)(QUERY_USER_NOTIFICATION_STATE*);
    static const auto query =
        SystemFunction<QueryState>(L"shell32.dll", "SHQueryUserNotificationState");
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    if (!query || FAILED(query(&state)))
        state = QUNS_ACCEPTS_NOTIFICATIONS;
    return state;
}

// The desktop itself (its window covers every monitor) is nobody's full
// screen.
bool IsDesktop(HWND window) {
    if (window == ::GetDesktopWindow() || window == ::GetShellWindow())
        return true;
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    const std::wstring_view name(className);
    return name == L"Progman" || name == L"WorkerW";
}

// Whether the foreground window covers all of the monitor `where` lies on.
bool FullScreenOver(const PixelRect& where, HWND own) {
    HWND foreground = ::GetForegroundWindow();
    if (!foreground || foreground == own || IsDesktop(foreground) ||
        !::IsWindowVisible(foreground) || ::IsIconic(foreground))
        return false;
    const RECT notification{where.left, where.top, where.left + where.width,
                            where.top + where.height};
    HMONITOR monitor = ::MonitorFromRect(&notification, MONITOR_DEFAULTTONEAREST);
    if (::MonitorFromWindow(foreground, MONITOR_DEFAULTTONULL) != monitor)
        return false;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT frame;
    if (!::GetMonitorInfoW(monitor, &info) || !::GetWindowRect(foreground, &frame))
        return false;
    const RECT& m = info.rcMonitor;
    return frame.left <= m.left && frame.top <= m.top && frame.right >= m.right &&
           frame.bottom >= m.bottom;
}

// Set by the event hook when the foreground window changes or moves.
bool gChanged = false;

void CALLBACK
OnWindowEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (event == EVENT_SYSTEM_FOREGROUND ||
        (object == OBJID_WINDOW && window && window == ::GetForegroundWindow()))
        gChanged = true;
}

}  // namespace

bool UserAcceptsNotifications(const PixelRect& where, HWND own) {
    return NotificationState() == QUNS_ACCEPTS_NOTIFICATIONS && !FullScreenOver(where, own);
}

void WaitForAttentionChange(int milliseconds, const std::function<bool()>& windowOpen) {
    // Hooked once, for the rest of the run: the events come as messages to
    // this thread, which the loop below dispatches.
    static const bool hooked = [] {
        ::SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, OnWindowEvent,
                          0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
        ::SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr,
                          OnWindowEvent, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
        return true;
    }();
    (void)hooked;
    gChanged = false;
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    while (!gChanged && windowOpen()) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            break;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Not this loop's to act on: left for the event loop.
                ::PostQuitMessage(static_cast<int>(message.wParam));
                return;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

std::int64_t UserIdleMilliseconds() {
    // The screen saver running, the session locked or switched away from.
    if (NotificationState() == QUNS_NOT_PRESENT)
        return kScreenLocked;
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    // Wine tells the last input to its own windows only: input to every
    // other program of the desktop would count as the user being away.
    if (RunsUnderWine() || !::GetLastInputInfo(&input))
        return 0;
    // Both are tick counts of 32 bits: the difference is right across a wrap.
    return static_cast<DWORD>(::GetTickCount() - input.dwTime);
}

}  // namespace zb::win32
