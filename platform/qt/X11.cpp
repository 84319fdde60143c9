#include "platform/qt/X11.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <algorithm>
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
    "_NET_WM_DESKTOP", "_NET_WM_STATE_STICKY",       "_NET_CLIENT_LIST",
    "WM_WINDOW_ROLE",  "_NET_WM_STATE_SHADED",       "_NET_SUPPORTING_WM_CHECK",
};

// The role that marks a notification window of this program.
constexpr char kNotificationRole[] = "zettelblick-notification";

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

// The 32-bit values (atoms, windows) of `window`'s `property` of `type`.
std::vector<std::uint32_t> Values32(xcb_connection_t* c,
                                    xcb_window_t window,
                                    xcb_atom_t property,
                                    xcb_atom_t type) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 4096), nullptr),
        &std::free);
    if (!reply || reply->type != type || reply->format != 32)
        return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {data, data + xcb_get_property_value_length(reply.get()) / 4};
}

// Sends a client message about `window` to the root window, as EWMH asks of
// requests to the window manager.
bool SendToWindowManager(xcb_connection_t* c,
                         xcb_window_t window,
                         const char* type,
                         std::uint32_t first,
                         std::uint32_t second,
                         std::uint32_t third,
                         std::uint32_t fourth) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(c, type);
    event.data.data32[0] = first;
    event.data.data32[1] = second;
    event.data.data32[2] = third;
    event.data.data32[3] = fourth;
    xcb_void_cookie_t cookie = xcb_send_event_checked(
        c, 0, RootOf(c, window),
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    bool sent = error == nullptr;
    std::free(error);
    return sent;
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

// Whether a window manager runs on the screen of `root` now: the window its
// _NET_SUPPORTING_WM_CHECK names exists and names itself. A window manager
// that went away leaves its properties on the root window (the list of the
// windows it managed among them); they then tell nothing. Asked once per
// run: the answer does not change while a notification shows.
bool WindowManagerRunning(xcb_connection_t* c, xcb_window_t root) {
    static std::optional<bool> running;
    if (!running) {
        const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
        const std::vector<std::uint32_t> named = Values32(c, root, check, XCB_ATOM_WINDOW);
        running = !named.empty() && Values32(c, named.front(), check, XCB_ATOM_WINDOW) ==
                                        std::vector<std::uint32_t>{named.front()};
    }
    return *running;
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
    if (!WindowManagerRunning(c, root) ||
        !WindowManagerSupports(c, root, "_NET_REQUEST_FRAME_EXTENTS"))
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
    std::vector<xcb_atom_t> atoms = Values32(c, window, property, XCB_ATOM_ATOM);
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

void StickToAllDesktopsAfterMapping(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
    SendToWindowManager(c, window, "_NET_WM_DESKTOP", kAllDesktops, kSourceApplication, 0, 0);
}

void MarkAsNotification(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "WM_WINDOW_ROLE"),
                        XCB_ATOM_STRING, 8, sizeof kNotificationRole - 1, kNotificationRole);
    xcb_flush(c);
}

std::vector<PixelRect> NotificationFrames(std::uint32_t own) {
    xcb_connection_t* c = Connection();
    if (!c)
        return {};
    const xcb_window_t root = RootOf(c, own);
    std::vector<std::uint32_t> windows;
    if (WindowManagerRunning(c, root))
        windows = Values32(c, root, Atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
    if (windows.empty()) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    // Every question goes out before the first answer is read: a few round
    // trips for any number of windows.
    const xcb_atom_t role = Atom(c, "WM_WINDOW_ROLE");
    std::vector<xcb_get_property_cookie_t> roles;
    for (xcb_window_t window : windows)
        roles.push_back(xcb_get_property(c, 0, window, role, XCB_ATOM_STRING, 0, 16));
    struct Asked {
        xcb_window_t window;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t extents;
    };
    std::vector<Asked> asked;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, roles[i], nullptr),
                                              &std::free);
        if (!reply || windows[i] == own || reply->format != 8 ||
            std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                        xcb_get_property_value_length(reply.get())) != kNotificationRole)
            continue;
        const xcb_window_t w = windows[i];
        asked.push_back(
            {w, xcb_get_window_attributes(c, w), xcb_get_geometry(c, w),
             xcb_translate_coordinates(c, w, root, 0, 0),
             xcb_get_property(c, 0, w, Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4)});
    }
    std::vector<PixelRect> frames;
    for (const Asked& a : asked) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, a.attributes, nullptr), &std::free);
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, a.geometry, nullptr),
                                                 &std::free);
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, a.origin, nullptr), &std::free);
        Reply<xcb_get_property_reply_t> extents(xcb_get_property_reply(c, a.extents, nullptr),
                                                &std::free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !geometry || !origin)
            continue;
        FrameExtents frame;
        if (extents && extents->type == XCB_ATOM_CARDINAL && extents->format == 32 &&
            xcb_get_property_value_length(extents.get()) == 16) {
            const auto* v =
                static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));
            frame = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                     static_cast<int>(v[3])};
        }
        frames.push_back({origin->dst_x - frame.left, origin->dst_y - frame.top,
                          geometry->width + frame.left + frame.right,
                          geometry->height + frame.top + frame.bottom});
    }
    return frames;
}

bool ListedByWindowManager(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return true;
    const xcb_window_t root = RootOf(c, window);
    if (!WindowManagerRunning(c, root))
        return true;
    const xcb_atom_t list = Atom(c, "_NET_CLIENT_LIST");
    Reply<xcb_get_property_reply_t> present(
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, list, XCB_ATOM_ANY, 0, 0), nullptr),
        &std::free);
    if (!present || present->type == XCB_ATOM_NONE)
        return true;
    const std::vector<std::uint32_t> windows = Values32(c, root, list, XCB_ATOM_WINDOW);
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

namespace {

// Watches the windows' _NET_WM_STATE for a shade and asks the window manager
// to take it back.
class ShadeUndo : public QAbstractNativeEventFilter {
public:
    std::vector<xcb_window_t> windows;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
        xcb_connection_t* c = Connection();
        if (!c || change->atom != Atom(c, "_NET_WM_STATE") ||
            std::find(windows.begin(), windows.end(), change->window) == windows.end())
            return false;
        const xcb_atom_t shaded = Atom(c, "_NET_WM_STATE_SHADED");
        const std::vector<std::uint32_t> states =
            Values32(c, change->window, change->atom, XCB_ATOM_ATOM);
        if (std::find(states.begin(), states.end(), shaded) != states.end())
            ChangeMappedState(change->window, false, "_NET_WM_STATE_SHADED");
        return false;
    }
};

}  // namespace

void KeepUnshaded(std::uint32_t window) {
    static ShadeUndo* undo = nullptr;
    if (!undo && qApp) {
        undo = new ShadeUndo;
        qApp->installNativeEventFilter(undo);
    }
    if (undo &&
        std::find(undo->windows.begin(), undo->windows.end(), window) == undo->windows.end())
        undo->windows.push_back(window);
}

bool ChangeMappedState(std::uint32_t window, bool add, const char* state) {
    xcb_connection_t* c = Connection();
    if (!c)
        return false;
    return SendToWindowManager(c, window, "_NET_WM_STATE", add ? kStateAdd : kStateRemove,
                               Atom(c, state), 0, kSourceApplication);
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
