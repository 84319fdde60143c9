// The desktop's own switches for notifications and the session's state, as
// its services tell them over D-Bus (QtDBus) and as GSettings keeps them:
// Do Not Disturb (the notification server's Inhibited property, dunst's
// pause, XFCE's xfconf property, GNOME's and Cinnamon's settings), the
// locked screen (logind's LockedHint, the screen saver's GetActive) and
// logind's idle hint. No toolkit window, no X.
//
// Nothing is started to answer: every call goes out without auto-start, so
// a service that is not running is simply absent (and counts as "not
// busy"), and no message bus is started where the session has none.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace zb::desktop {

struct DesktopState {
    // A desktop switch holds notifications back.
    bool doNotDisturb = false;
    bool screenLocked = false;
    // How long the session has been idle, as logind tells it: 0 while it is
    // not idle; nullopt where logind does not answer.
    std::optional<std::int64_t> idleMilliseconds;
};

class DesktopSwitches {
public:
    // Connects to the session and system buses where they are running;
    // needs a QCoreApplication.
    DesktopSwitches();
    ~DesktopSwitches();
    DesktopSwitches(const DesktopSwitches&) = delete;
    DesktopSwitches& operator=(const DesktopSwitches&) = delete;

    // Asks every source side by side; waits at most `milliseconds` for the
    // answers, and a source that has not answered by then counts as absent.
    DesktopState Ask(int milliseconds);

    // From now on calls `changed` (on the toolkit's event loop) whenever a
    // source signals a change: the notification server's or dunst's
    // properties, the screen saver's ActiveChanged, an xfconf property.
    void Watch(std::function<void()> changed);

private:
    struct Buses;
    std::unique_ptr<Buses> buses_;
};

}  // namespace zb::desktop
