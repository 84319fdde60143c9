// Turns the settings into the visible notification.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "settings/Settings.h"

namespace zb {

// What ShowNotification built: the message text (the message field filled in
// with the date, time and place when the label is shown, the field as it is
// otherwise), the dots per inch the window's sizes were laid out for, and
// where the window went: the configured place (after the on-screen rule) and
// the place the program gave it, which differ when it stands aside for
// others (a replacement takes over the one its predecessor was given).
struct ShownNotification {
    std::string message;
    double dpi = 0;
    PixelPoint configured;
    PixelPoint placed;
};

// How long a notification waits for another one choosing its place before it
// shows its window all the same.
inline constexpr int kPlacementWaitMilliseconds = 2000;

// "width" or "height" when the window's width or height comes to no whole
// pixel at the screen's resolution (0, or a few twips): nobody could see or
// click such a window. Null when it has an area. Negative sizes are refused
// by ShowNotification.
const char* KeyWithoutArea(Platform& platform, const Settings& settings);

// Builds and shows the window from `settings`. The window's position converts
// at the screen's one resolution, so that a stored position reads back the
// same wherever the window stands; its sizes, the label's font and the
// picture box follow the monitor it lands on. With window.stack = 1 it stands
// aside for the other notifications on the screen (StackPlace); with
// window.replace = 1 it takes the place of the shown notifications of its
// `kind` (the same settings file and message), which end. Both are decided,
// and the place claimed, under the placement lock; the window is shown after
// it. Throws Failure, before anything is shown, for an invalid colour or
// property value or a picture that cannot be loaded. The picture is looked
// for in `dataFolders` (DataFilePath).
ShownNotification ShowNotification(Platform& platform,
                                   const Settings& settings,
                                   const std::string& place,
                                   const std::vector<std::string>& dataFolders,
                                   const std::string& kind = {});

// Lays the shown window out again for a monitor with `dpi` dots per inch, its
// outer frame's top-left corner at `topLeft`: its size, the label and the
// picture box, from the settings ShowNotification showed and the message it
// built. Nothing is read or built again.
void LayOutNotification(Platform& platform,
                        const Settings& settings,
                        const std::string& message,
                        double dpi,
                        PixelPoint topLeft);

}  // namespace zb
