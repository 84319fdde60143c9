#include "platform/qt/X11Attention.h"

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace zb::qt::x11 {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The atoms asked for here, interned in one round trip on first use.
struct Atoms {
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t state = XCB_ATOM_NONE;
    xcb_atom_t fullScreen = XCB_ATOM_NONE;
};

const Atoms& TheAtoms(xcb_connection_t* c) {
    static Atoms atoms;
    static bool interned = false;
    if (!interned) {
        interned = true;
        const char* names[] = {"_NET_ACTIVE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"};
        xcb_atom_t* fields[] = {&atoms.activeWindow, &atoms.state, &atoms.fullScreen};
        xcb_intern_atom_cookie_t cookies[3];
        for (int i = 0; i < 3; ++i)
            cookies[i] = xcb_intern_atom(c, 0, std::strlen(names[i]), names[i]);
        for (int i = 0; i < 3; ++i) {
            Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr),
                                                 &std::free);
            if (reply)
                *fields[i] = reply->atom;
        }
    }
    return atoms;
}

// Adds `mask` to the events this client hears from `window` (another
// client's window, or the root, where Qt has chosen events of its own).
void HearEvents(xcb_connection_t* c, xcb_window_t window, std::uint32_t mask) {
    Reply<xcb_get_window_attributes_reply_t> now(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr),
        &std::free);
    if (!now || (now->your_event_mask & mask) == mask)
        return;
    const std::uint32_t value = now->your_event_mask | mask;
    // A window gone meanwhile is no failure: its error is dropped.
    xcb_discard_reply(
        c, xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &value).sequence);
    xcb_flush(c);
}

// Wakes the waiting notification on the events that may change the answer.
class ActiveWindowWatch : public QAbstractNativeEventFilter {
public:
    std::function<void()> changed;
    xcb_window_t root = XCB_WINDOW_NONE;
    xcb_window_t active = XCB_WINDOW_NONE;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || !changed)
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        xcb_connection_t* c = Connection();
        if (!c)
            return false;
        const Atoms& atoms = TheAtoms(c);
        switch (event->response_type & 0x7F) {
            case XCB_PROPERTY_NOTIFY: {
                const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
                if ((change->window == root && change->atom == atoms.activeWindow) ||
                    (change->window == active && change->atom == atoms.state))
                    changed();
                break;
            }
            case XCB_CONFIGURE_NOTIFY:
                if (static_cast<const xcb_configure_notify_event_t*>(message)->window == active)
                    changed();
                break;
            default:
                break;
        }
        return false;
    }
};

ActiveWindowWatch* gWatch = nullptr;

}  // namespace

std::optional<PixelRect> FullScreenActiveWindow() {
    xcb_connection_t* c = Connection();
    if (!c)
        return std::nullopt;
    const Atoms& atoms = TheAtoms(c);
    const xcb_window_t root = Root(c);
    Reply<xcb_get_property_reply_t> activeReply(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, atoms.activeWindow, XCB_ATOM_WINDOW, 0, 1), nullptr),
        &std::free);
    if (!activeReply || activeReply->type != XCB_ATOM_WINDOW || activeReply->format != 32 ||
        xcb_get_property_value_length(activeReply.get()) != 4)
        return std::nullopt;
    const xcb_window_t active =
        *static_cast<const xcb_window_t*>(xcb_get_property_value(activeReply.get()));
    if (active == XCB_WINDOW_NONE)
        return std::nullopt;
    if (gWatch && gWatch->active != active) {
        gWatch->active = active;
        HearEvents(c, active, XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    }
    // The three questions about the window go out together.
    const xcb_get_property_cookie_t stateCookie =
        xcb_get_property(c, 0, active, atoms.state, XCB_ATOM_ATOM, 0, 64);
    const xcb_get_geometry_cookie_t geometryCookie = xcb_get_geometry(c, active);
    const xcb_translate_coordinates_cookie_t originCookie =
        xcb_translate_coordinates(c, active, root, 0, 0);
    Reply<xcb_get_property_reply_t> state(xcb_get_property_reply(c, stateCookie, nullptr),
                                          &std::free);
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr),
                                             &std::free);
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, originCookie, nullptr), &std::free);
    if (!state || state->type != XCB_ATOM_ATOM || state->format != 32 || !geometry || !origin)
        return std::nullopt;
    const auto* states = static_cast<const xcb_atom_t*>(xcb_get_property_value(state.get()));
    const int count = xcb_get_property_value_length(state.get()) / 4;
    if (std::find(states, states + count, atoms.fullScreen) == states + count)
        return std::nullopt;
    return PixelRect{origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

std::optional<std::int64_t> IdleMilliseconds() {
    xcb_connection_t* c = Connection();
    if (!c)
        return std::nullopt;
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (!extension || !extension->present)
        return std::nullopt;
    Reply<xcb_screensaver_query_info_reply_t> info(
        xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, Root(c)), nullptr),
        &std::free);
    if (!info)
        return std::nullopt;
    return std::int64_t{info->ms_since_user_input};
}

void WatchActiveWindow(std::function<void()> changed) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    if (!gWatch) {
        gWatch = new ActiveWindowWatch;
        gWatch->root = Root(c);
        qApp->installNativeEventFilter(gWatch);
        HearEvents(c, gWatch->root, XCB_EVENT_MASK_PROPERTY_CHANGE);
    }
    gWatch->changed = std::move(changed);
}

}  // namespace zb::qt::x11
