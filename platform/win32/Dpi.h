// Per-monitor resolution on the systems that have it (Windows 8.1 and
// later), the screen's one resolution on the others. The manifest declares
// the program per-monitor aware: the window follows each monitor's dots per
// inch itself, and the system never stretches its bitmap.
#pragma once

#include "platform/win32/Win32.h"

namespace zb::win32 {

// WM_DPICHANGED (Windows 8.1 and later; the headers of this API level lack
// it): wParam holds the new dots per inch, lParam the suggested RECT.
constexpr UINT kDpiChangedMessage = 0x02E0;

// The dots per inch of the monitor that holds most of `rect` (the nearest
// one when none does), or 0 where the system has no per-monitor resolution.
UINT MonitorDpi(const RECT& rect);

// Lets the system scale the caption and borders of `hwnd` with its monitor's
// resolution where it would not by itself (per-monitor awareness of version
// 1 on Windows 10 1607). Called on WM_NCCREATE; does nothing elsewhere.
void EnableNonClientScaling(HWND hwnd);

}  // namespace zb::win32
