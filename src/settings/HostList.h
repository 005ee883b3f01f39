#pragma once
// The setup dialog's list of news hosts: the current host first, then up to
// three earlier ones. The rules live here so they can be tested without a
// window; the dialog only mirrors the entries in its combo box.

#include <string>
#include <utility>
#include <vector>

namespace ng {

class HostList {
public:
    // The keys holding the hosts, most recent first.
    static constexpr int kMaxEntries = 4;

    // Builds the list from the stored hosts: the current one (when not
    // empty), then each earlier one that is not empty. A host already in the
    // list is not shown twice (earlier rotations can store the same host
    // under two keys).
    void Load(const std::string& current, const std::vector<std::string>& earlier);
    // Reads NNTPHost and NNTPHost2..NNTPHost4 from the settings store.
    void LoadFromProfile();

    // The user chose entry `index` from the drop-down list: it moves to the
    // top. False (nothing changes) for the top entry or a bad index.
    bool Choose(int index);

    // What OK stores for the earlier hosts, given the host text in the
    // field: pairs of key ("NNTPHost2".."NNTPHost4") and host. Keys not
    // named keep their stored values.
    std::vector<std::pair<std::string, std::string>> EarlierHostKeys(
        const std::string& typedHost) const;
    // Stores the pairs of EarlierHostKeys in the settings store.
    void StoreEarlierHosts(const std::string& typedHost) const;

    const std::vector<std::string>& Entries() const { return m_entries; }

private:
    std::vector<std::string> m_entries;
};

// The download directory always ends in "/": "" becomes "/", "/pics"
// becomes "/pics/".
std::string WithTrailingSlash(const std::string& directory);

}  // namespace ng
