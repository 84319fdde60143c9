// The notification window on the Win32 API: a top-level window with a
// STATIC label and an owner-drawn STATIC picture box. It draws itself and
// turns clicks and close requests into WindowEvents calls; the logic decides
// everything else.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Picture.h"
#include "platform/win32/Win32.h"

namespace zb::win32 {

class Window {
public:
    // Creates the window hidden, as `design` describes it: a tool window with
    // the label and the picture box.
    Window(WindowEvents& events, const WindowDesign& design);
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window();

    // Null once the window has been destroyed.
    HWND Handle() const { return hwnd_; }

    void SetFrame(bool toolWindow);
    void SetOuterRect(const PixelRect& outer);
    void SetBackground(Color color);
    void SetLabel(const LabelSpec& label);
    void SetLabelVisible(bool visible);
    void SetPicture(Picture picture);
    void SetPictureBox(const PictureSpec& box);
    void SetPictureVisible(bool visible);
    void Show();
    // Tells assistive technology that the window has appeared: the message
    // when the label shows, else the caption.
    void Announce();
    void Hide();
    void Destroy();
    PixelPoint Position() const;
    // The height from the outer frame's top to the inner area's: the caption
    // bar and the border above it.
    int CaptionHeight() const;

    // How far below the label's top its first line of text ends (its
    // border included).
    int LabelFirstLineBottom() const;

    // Publishes the window's place for the other notifications before it is
    // shown (window properties): its header band's height, the place the
    // program gave it, and its kind.
    void Claim(int header, PixelPoint placed, const std::wstring& kind);

    // A notification window of another process that has claimed its place.
    struct Other {
        HWND window;
        // Its outer frame at the place its own process keeps for it (see
        // place_), and its header band.
        NotificationPlace place;
        PixelPoint placed;
    };
    // The notification windows (this window class) other than `own` that
    // have claimed a place and are not minimised; with `kind`, only those
    // of that kind.
    static std::vector<Other> Others(HWND own, const std::wstring& kind = {});
    // Asks the notification `window` of another process to end as replaced.
    static void AskToEndAsReplaced(HWND window);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT LabelColors(HDC dc);
    // Repaints the window and its controls now: the logic may block (a tone,
    // a sleep) right after a change.
    void Repaint();
    void KeepPlace(PixelPoint place);
    // Whether a move to `reported`, which the program did not make, is
    // Wine's false report of the place right after mapping.
    bool IsFalseReportAfterMapping(PixelPoint reported);

    WindowEvents& events_;
    HWND hwnd_ = nullptr;
    HWND label_ = nullptr;
    HWND picture_ = nullptr;
    HBRUSH background_ = nullptr;
    HBRUSH labelBackground_ = nullptr;
    HFONT labelFont_ = nullptr;
    COLORREF labelBackColor_ = 0;
    COLORREF labelTextColor_ = 0;
    std::wstring labelSpokenText_;
    bool labelOpaque_ = true;
    Picture image_;
    // Where the program or the user put the window (outer top-left), also
    // kept in two window properties for the other notifications to read.
    PixelPoint place_;
    // The global atom naming the window's kind once it has claimed its place.
    ATOM kind_ = 0;
    // Under Wine, from the show until Wine's false report of the window's
    // place has been taken back, the user has begun a move, or the moment
    // after mapping is over (shownAt_, the show's tick count).
    bool guardPlace_ = false;
    DWORD shownAt_ = 0;
};

}  // namespace zb::win32
