// When the user can take a notification: it is held back while the user is
// busy, and its timed close counts only while someone can see it. The
// platform answers two questions (does the user accept notifications now,
// and for how long has the user been idle); what follows from the answers is
// decided here alone.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Platform.h"
#include "settings/Settings.h"

namespace zb {

// How long a held-back notification waits for the system's word of a change
// before it asks again.
inline constexpr int kAttentionPollMilliseconds = 1000;
// How often the timed close asks whether the user is there: every 50 passes
// of 20 milliseconds, about once a second.
inline constexpr int kPresencePasses = 50;

// The outer frame the window would have at its configured place, moved onto
// the screen as ShowNotification moves it: the monitor on which a full-screen
// window holds the notification back.
PixelRect IntendedFrame(Platform& platform, const Settings& settings);

// Returns true once the notification may show and sound: at once when
// window.holdback is not 1 or the user accepts notifications. Otherwise a
// caller that does not wait goes on now (status 0: the notification will
// show), and the run waits, asking again after every change the platform
// reports and at least every kAttentionPollMilliseconds, for as long as it
// takes. False when `open` turned false meanwhile: the notification was
// closed (the session ended) while it was held back.
bool WaitUntilAccepted(Platform& platform,
                       const Settings& settings,
                       const std::function<bool()>& open);

// The timed close's clock: a pass counts only while the user is present,
// that is, has not been idle for window.idleseconds or more and has not
// locked the screen. A hidden window's time, and every time with
// window.idleseconds 0 or less, counts throughout.
class PresenceClock {
public:
    PresenceClock(Platform& platform, const Settings& settings, bool windowShown);
    // Whether the pass just run counts; the platform is asked at the first
    // pass and then every kPresencePasses passes.
    bool PassCounts();

private:
    Platform& platform_;
    // 0: the time counts throughout.
    std::int64_t awayMilliseconds_ = 0;
    int passesToAsk_ = 0;
    bool present_ = true;
};

}  // namespace zb
