#include "app/Attention.h"

#include <algorithm>

#include "window/Design.h"
#include "window/Placement.h"

namespace zb {

PixelRect IntendedFrame(Platform& platform, const Settings& s) {
    PixelRect outer = TwipsToPixels(s.windowLeft, s.windowTop, s.windowWidth, s.windowHeight,
                                    platform.ScreenDpiX(), platform.ScreenDpiY());
    // Only the monitor matters here: a size the window refuses later is one
    // pixel for now.
    outer.width = std::max(outer.width, 1);
    outer.height = std::max(outer.height, 1);
    return PlaceOnWorkArea(outer, platform.MonitorWorkAreas());
}

bool WaitUntilAccepted(Platform& platform,
                       const Settings& settings,
                       const std::function<bool()>& open) {
    if (settings.windowHoldBack != 1)
        return true;
    const PixelRect where = IntendedFrame(platform, settings);
    if (platform.UserAcceptsNotifications(where))
        return true;
    platform.ReleaseCaller(0);
    do {
        platform.WaitForAttentionChange(kAttentionPollMilliseconds);
        if (!open())
            return false;
    } while (!platform.UserAcceptsNotifications(where));
    return true;
}

PresenceClock::PresenceClock(Platform& platform, const Settings& settings, bool windowShown)
    : platform_(platform) {
    if (windowShown && settings.windowIdleSeconds > 0)
        awayMilliseconds_ = std::int64_t{settings.windowIdleSeconds} * 1000;
}

bool PresenceClock::PassCounts() {
    if (awayMilliseconds_ == 0)
        return true;
    if (passesToAsk_-- == 0) {
        present_ = platform_.UserIdleMilliseconds() < awayMilliseconds_;
        passesToAsk_ = kPresencePasses - 1;
    }
    return present_;
}

}  // namespace zb
