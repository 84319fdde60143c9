#include "platform/desktop/GSettingsKey.h"

#include <dlfcn.h>
#include <gio/gio.h>

#include <cstdio>
#include <cstdlib>

namespace zb::desktop {
namespace {

// The GIO functions used here, looked up once in the library loaded at run
// time (GObject's and GLib's through it).
struct Gio {
    decltype(&g_settings_schema_source_get_default) sourceGetDefault = nullptr;
    decltype(&g_settings_schema_source_lookup) sourceLookup = nullptr;
    decltype(&g_settings_schema_has_key) hasKey = nullptr;
    decltype(&g_settings_schema_unref) schemaUnref = nullptr;
    decltype(&g_settings_new_full) settingsNew = nullptr;
    decltype(&g_settings_get_boolean) getBoolean = nullptr;
    decltype(&g_object_unref) objectUnref = nullptr;
    decltype(&g_log_set_handler) logSetHandler = nullptr;
    decltype(&g_main_context_iteration) iterate = nullptr;
};

template <typename F>
bool Find(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(library, name));
    return function != nullptr;
}

// GIO's and the settings backend's own messages (a backend that keeps its
// values in memory only, a database it cannot watch) are not the program's:
// dropped, or with ZB_DEBUG set shown on standard error.
void OnLibraryMessage(const gchar* domain, GLogLevelFlags, const gchar* message, gpointer) {
    if (std::getenv("ZB_DEBUG"))
        std::fprintf(stderr, "%s: %s\n", domain ? domain : "GLib", message ? message : "");
}

const Gio* TheGio() {
    static Gio gio;
    static bool loaded = false;
    static bool tried = false;
    if (!tried) {
        tried = true;
        void* library = ::dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        loaded = library &&
                 Find(library, "g_settings_schema_source_get_default", gio.sourceGetDefault) &&
                 Find(library, "g_settings_schema_source_lookup", gio.sourceLookup) &&
                 Find(library, "g_settings_schema_has_key", gio.hasKey) &&
                 Find(library, "g_settings_schema_unref", gio.schemaUnref) &&
                 Find(library, "g_settings_new_full", gio.settingsNew) &&
                 Find(library, "g_settings_get_boolean", gio.getBoolean) &&
                 Find(library, "g_object_unref", gio.objectUnref) &&
                 Find(library, "g_log_set_handler", gio.logSetHandler) &&
                 Find(library, "g_main_context_iteration", gio.iterate);
        if (loaded) {
            const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR);
            for (const char* domain : {"GLib-GIO", "dconf"})
                gio.logSetHandler(domain, levels, OnLibraryMessage, nullptr);
        }
    }
    return loaded ? &gio : nullptr;
}

}  // namespace

GSettingsKey::GSettingsKey(std::string schema, std::string key)
    : schema_(std::move(schema)), key_(std::move(key)) {}

GSettingsKey::~GSettingsKey() {
    if (settings_)
        TheGio()->objectUnref(settings_);
}

std::optional<bool> GSettingsKey::Read() {
    const Gio* gio = TheGio();
    if (!gio)
        return std::nullopt;
    if (!looked_) {
        looked_ = true;
        GSettingsSchemaSource* source = gio->sourceGetDefault();
        GSettingsSchema* schema =
            source ? gio->sourceLookup(source, schema_.c_str(), TRUE) : nullptr;
        if (schema && gio->hasKey(schema, key_.c_str()))
            settings_ = gio->settingsNew(schema, nullptr, nullptr);
        if (schema)
            gio->schemaUnref(schema);
    }
    if (!settings_)
        return std::nullopt;
    // Backends that learn of a change through GLib's main context (the
    // keyfile backend's watch on its file) are heard only when that context
    // runs, and nothing else in the program runs it: its pending events are
    // handled before each read. A bounded number, in case a source stays
    // ready.
    for (int i = 0; i < 64 && gio->iterate(nullptr, FALSE); ++i) {
    }
    return gio->getBoolean(static_cast<GSettings*>(settings_), key_.c_str()) != FALSE;
}

}  // namespace zb::desktop
