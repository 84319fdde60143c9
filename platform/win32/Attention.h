// What Windows tells about the user's attention: whether the user takes
// notifications now (the shell's notification state, and a foreground
// window that covers the notification's whole monitor, which not every
// system reports as busy), the time since the last input, and the wait for
// a change of the first.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Platform.h"
#include "platform/win32/Win32.h"

namespace zb::win32 {

// Platform::UserAcceptsNotifications; `own` is the notification's window,
// which never counts as the one in the foreground.
bool UserAcceptsNotifications(const PixelRect& where, HWND own);

// Handles this thread's messages until the foreground window changes or
// moves, `windowOpen` turns false (the window is gone), or `milliseconds`
// have passed.
void WaitForAttentionChange(int milliseconds, const std::function<bool()>& windowOpen);

// Platform::UserIdleMilliseconds.
std::int64_t UserIdleMilliseconds();

}  // namespace zb::win32
