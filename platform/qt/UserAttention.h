// The Linux backend's answers about the user's attention: the X server's
// (a full-screen active window, the time since the last input) and the
// desktop's (its Do Not Disturb, a locked screen, the session's idle hint),
// and the wait for a change of them on the toolkit's event loop.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Platform.h"

class QEventLoop;

namespace zb::desktop {
class DesktopSwitches;
}

namespace zb::qt {

class UserAttention {
public:
    UserAttention();
    ~UserAttention();
    UserAttention(const UserAttention&) = delete;
    UserAttention& operator=(const UserAttention&) = delete;

    // Platform::UserAcceptsNotifications.
    bool Accepts(const PixelRect& where);
    // Platform::WaitForAttentionChange.
    void WaitForChange(int milliseconds);
    // Ends a WaitForChange running now (the window is going).
    void StopWaiting();
    // Platform::UserIdleMilliseconds.
    std::int64_t IdleMilliseconds();

private:
    desktop::DesktopSwitches& Switches();

    std::unique_ptr<desktop::DesktopSwitches> switches_;
    QEventLoop* wait_ = nullptr;
    // A change was told since the last wait began.
    bool changed_ = false;
};

}  // namespace zb::qt
