#include "store/PictureHashes.h"

#include <cerrno>
#include <vector>

#include "platform/FileLock.h"
#include "platform/ShowableText.h"
#include "platform/TextFile.h"

namespace ng {

namespace {

// "hash name": 64 hex digits, a blank, the name. Anything else is skipped.
std::optional<std::pair<std::string, std::string>> ParseEntry(std::string_view line) {
    constexpr size_t kHashLength = 64;
    if (line.size() < kHashLength + 2 || line[kHashLength] != ' ' ||
        line.find_first_not_of("0123456789abcdef") != kHashLength) {
        return std::nullopt;
    }
    return std::make_pair(std::string(line.substr(0, kHashLength)),
                          std::string(line.substr(kHashLength + 1)));
}

}  // namespace

void PictureHashes::Keep(Entry entry, size_t maxEntries) {
    if (maxEntries == 0 || !m_byHash.emplace(entry.first, entry.second).second) {
        return;  // a hash already known keeps its first name
    }
    m_entries.push_back(std::move(entry));
    while (m_entries.size() > maxEntries) {
        m_byHash.erase(m_entries.front().first);
        m_entries.pop_front();
    }
}

bool PictureHashes::Load(const std::string& fileName, int maxEntries) {
    const size_t keep = maxEntries > 0 ? static_cast<size_t>(maxEntries) : 0;
    PictureHashes loaded;
    if (!ForEachTextLine(fileName, [&](std::string_view line) {
            if (auto entry = ParseEntry(line)) {
                loaded.Keep(std::move(*entry), keep);
            }
        })) {
        return false;
    }
    for (Entry& entry : m_added) {  // added before the load: still to be saved
        loaded.Keep(entry, keep);
        loaded.m_added.push_back(std::move(entry));
    }
    *this = std::move(loaded);
    m_bChanged = !m_added.empty();
    return true;
}

std::optional<std::string> PictureHashes::Find(const std::string& hash) const {
    auto found = m_byHash.find(hash);
    if (found == m_byHash.end()) {
        return std::nullopt;
    }
    return found->second;
}

void PictureHashes::Add(const std::string& hash, const std::string& name) {
    // The name goes into a one-line record and, later, into a log.
    Entry entry(hash, ShowableText(name));
    if (m_byHash.emplace(entry.first, entry.second).second) {
        m_entries.push_back(entry);
        m_added.push_back(std::move(entry));
        m_bChanged = true;
    }
}

bool PictureHashes::Save(const std::string& fileName, int maxEntries, int* error,
                         Durability durability) {
    const size_t keep = maxEntries > 0 ? static_cast<size_t>(maxEntries) : 0;
    FileLock lock(fileName);
    // The file as it stands (another program may have saved since), then
    // what was added here since: the newest `keep` of them.
    PictureHashes merged;
    errno = 0;
    const bool read = ForEachTextLine(fileName, [&](std::string_view line) {
        if (auto entry = ParseEntry(line)) {
            merged.Keep(std::move(*entry), keep);
        }
    });
    if (!read) {
        for (const Entry& entry : m_entries) {
            merged.Keep(entry, keep);
        }
    }
    for (const Entry& entry : m_added) {
        merged.Keep(entry, keep);
    }
    std::vector<std::string> out;
    out.reserve(merged.m_entries.size());
    for (const auto& [hash, name] : merged.m_entries) {
        out.push_back(hash + " " + name);
    }
    if (!ReplaceTextFile(fileName, out, error, 0666, durability)) {
        return false;
    }
    m_entries = std::move(merged.m_entries);
    m_byHash = std::move(merged.m_byHash);
    m_added.clear();
    m_bChanged = false;
    return true;
}

void PictureHashes::Clear() {
    m_entries.clear();
    m_byHash.clear();
    m_added.clear();
    m_bChanged = false;
}

}  // namespace ng
