#include "platform/desktop/DesktopSwitches.h"

#include <time.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QObject>
#include <QVariant>

#include <vector>

#include "platform/desktop/GSettingsKey.h"

namespace zb::desktop {
namespace {

constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr char kNotifications[] = "org.freedesktop.Notifications";
constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
constexpr char kScreenSaver[] = "org.freedesktop.ScreenSaver";
constexpr char kScreenSaverPath[] = "/org/freedesktop/ScreenSaver";
constexpr char kXfconf[] = "org.xfce.Xfconf";
constexpr char kXfconfPath[] = "/org/xfce/Xfconf";
// The session of this process, or else the user's graphical one.
constexpr char kLogindSessionPath[] = "/org/freedesktop/login1/session/auto";

// What an answer tells.
enum class Source { DoNotDisturb, ScreenSaver, Logind };

struct Pending {
    Source source;
    QDBusPendingCall call;
};

// A call that never starts its service: one that is not running answers
// "unknown service" at once.
QDBusMessage Call(const char* service,
                  const char* path,
                  const char* interface,
                  const char* method,
                  const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return message;
}

// The reply's first value, out of its variant where it is one.
QVariant FirstValue(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    QVariant value = reply.arguments().first();
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

bool IsTrue(const QVariant& value) {
    return value.typeId() == QMetaType::Bool && value.toBool();
}

std::int64_t MonotonicMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

// Receives the sources' change signals (QtDBus delivers them to a slot).
class ChangeSignals : public QObject {
    Q_OBJECT
public:
    std::function<void()> changed;

public slots:
    void OnSignal() {
        if (changed)
            changed();
    }
};

struct DesktopSwitches::Buses {
    QDBusConnection session = QDBusConnection::sessionBus();
    QDBusConnection system = QDBusConnection::systemBus();
    GSettingsKey gnome{"org.gnome.desktop.notifications", "show-banners"};
    GSettingsKey cinnamon{"org.cinnamon.desktop.notifications", "display-notifications"};
    ChangeSignals receiver;
    bool watching = false;
};

DesktopSwitches::DesktopSwitches() : buses_(std::make_unique<Buses>()) {}

DesktopSwitches::~DesktopSwitches() = default;

DesktopState DesktopSwitches::Ask(int milliseconds) {
    DesktopState state;
    std::vector<Pending> pending;
    const auto ask = [&](QDBusConnection& bus, Source source, const QDBusMessage& message) {
        pending.push_back({source, bus.asyncCall(message, milliseconds)});
    };
    // All questions go out before the first answer is waited for.
    const bool desktop = buses_->session.isConnected();
    if (desktop) {
        QDBusConnection& bus = buses_->session;
        ask(bus, Source::DoNotDisturb,
            Call(kNotifications, kNotificationsPath, kProperties, "Get",
                 {QString(kNotifications), QStringLiteral("Inhibited")}));
        ask(bus, Source::DoNotDisturb,
            Call(kNotifications, kNotificationsPath, kProperties, "Get",
                 {QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("paused")}));
        ask(bus, Source::DoNotDisturb,
            Call(kXfconf, kXfconfPath, kXfconf, "GetProperty",
                 {QStringLiteral("xfce4-notifyd"), QStringLiteral("/do-not-disturb")}));
        ask(bus, Source::ScreenSaver,
            Call(kScreenSaver, kScreenSaverPath, kScreenSaver, "GetActive", {}));
    }
    if (buses_->system.isConnected()) {
        ask(buses_->system, Source::Logind,
            Call("org.freedesktop.login1", kLogindSessionPath, kProperties, "GetAll",
                 {QStringLiteral("org.freedesktop.login1.Session")}));
    }
    // Read from their database meanwhile; only a desktop has these settings.
    if (desktop) {
        for (GSettingsKey* shown : {&buses_->gnome, &buses_->cinnamon}) {
            if (shown->Read() == false)
                state.doNotDisturb = true;
        }
    }

    for (Pending& question : pending) {
        question.call.waitForFinished();
        if (question.call.isError())
            continue;
        const QDBusMessage reply = question.call.reply();
        switch (question.source) {
            case Source::DoNotDisturb:
                state.doNotDisturb = state.doNotDisturb || IsTrue(FirstValue(reply));
                break;
            case Source::ScreenSaver:
                state.screenLocked = state.screenLocked || IsTrue(FirstValue(reply));
                break;
            case Source::Logind: {
                const QVariant all = FirstValue(reply);
                if (!all.canConvert<QDBusArgument>())
                    break;
                const QVariantMap session = qdbus_cast<QVariantMap>(all.value<QDBusArgument>());
                state.screenLocked = state.screenLocked || IsTrue(session.value("LockedHint"));
                const QVariant idle = session.value("IdleHint");
                if (idle.typeId() != QMetaType::Bool)
                    break;
                state.idleMilliseconds = 0;
                const qulonglong since = session.value("IdleSinceHintMonotonic").toULongLong();
                const std::int64_t now = MonotonicMicroseconds();
                if (idle.toBool() && since > 0 && static_cast<std::int64_t>(since) < now)
                    state.idleMilliseconds = (now - static_cast<std::int64_t>(since)) / 1000;
                break;
            }
        }
    }
    return state;
}

void DesktopSwitches::Watch(std::function<void()> changed) {
    buses_->receiver.changed = std::move(changed);
    if (buses_->watching || !buses_->session.isConnected())
        return;
    buses_->watching = true;
    struct Signal {
        const char* path;
        const char* interface;
        const char* name;
    };
    // From whichever program serves them.
    for (const Signal& s : {Signal{kNotificationsPath, kProperties, "PropertiesChanged"},
                            Signal{kScreenSaverPath, kScreenSaver, "ActiveChanged"},
                            Signal{kXfconfPath, kXfconf, "PropertyChanged"}}) {
        buses_->session.connect(QString(), s.path, s.interface, s.name, &buses_->receiver,
                                SLOT(OnSignal()));
    }
}

}  // namespace zb::desktop

#include "DesktopSwitches.moc"
