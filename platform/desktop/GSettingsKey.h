// One boolean key of GSettings (GNOME's and Cinnamon's settings), read
// through GIO. GIO is not linked: it is loaded when the first key is read,
// so that a run outside a desktop never maps it. A schema that is not
// installed is looked up first (GIO would end the process for a missing
// one) and makes the key absent. Reading starts no service: the settings
// database is read from its file.
#pragma once

#include <optional>
#include <string>

namespace zb::desktop {

class GSettingsKey {
public:
    GSettingsKey(std::string schema, std::string key);
    ~GSettingsKey();
    GSettingsKey(const GSettingsKey&) = delete;
    GSettingsKey& operator=(const GSettingsKey&) = delete;

    // The key's value now; nullopt when GIO, the schema or the key is missing.
    std::optional<bool> Read();

private:
    std::string schema_;
    std::string key_;
    bool looked_ = false;
    // The GSettings object once made (a GObject*), null when absent.
    void* settings_ = nullptr;
};

}  // namespace zb::desktop
