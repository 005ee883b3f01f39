#include "settings/Settings.h"

#include <algorithm>

#include "platform/Numbers.h"
#include "settings/SettingsStore.h"

namespace ng {

namespace {

// A marker no value holds: absent keys read as it.
constexpr char kAbsent[] = "\x01";

}  // namespace

int Read(const SettingsStore& store, const IntSetting& setting) {
    return store.GetProfileInt(setting.section, setting.key, setting.fallback);
}

std::string Read(const SettingsStore& store, const TextSetting& setting) {
    return store.GetProfileString(setting.section, setting.key, setting.fallback);
}

std::optional<int64_t> Read(const SettingsStore& store, const LimitSetting& setting) {
    const std::string text = store.GetProfileString(setting.section, setting.key, kAbsent);
    if (text == kAbsent) {
        return setting.fallback;
    }
    if (text.find_first_not_of(" \t") == std::string::npos) {
        return std::nullopt;  // left blank: no limit
    }
    return LeadingNumber(text);
}

bool IsSet(const SettingsStore& store, const char* section, const char* key) {
    return store.GetProfileString(section, key, kAbsent) != kAbsent;
}

int ReadConnections(const SettingsStore& store, const std::string& host) {
    return std::clamp(
        store.GetProfileInt(host, keys::kConnections, server_setting::kConnectionsFallback), 1,
        server_setting::kMaxConnections);
}

bool Write(SettingsStore& store, const IntSetting& setting, int value) {
    return store.WriteProfileInt(setting.section, setting.key, value);
}

bool Write(SettingsStore& store, const TextSetting& setting, std::string_view value) {
    return store.WriteProfileString(setting.section, setting.key, value);
}

}  // namespace ng
