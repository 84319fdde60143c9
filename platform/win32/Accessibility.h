// What screen readers and other assistive technology learn of the window:
// the announcement when it shows (it takes no focus, so nothing else would
// tell them) and the texts they read.
#pragma once

#include <string>

#include "platform/win32/Win32.h"

namespace zb::win32 {

// Announces `text` as a notification of the control `source`: a UI
// Automation notification event where the system has one (Windows 10 1709
// and later), else the alert event that MSAA clients hear (EVENT_SYSTEM_ALERT
// on `source`, whose accessible name they read). Never both, so no reader
// speaks it twice.
void RaiseAnnouncement(HWND source, const std::wstring& text);

}  // namespace zb::win32
