#include "platform/qt/X11.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
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

// The role that marks a notification window of this program.
constexpr char kNotificationRole[] = "zettelblick-notification";
// On the root window: the notification windows that claimed a place (some
// may be gone). On each: its claim (left, top, width, height, header height,
// and the place the program gave it), and its kind. The message asking one
// to end as replaced.
constexpr char kNotificationList[] = "_ZETTELBLICK_NOTIFICATIONS";
constexpr char kPlaceProperty[] = "_ZETTELBLICK_PLACE";
constexpr char kKindProperty[] = "_ZETTELBLICK_KIND";
constexpr char kReplaceMessage[] = "_ZETTELBLICK_REPLACE";
// The longest list read back, in windows.
constexpr std::uint32_t kMaxListed = 1 << 16;

// The atoms the requests here name, interned together with the first one
// asked for: one round trip to the X server instead of one per name.
constexpr const char* kKnownAtoms[] = {
    "_NET_SUPPORTED",
    "_NET_REQUEST_FRAME_EXTENTS",
    "_NET_FRAME_EXTENTS",
    "_NET_WM_STATE",
    "_NET_WM_STATE_SKIP_TASKBAR",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_DESKTOP",
    "_NET_WM_STATE_STICKY",
    "_NET_CLIENT_LIST",
    "_NET_SUPPORTING_WM_CHECK",
    "WM_WINDOW_ROLE",
    "_NET_WM_STATE_SHADED",
    kNotificationList,
    kPlaceProperty,
    kKindProperty,
    kReplaceMessage,
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

// A _NET_FRAME_EXTENTS value (left, right, top, bottom), when it has its
// four numbers.
std::optional<FrameExtents> ExtentsFrom(const std::vector<std::uint32_t>& values) {
    if (values.size() != 4)
        return std::nullopt;
    return FrameExtents{static_cast<int>(values[0]), static_cast<int>(values[1]),
                        static_cast<int>(values[2]), static_cast<int>(values[3])};
}

// The outer frame of a window of `geometry` whose inside stands at `origin`
// of the root window, with the window manager's `frame` around it.
PixelRect OuterRect(const xcb_get_geometry_reply_t& geometry,
                    const xcb_translate_coordinates_reply_t& origin,
                    const FrameExtents& frame) {
    return PixelRect{origin.dst_x - frame.left, origin.dst_y - frame.top,
                     geometry.width + frame.left + frame.right,
                     geometry.height + frame.top + frame.bottom};
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
    return ExtentsFrom(Values32(c, window, Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL));
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

namespace {

using Cookie = xcb_get_property_cookie_t;

// The reply to a property request as bytes, when it has `format` (8 or 32).
std::string PropertyBytes(xcb_connection_t* c, Cookie cookie, int format) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr), &std::free);
    if (!reply || reply->format != format)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

std::vector<std::uint32_t> Words(const std::string& bytes) {
    std::vector<std::uint32_t> words(bytes.size() / 4);
    if (!words.empty())  // an empty vector's data() may be null
        std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

bool IsNotificationRole(const std::string& role) {
    return role == kNotificationRole;
}

// The windows the window manager manages, when it keeps that list: nothing
// without one, or where the list was left behind by a window manager that
// has gone.
std::optional<std::vector<std::uint32_t>> ManagedWindows(xcb_connection_t* c, xcb_window_t root) {
    if (!WindowManagerRunning(c, root))
        return std::nullopt;
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c,
                               xcb_get_property(c, 0, root, Atom(c, "_NET_CLIENT_LIST"),
                                                XCB_ATOM_WINDOW, 0, kMaxListed),
                               nullptr),
        &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE)
        return std::nullopt;
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(data, data + xcb_get_property_value_length(reply.get()) / 4);
}

}  // namespace

void ClaimPlace(std::uint32_t window,
                const NotificationPlace& place,
                PixelPoint placed,
                const std::string& kind) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    const xcb_window_t root = RootOf(c, window);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, "WM_WINDOW_ROLE"),
                        XCB_ATOM_STRING, 8, sizeof kNotificationRole - 1, kNotificationRole);
    SetClaim(window, place, placed);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, kKindProperty), XCB_ATOM_STRING,
                        8, static_cast<std::uint32_t>(kind.size()), kind.data());

    // The list is taken off the root and put back in two steps that each
    // stand alone on the server: whatever another notification appends
    // meanwhile stays. Windows that are gone, or whose number another
    // program's window now has, are left out.
    const std::vector<std::uint32_t> listed = Words(PropertyBytes(
        c, xcb_get_property(c, 1, root, Atom(c, kNotificationList), XCB_ATOM_WINDOW, 0, kMaxListed),
        32));
    std::vector<Cookie> roles;
    for (std::uint32_t w : listed)
        roles.push_back(
            xcb_get_property(c, 0, w, Atom(c, "WM_WINDOW_ROLE"), XCB_ATOM_STRING, 0, 16));
    std::vector<std::uint32_t> kept;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (IsNotificationRole(PropertyBytes(c, roles[i], 8)) && listed[i] != window)
            kept.push_back(listed[i]);
    }
    kept.push_back(window);
    // Waited for: the server has listed the window before the placement lock
    // goes, so that the next holder's first question already finds it.
    std::free(xcb_request_check(
        c, xcb_change_property_checked(c, XCB_PROP_MODE_APPEND, root, Atom(c, kNotificationList),
                                       XCB_ATOM_WINDOW, 32, static_cast<std::uint32_t>(kept.size()),
                                       kept.data())));
}

