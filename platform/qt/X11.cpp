#include "platform/qt/X11.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace zb::qt::x11 {
namespace {

// EWMH _NET_WM_STATE actions.
constexpr std::uint32_t kStateRemove = 0;
constexpr std::uint32_t kStateAdd = 1;
// Source indication: a normal application.
constexpr std::uint32_t kSourceApplication = 1;

// How long the window manager gets to answer a frame-extents request, and
// how often the answer is looked for meanwhile.
constexpr auto kExtentsWait = std::chrono::milliseconds(1000);
constexpr auto kExtentsPoll = std::chrono::milliseconds(1);

xcb_connection_t* Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The atoms the requests here name, interned together with the first one
// asked for: one round trip to the X server instead of one per name.
constexpr const char* kKnownAtoms[] = {
    "_NET_SUPPORTED",  "_NET_REQUEST_FRAME_EXTENTS", "_NET_FRAME_EXTENTS",
    "_NET_WM_STATE",   "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_ABOVE",
    "_NET_WM_DESKTOP", "_NET_WM_STATE_STICKY",
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    static std::map<std::string, xcb_atom_t> cache;
    if (cache.empty()) {
        std::vector<xcb_intern_atom_cookie_t> cookies;
        for (const char* known : kKnownAtoms)
            cookies.push_back(xcb_intern_atom(c, 0, std::strlen(known), known));
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookies[i], nullptr),
                                                 &std::free);
            if (reply)
                cache[kKnownAtoms[i]] = reply->atom;
        }
    }
    auto found = cache.find(name);
    if (found != cache.end())
        return found->second;
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    cache[name] = atom;
    return atom;
}

xcb_window_t RootOf(xcb_connection_t* c, xcb_window_t window) {
    Reply<xcb_get_geometry_reply_t> reply(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &std::free);
    if (reply)
        return reply->root;
    const xcb_setup_t* setup = xcb_get_setup(c);
    return xcb_setup_roots_iterator(setup).data->root;
}

// Whether the running window manager lists `name` in _NET_SUPPORTED.
bool WindowManagerSupports(xcb_connection_t* c, xcb_window_t root, const char* name) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, Atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096),
            nullptr),
        &std::free);
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    const xcb_atom_t wanted = Atom(c, name);
    for (int i = 0; i < count; ++i) {
        if (atoms[i] == wanted)
            return true;
    }
    return false;
}

}  // namespace

bool DisplayAvailable() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    bool ok = c && xcb_connection_has_error(c) == 0;
    if (c)
        xcb_disconnect(c);
    return ok;
}

std::optional<FrameExtents> ReadFrameExtents(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return std::nullopt;
    xcb_atom_t extents = Atom(c, "_NET_FRAME_EXTENTS");
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4),
                               nullptr),
        &std::free);
    if (!reply || reply->type != XCB_ATOM_CARDINAL || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 16)
        return std::nullopt;
    const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    // The property's order is left, right, top, bottom.
    return FrameExtents{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                        static_cast<int>(v[3])};
}

bool RequestFrameExtents(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    const xcb_window_t root = RootOf(c, window);
    // Without a window manager that answers, there is nothing to wait for.
    if (!WindowManagerSupports(c, root, "_NET_REQUEST_FRAME_EXTENTS"))
        return false;
    // A stale answer (for another frame style) must not be taken for the new one.
    xcb_delete_property(c, window, Atom(c, "_NET_FRAME_EXTENTS"));

    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    return true;
}

std::optional<FrameExtents> AwaitFrameExtents(std::uint32_t window) {
    // The window manager answers by setting the property; each read below is
    // a round trip, so the answer is seen as soon as it is there.
    auto deadline = std::chrono::steady_clock::now() + kExtentsWait;
    for (;;) {
        if (auto extents = ReadFrameExtents(window))
            return extents;
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(kExtentsPoll);
    }
}

void AddStateBeforeMapping(std::uint32_t window, const char* state) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    xcb_atom_t property = Atom(c, "_NET_WM_STATE");
    xcb_atom_t wanted = Atom(c, state);
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_ATOM, 0, 1024),
                               nullptr),
        &std::free);
    std::vector<xcb_atom_t> atoms;
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    for (xcb_atom_t atom : atoms) {
        if (atom == wanted)
            return;
    }
    atoms.push_back(wanted);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
    xcb_flush(c);
}

void StickToAllDesktopsBeforeMapping(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &kAllDesktops);
    AddStateBeforeMapping(window, "_NET_WM_STATE_STICKY");
}

bool ChangeMappedState(std::uint32_t window, bool add, const char* state) {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(c, "_NET_WM_STATE");
    event.data.data32[0] = add ? kStateAdd : kStateRemove;
    event.data.data32[1] = Atom(c, state);
    event.data.data32[2] = 0;
    event.data.data32[3] = kSourceApplication;
    xcb_void_cookie_t cookie = xcb_send_event_checked(
        c, 0, RootOf(c, window),
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    bool sent = error == nullptr;
    std::free(error);
    return sent;
}

std::optional<std::pair<int, int>> RootPosition(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return std::nullopt;
    Reply<xcb_translate_coordinates_reply_t> reply(
        xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, window, RootOf(c, window), 0, 0), nullptr),
        &std::free);
    if (!reply)
        return std::nullopt;
    return std::make_pair(int{reply->dst_x}, int{reply->dst_y});
}

bool ConnectionBroken() {
    xcb_connection_t* c = Connection();
    return c && xcb_connection_has_error(c) != 0;
}

bool IsMapped(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr),
        &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool IsDestroyNotify(const void* event, std::uint32_t window) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    if ((generic->response_type & 0x7f) != XCB_DESTROY_NOTIFY)
        return false;
    return static_cast<const xcb_destroy_notify_event_t*>(event)->window == window;
}

}  // namespace zb::qt::x11
