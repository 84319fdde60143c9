#include "platform/qt/UserAttention.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <cstring>

#include "platform/desktop/DesktopSwitches.h"
#include "platform/qt/X11Attention.h"

namespace zb::qt {
namespace {

QRect ToQRect(const PixelRect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

// The monitor that holds most of `where`, else the nearest one; empty when
// Qt knows none.
QRect MonitorOf(const PixelRect& where) {
    const QRect window = ToQRect(where);
    QRect best;
    long long bestArea = -1;
    long long bestDistance = -1;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect monitor = screen->geometry();
        const QRect common = monitor.intersected(window);
        const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
        const QPoint d = monitor.center() - window.center();
        const long long distance = 1LL * d.x() * d.x() + 1LL * d.y() * d.y();
        if (area > bestArea || (area == bestArea && distance < bestDistance)) {
            best = monitor;
            bestArea = area;
            bestDistance = distance;
        }
    }
    return best;
}

// A Wayland session: the X server sees only the input that goes to X
// windows, so its idle time says nothing about the user.
bool WaylandSession() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return type && std::strcmp(type, "wayland") == 0;
}

}  // namespace

UserAttention::UserAttention() = default;

UserAttention::~UserAttention() = default;

desktop::DesktopSwitches& UserAttention::Switches() {
    // Made on first use: a notification that ends at the lock never asks.
    if (!switches_)
        switches_ = std::make_unique<desktop::DesktopSwitches>();
    return *switches_;
}

bool UserAttention::Accepts(const PixelRect& where) {
    if (const std::optional<PixelRect> fullScreen = x11::FullScreenActiveWindow()) {
        const QRect monitor = MonitorOf(where);
        if (monitor.isEmpty() || monitor.intersects(ToQRect(*fullScreen)))
            return false;
    }
    const desktop::DesktopState state = Switches().Ask(kAttentionAskMilliseconds);
    return !state.doNotDisturb && !state.screenLocked;
}

void UserAttention::WaitForChange(int milliseconds) {
    // A change told while the answer was being asked for (the D-Bus calls
    // may deliver signals while they wait) must not be lost.
    const auto changed = [this] {
        changed_ = true;
        if (wait_)
            wait_->quit();
    };
    x11::WatchActiveWindow(changed);
    Switches().Watch(changed);
    if (!changed_) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        wait_ = &loop;
        timer.start(milliseconds);
        loop.exec();
        wait_ = nullptr;
    }
    changed_ = false;
}

void UserAttention::StopWaiting() {
    changed_ = true;
    if (wait_)
        wait_->quit();
}

std::int64_t UserAttention::IdleMilliseconds() {
    const desktop::DesktopState state = Switches().Ask(kAttentionAskMilliseconds);
    if (state.screenLocked)
        return kScreenLocked;
    if (!WaylandSession()) {
        if (const std::optional<std::int64_t> idle = x11::IdleMilliseconds())
            return *idle;
    }
    return state.idleMilliseconds.value_or(0);
}

}  // namespace zb::qt
