// What the X server and the window manager tell about the user's attention:
// whether the active window is full screen (EWMH), how long ago the user
// last typed or moved the mouse (the MIT-SCREEN-SAVER extension), and word
// when the first may have changed. Everything runs on Qt's own X
// connection, so it needs a running QGuiApplication on the xcb platform.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Platform.h"

namespace zb::qt::x11 {

// Where the active window (_NET_ACTIVE_WINDOW) stands, in root coordinates,
// when it is full screen (_NET_WM_STATE_FULLSCREEN); nullopt when it is not,
// or when no window manager says which window is active.
std::optional<PixelRect> FullScreenActiveWindow();

// The milliseconds since the last keyboard or mouse input on the display;
// nullopt where the X server lacks the extension.
std::optional<std::int64_t> IdleMilliseconds();

// From now on calls `changed` whenever another window becomes the active
// one, or the active window's state or place changes (property and
// configure events, which the X server sends as they happen).
void WatchActiveWindow(std::function<void()> changed);

}  // namespace zb::qt::x11