void SetClaim(std::uint32_t window, const NotificationPlace& place, PixelPoint placed) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    const std::uint32_t claim[] = {static_cast<std::uint32_t>(place.frame.left),
                                   static_cast<std::uint32_t>(place.frame.top),
                                   static_cast<std::uint32_t>(place.frame.width),
                                   static_cast<std::uint32_t>(place.frame.height),
                                   static_cast<std::uint32_t>(place.header),
                                   static_cast<std::uint32_t>(placed.x),
                                   static_cast<std::uint32_t>(placed.y)};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, Atom(c, kPlaceProperty),
                        XCB_ATOM_CARDINAL, 32, std::size(claim), claim);
    xcb_flush(c);
}

void DropClaim(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    xcb_delete_property(c, window, Atom(c, kPlaceProperty));
    xcb_flush(c);
}

std::vector<OtherNotification> OtherNotifications(std::uint32_t own) {
    xcb_connection_t* c = Connection();
    if (!c)
        return {};
    const xcb_window_t root = RootOf(c, own);
    const std::vector<std::uint32_t> listed = Words(PropertyBytes(
        c, xcb_get_property(c, 0, root, Atom(c, kNotificationList), XCB_ATOM_WINDOW, 0, kMaxListed),
        32));
    // Every question goes out before the first answer is read: a few round
    // trips for any number of windows.
    struct Asked {
        xcb_window_t window;
        Cookie role;
        Cookie claim;
        Cookie kind;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        Cookie extents;
    };
    std::vector<Asked> asked;
    for (std::uint32_t w : listed) {
        if (w == own)
            continue;
        asked.push_back(
            {w, xcb_get_property(c, 0, w, Atom(c, "WM_WINDOW_ROLE"), XCB_ATOM_STRING, 0, 16),
             xcb_get_property(c, 0, w, Atom(c, kPlaceProperty), XCB_ATOM_CARDINAL, 0, 7),
             xcb_get_property(c, 0, w, Atom(c, kKindProperty), XCB_ATOM_STRING, 0, 1024),
             xcb_get_window_attributes(c, w), xcb_get_geometry(c, w),
             xcb_translate_coordinates(c, w, root, 0, 0),
             xcb_get_property(c, 0, w, Atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4)});
    }
    // A window the window manager maps stands where it claimed only once the
    // manager has taken it in; until then its claim counts.
    const auto managed = asked.empty() ? std::nullopt : ManagedWindows(c, root);
    std::vector<OtherNotification> found;
    for (const Asked& a : asked) {
        const bool ours = IsNotificationRole(PropertyBytes(c, a.role, 8));
        const std::vector<std::uint32_t> claim = Words(PropertyBytes(c, a.claim, 32));
        std::string kind = PropertyBytes(c, a.kind, 8);
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, a.attributes, nullptr), &std::free);
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, a.geometry, nullptr),
                                                 &std::free);
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(c, a.origin, nullptr), &std::free);
        const std::vector<std::uint32_t> extents = Words(PropertyBytes(c, a.extents, 32));
        if (!ours || claim.size() != 7 || !attributes)
            continue;
        const auto value = [&](std::size_t i) { return static_cast<int>(claim[i]); };
        OtherNotification other{a.window,
                                {{value(0), value(1), value(2), value(3)}, value(4)},
                                {value(5), value(6)},
                                std::move(kind)};
        const bool settled =
            attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            (!managed || std::find(managed->begin(), managed->end(), a.window) != managed->end());
        if (settled && geometry && origin)
            other.place.frame =
                OuterRect(*geometry, *origin, ExtentsFrom(extents).value_or(FrameExtents{}));
        found.push_back(std::move(other));
    }
    return found;
}

bool WindowManagerRunning() {
    xcb_connection_t* c = Connection();
    return c && WindowManagerRunning(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root);
}

bool ListedByWindowManager(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return true;
    const auto managed = ManagedWindows(c, RootOf(c, window));
    return !managed || std::find(managed->begin(), managed->end(), window) != managed->end();
}

std::optional<PixelRect> OuterFrame(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return std::nullopt;
    const auto geometry_cookie = xcb_get_geometry(c, window);
    const auto origin_cookie = xcb_translate_coordinates(c, window, RootOf(c, window), 0, 0);
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometry_cookie, nullptr),
                                             &std::free);
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, origin_cookie, nullptr), &std::free);
    if (!geometry || !origin)
        return std::nullopt;
    return OuterRect(*geometry, *origin, ReadFrameExtents(window).value_or(FrameExtents{}));
}

void AskToEndAsReplaced(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = Atom(c, kReplaceMessage);
    // No event mask: the event goes to the client that made the window.
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

bool IsReplaceRequest(const void* event, std::uint32_t window) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    if ((generic->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* message = static_cast<const xcb_client_message_event_t*>(event);
    xcb_connection_t* c = Connection();
    return c && message->window == window && message->type == Atom(c, kReplaceMessage);
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

void StopHearingRootProperties(std::uint32_t window) {
    xcb_connection_t* c = Connection();
    if (!c)
        return;
    const xcb_window_t root = RootOf(c, window);
    Reply<xcb_get_window_attributes_reply_t> now(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr),
        &std::free);
    if (!now || !(now->your_event_mask & XCB_EVENT_MASK_PROPERTY_CHANGE))
        return;
    const std::uint32_t mask =
        now->your_event_mask & ~std::uint32_t{XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
}

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
