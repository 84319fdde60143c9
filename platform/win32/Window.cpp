#include "platform/win32/Window.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/Failure.h"
#include "platform/win32/Accessibility.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/Errors.h"
#include "platform/win32/SystemDll.h"
#include "platform/win32/Text.h"

namespace zb::win32 {
namespace {

constexpr wchar_t kClassName[] = L"ZettelblickNotification";
// The window properties that hold the kept place, offset so that no
// coordinate gives the empty value.
constexpr wchar_t kPlaceLeft[] = L"ZettelblickPlaceLeft";
constexpr wchar_t kPlaceTop[] = L"ZettelblickPlaceTop";
constexpr INT_PTR kPlaceOffset = 0x40000000;
// The claim: the header band's height (its presence marks a claimed window),
// the place the program gave the window, offset as above, and the global atom
// of its kind.
constexpr wchar_t kClaimHeader[] = L"ZettelblickHeader";
constexpr wchar_t kPlacedLeft[] = L"ZettelblickPlacedLeft";
constexpr wchar_t kPlacedTop[] = L"ZettelblickPlacedTop";
constexpr wchar_t kClaimKind[] = L"ZettelblickKind";
constexpr const wchar_t* kClaimProperties[] = {kPlaceLeft,  kPlaceTop,  kClaimHeader,
                                               kPlacedLeft, kPlacedTop, kClaimKind};
// Posted to put the window back at its kept place.
constexpr UINT kRestorePlaceMessage = WM_APP + 1;
// Posted by a newer notification of the same kind that takes the place.
constexpr UINT kReplaceMessage = WM_APP + 2;
// Wine's false report of the window's place comes while the window manager
// frames the new window: within this time of the show (a few tens of
// milliseconds, longer on a loaded machine), and within this distance of the
// screen's top-left corner.
constexpr DWORD kFalseReportMilliseconds = 2000;
constexpr int kFalseReportSlack = 64;
constexpr int kLabelId = 1;
constexpr int kPictureId = 2;

// Both frames keep WS_EX_TOOLWINDOW, which keeps the window out of the
// taskbar and the task switcher; WS_POPUP keeps the system from choosing a
// position or a size of its own.
constexpr DWORD kFrameExStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
constexpr DWORD kToolStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS;
constexpr DWORD kBareStyle = WS_POPUP | WS_CLIPSIBLINGS;
constexpr DWORD kControlStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SS_NOTIFY;

// The colour numbers are 0x00BBGGRR already; the high byte is not a colour.
COLORREF ToColorRef(Color color) {
    return static_cast<COLORREF>(color & 0x00FFFFFF);
}

HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

void RegisterWindowClass(WNDPROC procedure) {
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = Instance();
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kClassName;
    // No class brush: WM_ERASEBKGND paints the configured colour.
    if (!::RegisterClassExW(&windowClass))
        throw SystemFailure(kErrInternal, "RegisterClassExW", ::GetLastError());
    registered = true;
}

HWND CreateControl(HWND parent, int id, DWORD style, const PixelRect& rect) {
    HWND control = ::CreateWindowExW(
        0, L"STATIC", L"", kControlStyle | style, rect.left, rect.top, rect.width, rect.height,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (!control)
        throw SystemFailure(kErrInternal, "CreateWindowExW STATIC", ::GetLastError());
    return control;
}

// Puts a window's styles in place; the frame only changes with SWP_FRAMECHANGED.
void ApplyStyles(HWND hwnd, DWORD style, DWORD exStyle) {
    ::SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

DWORD Style(HWND hwnd) {
    return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
}

DWORD ExStyle(HWND hwnd) {
    return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
}

// The sunken three-dimensional edge of a control's single border.
void SetSunkenBorder(HWND control, bool border) {
    const DWORD exStyle = border ? (ExStyle(control) | WS_EX_CLIENTEDGE)
                                 : (ExStyle(control) & ~DWORD{WS_EX_CLIENTEDGE});
    ApplyStyles(control, Style(control), exStyle);
}

void MoveControl(HWND control, const PixelRect& rect) {
    ::SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

void ReplaceBrush(HBRUSH& brush, COLORREF color) {
    HBRUSH created = ::CreateSolidBrush(color);
    if (!created)
        throw MakeFailure(kErrOutOfMemory, "CreateSolidBrush");
    if (brush)
        ::DeleteObject(brush);
    brush = created;
}

// A window property's number, stored offset so that no value gives the
// empty one; `fallback` where it is missing.
int NumberProperty(HWND hwnd, const wchar_t* name, int fallback) {
    const auto value = reinterpret_cast<INT_PTR>(::GetPropW(hwnd, name));
    return value ? static_cast<int>(value - kPlaceOffset) : fallback;
}

void SetNumberProperty(HWND hwnd, const wchar_t* name, int value) {
    ::SetPropW(hwnd, name, reinterpret_cast<HANDLE>(value + kPlaceOffset));
}

// The global atom's name for a kind: its end (atom names hold at most 255
// characters, and a settings file's path differs most at its end), after a
// prefix that keeps it from reading as a number.
std::wstring KindAtomName(const std::wstring& kind) {
    constexpr std::size_t kMaxKind = 240;
    return L"Zettelblick " + (kind.size() > kMaxKind ? kind.substr(kind.size() - kMaxKind) : kind);
}

// What EnumWindows collects for Window::Others.
struct OtherWindows {
    HWND own;
    ATOM kind;  // 0: any kind
    std::vector<Window::Other> found;
};

// EnumWindows: adds a claimed notification window other than the own one
// (of the kind asked for) to the OtherWindows `param`.
BOOL CALLBACK AddOther(HWND hwnd, LPARAM param) {
    auto& search = *reinterpret_cast<OtherWindows*>(param);
    wchar_t className[64] = {};
    RECT rect{};
    if (hwnd == search.own || !::GetClassNameW(hwnd, className, 64) ||
        std::wstring_view(className) != kClassName || !::GetPropW(hwnd, kClaimHeader) ||
        ::IsIconic(hwnd) || !::GetWindowRect(hwnd, &rect))
        return TRUE;
    if (search.kind &&
        reinterpret_cast<INT_PTR>(::GetPropW(hwnd, kClaimKind)) != INT_PTR{search.kind})
        return TRUE;
    const PixelRect frame{NumberProperty(hwnd, kPlaceLeft, rect.left),
                          NumberProperty(hwnd, kPlaceTop, rect.top), rect.right - rect.left,
                          rect.bottom - rect.top};
    search.found.push_back({hwnd,
                            {frame, NumberProperty(hwnd, kClaimHeader, 0)},
                            {NumberProperty(hwnd, kPlacedLeft, frame.left),
                             NumberProperty(hwnd, kPlacedTop, frame.top)}});
    return TRUE;
}

}  // namespace

Window::Window(WindowEvents& events, const WindowDesign& design) : events_(events) {
    RegisterWindowClass(&Window::WindowProc);
    ReplaceBrush(background_, ToColorRef(design.background));

    RECT outer{0, 0, design.innerWidth, design.innerHeight};
    ::AdjustWindowRectEx(&outer, kToolStyle, FALSE, kFrameExStyle);
    // WM_NCCREATE stores `this` and sets hwnd_.
    if (!::CreateWindowExW(kFrameExStyle, kClassName, Utf8ToWide(design.caption).c_str(),
                           kToolStyle, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                           nullptr, nullptr, Instance(), this))
        throw SystemFailure(kErrInternal, "CreateWindowExW", ::GetLastError());

    label_ = CreateControl(hwnd_, kLabelId, SS_LEFT, design.label.rect);
    // Created after the label and raised to the top of the controls' order:
    // where the two overlap, the picture covers the label.
    picture_ = CreateControl(hwnd_, kPictureId, SS_OWNERDRAW, design.picture.rect);
    ::SetWindowPos(picture_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetLabel(design.label);
    SetPictureBox(design.picture);
}

Window::~Window() {
    if (hwnd_)
        ::DestroyWindow(hwnd_);
    if (background_)
        ::DeleteObject(background_);
    if (labelBackground_)
        ::DeleteObject(labelBackground_);
    if (labelFont_)
        ::DeleteObject(labelFont_);
}

void Window::SetFrame(bool toolWindow) {
    const DWORD visible = Style(hwnd_) & WS_VISIBLE;
    ApplyStyles(hwnd_, (toolWindow ? kToolStyle : kBareStyle) | visible, kFrameExStyle);
}

void Window::SetOuterRect(const PixelRect& outer) {
    KeepPlace({outer.left, outer.top});
    ::SetWindowPos(hwnd_, nullptr, outer.left, outer.top, outer.width, outer.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::KeepPlace(PixelPoint place) {
    place_ = place;
    SetNumberProperty(hwnd_, kPlaceLeft, place.x);
    SetNumberProperty(hwnd_, kPlaceTop, place.y);
}

void Window::Claim(int header, PixelPoint placed, const std::wstring& kind) {
    if (!kind_)
        kind_ = ::GlobalAddAtomW(KindAtomName(kind).c_str());
    if (kind_)
        ::SetPropW(hwnd_, kClaimKind, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(kind_)));
    SetNumberProperty(hwnd_, kPlacedLeft, placed.x);
    SetNumberProperty(hwnd_, kPlacedTop, placed.y);
    // Last: it marks the claim as complete.
    SetNumberProperty(hwnd_, kClaimHeader, header);
}

void Window::SetBackground(Color color) {
    ReplaceBrush(background_, ToColorRef(color));
    Repaint();
}

void Window::SetLabel(const LabelSpec& label) {
    MoveControl(label_, label.rect);
    labelOpaque_ = label.opaque;
    SetSunkenBorder(label_, label.border);
    labelBackColor_ = ToColorRef(label.background);
    ReplaceBrush(labelBackground_, labelBackColor_);

    DWORD align = SS_LEFT;
    if (label.align == Align::Right)
        align = SS_RIGHT;
    else if (label.align == Align::Center)
        align = SS_CENTER;
    ::SetWindowLongPtrW(label_, GWL_STYLE,
                        static_cast<LONG_PTR>((Style(label_) & ~DWORD{SS_TYPEMASK}) | align));

    // A negative height asks for the character height (em) in pixels.
    HFONT font = ::CreateFontW(-label.font.pixels, 0, 0, 0, label.font.bold ? FW_BOLD : FW_NORMAL,
                               label.font.italic, label.font.underline, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, Utf8ToWide(label.font.name).c_str());
    if (!font)
        throw MakeFailure(kErrInvalidProperty, "text.font = " + label.font.name);
    ::SendMessageW(label_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (labelFont_)
        ::DeleteObject(labelFont_);
    labelFont_ = font;

    labelTextColor_ = ToColorRef(label.textColor);
    ::SetWindowTextW(label_, Utf8ToWide(label.text).c_str());
    labelSpokenText_ = Utf8ToWide(label.spokenText);
    Repaint();
}

void Window::SetLabelVisible(bool visible) {
    ::ShowWindow(label_, visible ? SW_SHOWNA : SW_HIDE);
}

void Window::SetPicture(Picture picture) {
    image_ = std::move(picture);
    ::InvalidateRect(picture_, nullptr, FALSE);
}

void Window::SetPictureBox(const PictureSpec& box) {
    MoveControl(picture_, box.rect);
    SetSunkenBorder(picture_, box.border);
    // The owner-drawn box never shows its text: it is what screen readers
    // read as the picture's name.
    ::SetWindowTextW(picture_, Utf8ToWide(box.accessibleName).c_str());
    Repaint();
}

void Window::SetPictureVisible(bool visible) {
    ::ShowWindow(picture_, visible ? SW_SHOWNA : SW_HIDE);
}

void Window::Show() {
    // The user goes on typing where he was: the notification is shown
    // without being activated.
    guardPlace_ = RunsUnderWine();
    shownAt_ = ::GetTickCount();
    ::ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    Repaint();
}

bool Window::IsFalseReportAfterMapping(PixelPoint reported) {
    if (!guardPlace_)
        return false;
    if (::GetTickCount() - shownAt_ > kFalseReportMilliseconds) {
        guardPlace_ = false;
        return false;
    }
    // The report puts the frame at the corner of the whole screen (of all
    // monitors), give or take Wine's own frame.
    const int cornerX = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int cornerY = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    return std::abs(reported.x - cornerX) <= kFalseReportSlack &&
           std::abs(reported.y - cornerY) <= kFalseReportSlack;
}

void Window::Announce() {
    if (Style(label_) & WS_VISIBLE)
        RaiseAnnouncement(label_, labelSpokenText_);
    else
        RaiseAnnouncement(hwnd_, WindowText(hwnd_));
}

void Window::Hide() {
    ::ShowWindow(hwnd_, SW_HIDE);
}

void Window::Destroy() {
    if (hwnd_)
        ::DestroyWindow(hwnd_);
}

PixelPoint Window::Position() const {
    RECT rect{};
    ::GetWindowRect(hwnd_, &rect);
    return {rect.left, rect.top};
}

int Window::CaptionHeight() const {
    RECT outer{};
    POINT inner{0, 0};
    if (!::GetWindowRect(hwnd_, &outer) || !::ClientToScreen(hwnd_, &inner))
        return 0;
    return inner.y - outer.top;
}

int Window::LabelFirstLineBottom() const {
    RECT outer{};
    POINT inner{0, 0};
    if (!::GetWindowRect(label_, &outer) || !::ClientToScreen(label_, &inner))
        return 0;
    HDC dc = ::GetDC(label_);
    HGDIOBJ old = ::SelectObject(dc, labelFont_ ? labelFont_ : ::GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(label_, dc);
    return static_cast<int>(inner.y - outer.top) + metrics.tmHeight;
}

std::vector<Window::Other> Window::Others(HWND own, const std::wstring& kind) {
    OtherWindows search{own, 0, {}};
    if (!kind.empty()) {
        // Nobody has claimed a place with a kind whose atom does not exist.
        search.kind = ::GlobalFindAtomW(KindAtomName(kind).c_str());
        if (!search.kind)
            return {};
    }
    ::EnumWindows(AddOther, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Window::AskToEndAsReplaced(HWND window) {
    ::PostMessageW(window, kReplaceMessage, 0, 0);
}

void Window::Repaint() {
    // The window does not clip its children: its background is painted under
    // a transparent label before the label draws its text.
    ::RedrawWindow(hwnd_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Window*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        EnableNonClientScaling(hwnd);
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        for (const wchar_t* name : kClaimProperties)
            ::RemovePropW(hwnd, name);
        if (self->kind_)
            ::GlobalDeleteAtom(self->kind_);
        self->kind_ = 0;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->label_ = nullptr;
        self->picture_ = nullptr;
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(hwnd, message, wParam, lParam);
}

LRESULT Window::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT client;
            ::GetClientRect(hwnd, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, background_);
            return 1;
        }
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == label_)
                return LabelColors(reinterpret_cast<HDC>(wParam));
            return reinterpret_cast<LRESULT>(background_);
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlID != kPictureId)
                break;
            image_.Draw(item->hDC, item->rcItem, background_);
            return TRUE;
        }
        // Under Wine the window's place comes back from the X window manager
        // after mapping; when many windows map at once, it can come from the
        // moment the manager had put the window into its frame but not yet
        // moved the frame: Wine then believes the window is in the screen's
        // top-left corner while X shows it at its place, and clicks on it
        // miss. That report, and only that one, is taken back. Every other
        // move is kept as the window's place, whoever made it: the user's
        // drag, the window manager's Alt+drag, snapping, another program.
        case WM_WINDOWPOSCHANGED: {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (!(pos->flags & SWP_NOMOVE) && (pos->x != place_.x || pos->y != place_.y)) {
                if (IsFalseReportAfterMapping({pos->x, pos->y})) {
                    guardPlace_ = false;
                    ::PostMessageW(hwnd, kRestorePlaceMessage, 0, 0);
                } else {
                    KeepPlace({pos->x, pos->y});
                }
            }
            break;
        }
        case kRestorePlaceMessage:
            ::SetWindowPos(hwnd, nullptr, place_.x, place_.y, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        // The user moves it, or the monitors change and the system may.
        case WM_ENTERSIZEMOVE:
        case WM_NCRBUTTONDOWN:
        case WM_DISPLAYCHANGE:
            guardPlace_ = false;
            break;
        // A click does not activate the window either (it still dismisses
        // it, and a drag on the caption still moves it).
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        // The caption is grabbed for a move only, without the activation
        // that DefWindowProc gives a press there.
        case WM_NCLBUTTONDOWN:
            guardPlace_ = false;
            if (wParam == HTCAPTION) {
                ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
                return 0;
            }
            break;
        // A press on the inner area, or on either control (SS_NOTIFY sends
        // STN_CLICKED on the press), dismisses the notification. The caption
        // bar's clicks are non-client messages and do nothing.
        case WM_LBUTTONDOWN:
            events_.OnClick();
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == STN_CLICKED &&
                (LOWORD(wParam) == kLabelId || LOWORD(wParam) == kPictureId)) {
                events_.OnClick();
                return 0;
            }
            break;
        // The logic closes the window itself (it destroys it after its
        // close-down), so WM_CLOSE never reaches DefWindowProc.
        case WM_CLOSE:
            events_.OnCloseRequest();
            return 0;
        // A newer notification of the same kind has taken the place.
        case kReplaceMessage:
            events_.OnReplaced();
            return 0;
        // The session ends: close like the close box while the process may
        // still write its settings. A session that is only asked about is
        // not refused.
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam)
                events_.OnCloseRequest();
            return 0;
        // Moved to a monitor with another resolution, or its scale changed:
        // the logic lays the window out again.
        case kDpiChangedMessage: {
            const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
            events_.OnDpiChanged(HIWORD(wParam),
                                 {suggested.left, suggested.top, suggested.right - suggested.left,
                                  suggested.bottom - suggested.top});
            return 0;
        }
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT Window::LabelColors(HDC dc) {
    ::SetTextColor(dc, labelTextColor_);
    if (labelOpaque_) {
        ::SetBkMode(dc, OPAQUE);
        ::SetBkColor(dc, labelBackColor_);
        return reinterpret_cast<LRESULT>(labelBackground_);
    }
    // Nothing is painted behind the text: the window's background, painted
    // just before, shows through.
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

}  // namespace zb::win32
