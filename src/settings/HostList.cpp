#include "settings/HostList.h"

#include <algorithm>

#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace ng {

void HostList::Load(const std::string& current, const std::vector<std::string>& earlier) {
    m_entries.clear();
    auto append = [this](const std::string& host) {
        if (host.empty() ||
            std::find(m_entries.begin(), m_entries.end(), host) != m_entries.end()) {
            return;
        }
        m_entries.push_back(host);
    };
    append(current);
    for (const auto& host : earlier) {
        append(host);
    }
}

void HostList::LoadFromProfile() {
    const SettingsStore& store = Profile();
    const char* section = keys::kProductSection;
    Load(store.GetProfileString(section, keys::kNNTPHost, ""),
         {store.GetProfileString(section, keys::kNNTPHost2, ""),
          store.GetProfileString(section, keys::kNNTPHost3, ""),
          store.GetProfileString(section, keys::kNNTPHost4, "")});
}

bool HostList::Choose(int index) {
    if (index <= 0 || index >= static_cast<int>(m_entries.size())) {
        return false;
    }
    std::string chosen = std::move(m_entries[index]);
    m_entries.erase(m_entries.begin() + index);
    m_entries.insert(m_entries.begin(), std::move(chosen));
    return true;
}

std::vector<std::pair<std::string, std::string>> HostList::EarlierHostKeys(
    const std::string& typedHost) const {
    std::vector<std::pair<std::string, std::string>> keys;
    const int n = static_cast<int>(m_entries.size());
    if (n == 0) {
        return keys;
    }
    auto keep = [&keys](int number, const std::string& host) {
        if (!host.empty()) {
            keys.emplace_back("NNTPHost" + std::to_string(number), host);
        }
    };
    if (m_entries.front() != typedHost) {
        // A host that is not at the top was typed: the whole list moves down
        // one place and the last entry drops off.
        for (int i = 0; i <= std::min(n - 1, kMaxEntries - 2); ++i) {
            keep(i + 2, m_entries[i]);
        }
    } else {
        for (int i = 1; i <= std::min(n - 1, kMaxEntries - 1); ++i) {
            keep(i + 1, m_entries[i]);
        }
    }
    return keys;
}

void HostList::StoreEarlierHosts(const std::string& typedHost) const {
    SettingsStore& store = Profile();
    for (const auto& [key, host] : EarlierHostKeys(typedHost)) {
        store.WriteProfileString(keys::kProductSection, key, host);
    }
}

std::string WithTrailingSlash(const std::string& directory) {
    if (directory.empty() || directory.back() != '/') {
        return directory + '/';
    }
    return directory;
}

}  // namespace ng
