// The few X11 and window-manager (EWMH) requests that Qt does not offer:
// the frame's extents before mapping, and window states changed through the
// window manager. Everything except DisplayAvailable runs on Qt's own X
// connection, so it needs a running QGuiApplication on the xcb platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace zb::qt::x11 {

// Opens and closes a connection to the display named by DISPLAY, without
// the toolkit, which would abort when there is none.
bool DisplayAvailable();

// The window manager's frame around a client window, in pixels.
struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    bool operator==(const FrameExtents&) const = default;
};

// _NET_FRAME_EXTENTS as it stands on `window`; nullopt when not set.
std::optional<FrameExtents> ReadFrameExtents(std::uint32_t window);

// Asks the window manager, before `window` is mapped, which frame it will
// get (_NET_REQUEST_FRAME_EXTENTS), without waiting for the answer, so that
// the window manager works on it while the window is being built. False
// when the window manager offers no such answer.
bool RequestFrameExtents(std::uint32_t window);

// The answer to RequestFrameExtents, waited for a bounded time; nullopt
// when the window manager does not answer.
std::optional<FrameExtents> AwaitFrameExtents(std::uint32_t window);

// Adds `state` (an atom name such as "_NET_WM_STATE_SKIP_TASKBAR") to the
// _NET_WM_STATE property of a window that is not mapped yet.
void AddStateBeforeMapping(std::uint32_t window, const char* state);

// Puts `window`, not mapped yet, on every virtual desktop (_NET_WM_DESKTOP
// 0xFFFFFFFF, with _NET_WM_STATE_STICKY for window managers that read that).
void StickToAllDesktopsBeforeMapping(std::uint32_t window);

// Puts the mapped `window` on every virtual desktop through the window
// manager (a _NET_WM_DESKTOP client message to the root window), for window
// managers that set the desktop themselves when they map a window.
void StickToAllDesktopsAfterMapping(std::uint32_t window);

// Marks `window` as a notification of this program (WM_WINDOW_ROLE), by
// which NotificationFrames finds it from another process.
void MarkAsNotification(std::uint32_t window);

// The outer frames (the window manager's frame included) of the mapped
// windows marked by MarkAsNotification other than `own`: the window
// manager's managed windows (_NET_CLIENT_LIST), or without a running window
// manager (none, or one whose list outlived it) the root window's children.
std::vector<PixelRect> NotificationFrames(std::uint32_t own);

// Whether the window manager lists `window` among the windows it manages
// (_NET_CLIENT_LIST); true where no running window manager keeps that list.
bool ListedByWindowManager(std::uint32_t window);

// Undoes every shade (roll-up to the caption bar) of the mapped `window`
// from now on, as soon as the window manager reports it: the notification
// would be out of sight and its click gone.
void KeepUnshaded(std::uint32_t window);

// Asks the window manager to add or remove `state` on a mapped window
// (a _NET_WM_STATE client message to the root window). False when the
// request could not be sent.
bool ChangeMappedState(std::uint32_t window, bool add, const char* state);

// Where the top-left corner of `window`'s own area is on the screen (root
// coordinates), as the X server has it now; nullopt when it cannot tell.
std::optional<std::pair<int, int>> RootPosition(std::uint32_t window);

// True when Qt's X connection has failed (the display went away).
bool ConnectionBroken();

// Whether `window` is mapped (viewable) now.
bool IsMapped(std::uint32_t window);

// Whether `event`, an event as Qt's native event filters get it, tells that
// `window` has been destroyed (by another X client: the program's own windows
// are destroyed by Qt only after the logic has let them go).
bool IsDestroyNotify(const void* event, std::uint32_t window);

}  // namespace zb::qt::x11
