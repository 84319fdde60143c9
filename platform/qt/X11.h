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

// A notification of this program as another one sees it.
struct OtherNotification {
    std::uint32_t window = 0;
    // Where it stands: mapped and managed, its frame on the screen; claimed
    // and not yet shown (or not yet listed by the window manager), the
    // frame it claimed.
    NotificationPlace place;
    // Where the program put it when it claimed its place.
    PixelPoint placed;
    std::string kind;
};

// Marks `window`, not mapped yet, as a notification of this program and
// publishes its place and kind for the others (properties on the window, and
// the window in a list on the root window, from which windows that are gone
// drop out here).
void ClaimPlace(std::uint32_t window,
                const NotificationPlace& place,
                PixelPoint placed,
                const std::string& kind);

// Puts the claim on `window` (ClaimPlace does, and then lists the window):
// to correct it once the window manager has framed the window.
void SetClaim(std::uint32_t window, const NotificationPlace& place, PixelPoint placed);

// Withdraws the claim of `window`, which is closing: the others no longer
// count its place.
void DropClaim(std::uint32_t window);

// The notifications other than `own` that have claimed a place and not
// withdrawn it, whatever their settings file.
std::vector<OtherNotification> OtherNotifications(std::uint32_t own);

// Whether a window manager that follows EWMH runs (its
// _NET_SUPPORTING_WM_CHECK window exists).
bool WindowManagerRunning();

// Whether the window manager lists `window` among the windows it manages
// (_NET_CLIENT_LIST); true where no window manager keeps that list, or the
// list was left by one that has gone.
bool ListedByWindowManager(std::uint32_t window);

// The outer frame of `window` on the screen now, the window manager's frame
// (_NET_FRAME_EXTENTS) included; nullopt when the X server cannot tell.
std::optional<PixelRect> OuterFrame(std::uint32_t window);

// Asks the notification `window` of another process to end as replaced.
void AskToEndAsReplaced(std::uint32_t window);

// Whether `event`, as Qt's native event filters get it, is a request of
// AskToEndAsReplaced for `window`.
bool IsReplaceRequest(const void* event, std::uint32_t window);

// Stops this program's connection hearing the property changes of the root
// window of `window`. A shown notification needs nothing they tell (work
// areas, the active window, the window manager's lists), and a desktop
// changes them at every map, raise and focus change: each change would
// otherwise wake every notification on the screen, a burst's included.
void StopHearingRootProperties(std::uint32_t window);

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
