// A helper for the Wine tests, run under Wine beside the program under test.
// It looks at another process's windows the way a Windows user's tools do
// (WM_GETTEXT and the window styles work across processes), listens as a
// screen reader does (MSAA names, alert events), and it stands in for a
// program that the notification starts.
//
//   winprobe.exe list CAPTION    one line per control of the first visible
//                                top-level window titled CAPTION: its class,
//                                a tab and its text (UTF-8; CR as \r, LF as \n)
//   winprobe.exe style CAPTION   that window's style and extended style, in hex
//   winprobe.exe ok CAPTION      presses OK on that window (a message box)
//   winprobe.exe close CAPTION   asks that window to close (WM_CLOSE)
//   winprobe.exe edit CAPTION    opens a window titled CAPTION with a text
//                                field that has the focus, for a user to type
//                                in (`list CAPTION` reads what arrived); it
//                                runs until the window is closed
//   winprobe.exe fullscreen CAPTION  opens a window titled CAPTION that
//                                covers the whole primary monitor, in the
//                                foreground (a video or a presentation);
//                                it runs until the window is closed
//   winprobe.exe names CAPTION   one line per control of that window: its
//                                class, a tab and its accessible (MSAA) name
//   winprobe.exe alert FILE      waits (at most a minute) for one alert event
//                                (EVENT_SYSTEM_ALERT) of any program: creates
//                                FILE once it listens, then writes the alerted
//                                control's class, a tab and its MSAA name
//   winprobe.exe                 (no arguments) writes its own command line to
//                                started.txt in the current directory
//
// Exit status 0 when such a window was found (or closed), 1 when not, 2 for
// wrong usage.
#define WIN32_LEAN_AND_MEAN
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <oleacc.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(),
                            size, nullptr, nullptr);
    return out;
}

std::wstring Text(HWND hwnd) {
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

struct Search {
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (IsWindowVisible(hwnd) && Text(hwnd) == search->caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintChild(HWND hwnd, LPARAM) {
    wchar_t className[256] = {};
    GetClassNameW(hwnd, className, 256);
    std::printf("%s\t%s\n", Utf8(className).c_str(), Escaped(Utf8(Text(hwnd))).c_str());
    return TRUE;
}

std::string ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return Utf8(name);
}

// The name a screen reader reads for a child of `object`.
std::string AccessibleName(IAccessible* object, long child) {
    VARIANT id;
    VariantInit(&id);
    id.vt = VT_I4;
    id.lVal = child;
    BSTR name = nullptr;
    std::string text;
    if (object->get_accName(id, &name) == S_OK && name)
        text = Escaped(Utf8(name));
    SysFreeString(name);
    return text;
}

BOOL CALLBACK PrintChildName(HWND hwnd, LPARAM) {
    IAccessible* object = nullptr;
    std::string name = "(none)";
    // __uuidof: MinGW's oleacc import library has no IID_IAccessible (32-bit)
    // or one that is its import entry rather than the GUID (64-bit).
    if (SUCCEEDED(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object)))) {
        name = AccessibleName(object, CHILDID_SELF);
        object->Release();
    }
    std::printf("%s\t%s\n", ClassName(hwnd).c_str(), name.c_str());
    return TRUE;
}

FILE* alertFile = nullptr;

void CALLBACK OnAlert(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    IAccessible* accessible = nullptr;
    VARIANT id;
    VariantInit(&id);
    std::string name = "(none)";
    if (SUCCEEDED(AccessibleObjectFromEvent(hwnd, object, child, &accessible, &id))) {
        name = AccessibleName(accessible, id.vt == VT_I4 ? id.lVal : CHILDID_SELF);
        accessible->Release();
    }
    std::fprintf(alertFile, "%s\t%s\n", ClassName(hwnd).c_str(), name.c_str());
    PostQuitMessage(0);
}

// Listens for one alert event; the file appears once the hook is in place.
int WaitForAlert(const wchar_t* path) {
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, OnAlert,
                                         0, 0, WINEVENT_OUTOFCONTEXT);
    alertFile = hook ? _wfopen(path, L"wb") : nullptr;
    if (!alertFile)
        return 1;
    std::fflush(alertFile);
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER)
        DispatchMessageW(&message);
    UnhookWinEvent(hook);
    std::fclose(alertFile);
    return message.message == WM_QUIT ? 0 : 1;
}

// Stands in for the program a click starts: leaves proof that it ran.
int RecordStart() {
    FILE* file = _wfopen(L"started.txt", L"wb");
    if (!file)
        return 1;
    std::fputs(Utf8(GetCommandLineW()).c_str(), file);
    std::fclose(file);
    return 0;
}

LRESULT CALLBACK EditorProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A window with one text field that has the keyboard focus, until closed.
int Editor(const std::wstring& caption) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = EditorProc;
    windowClass.lpszClassName = L"WinprobeEditor";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(windowClass.lpszClassName, caption.c_str(), WS_OVERLAPPEDWINDOW,
                                500, 500, 400, 150, nullptr, nullptr, nullptr, nullptr);
    HWND field = CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 360, 30,
                               window, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOW);
    SetFocus(field);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// A borderless window over the whole primary monitor, until closed.
int FullScreen(const std::wstring& caption) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = EditorProc;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1);
    windowClass.lpszClassName = L"WinprobeFullScreen";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(windowClass.lpszClassName, caption.c_str(), WS_POPUP | WS_VISIBLE,
                                0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 1)
        return RecordStart();
    if (argc != 3)
        return 2;
    const std::wstring command = argv[1];
    if (command == L"edit")
        return Editor(argv[2]);
    if (command == L"fullscreen")
        return FullScreen(argv[2]);
    CoInitialize(nullptr);
    if (command == L"alert")
        return WaitForAlert(argv[2]);
    Search search{argv[2]};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return 1;
    if (command == L"list") {
        EnumChildWindows(search.found, PrintChild, 0);
        return 0;
    }
    if (command == L"style") {
        std::printf("%08lx %08lx\n",
                    static_cast<unsigned long>(GetWindowLongW(search.found, GWL_STYLE)),
                    static_cast<unsigned long>(GetWindowLongW(search.found, GWL_EXSTYLE)));
        return 0;
    }
    if (command == L"names") {
        EnumChildWindows(search.found, PrintChildName, 0);
        return 0;
    }
    if (command == L"ok") {
        PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return 0;
    }
    if (command == L"close") {
        PostMessageW(search.found, WM_CLOSE, 0, 0);
        return 0;
    }
    return 2;
}
