#include "store/PictureHashes.h"

#include <cerrno>
#include <vector>

#include "platform/FileLock.h"
#include "platform/ShowableText.h"
#include "platform/TextFile.h"

namespace ng {

namespace {

// "hash name": 64 hex digits, a blank, the name. Anything else is skipped.
std::optional<std::pair<std::string, std::string>> ParseEntry(const std::string& line) {
    constexpr size_t kHashLength = 64;
    if (line.size() < kHashLength + 2 || line[kHashLength] != ' ' ||
        line.find_first_not_of("0123456789abcdef") != kHashLength) {
        return std::nullopt;
    }
    return std::make_pair(line.substr(0, kHashLength), line.substr(kHashLength + 1));
}

}  // namespace

bool PictureHashes::Load(const std::string& fileName, int maxEntries) {
    std::vector<std::string> lines;
    if (!ReadTextLines(fileName, lines)) {
        return false;
    }
    for (const std::string& line : lines) {
        if (auto entry = ParseEntry(line)) {
            m_onDisk.insert(entry->first);
            Add(entry->first, entry->second);
        }
    }
    Trim(maxEntries);
    m_bChanged = false;
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
    if (m_byHash.emplace(hash, ShowableText(name)).second) {
        m_entries.emplace_back(hash, m_byHash[hash]);
        m_bChanged = true;
    }
}

bool PictureHashes::Save(const std::string& fileName, int maxEntries, int* error) {
    FileLock lock(fileName);
    std::vector<std::string> lines;
    errno = 0;
    if (ReadTextLines(fileName, lines)) {
        // Hashes another program saved since this list was read join it as
        // the newest, as the history takes its names: a full list then
        // drops the oldest, never what the other program just added.
        for (const std::string& line : lines) {
            auto entry = ParseEntry(line);
            if (entry && !m_onDisk.count(entry->first)) {
                Add(entry->first, entry->second);
            }
        }
    }
    Trim(maxEntries);
    std::vector<std::string> out;
    out.reserve(m_entries.size());
    for (const auto& [hash, name] : m_entries) {
        out.push_back(hash + " " + name);
    }
    if (!ReplaceTextFile(fileName, out, error)) {
        return false;
    }
    m_onDisk.clear();
    for (const auto& entry : m_entries) {
        m_onDisk.insert(entry.first);
    }
    m_bChanged = false;
    return true;
}

void PictureHashes::Clear() {
    m_entries.clear();
    m_byHash.clear();
    m_onDisk.clear();
    m_bChanged = false;
}

void PictureHashes::Trim(int maxEntries) {
    const size_t keep = maxEntries > 0 ? static_cast<size_t>(maxEntries) : 0;
    while (m_entries.size() > keep) {
        m_byHash.erase(m_entries.front().first);
        m_entries.pop_front();
    }
}

}  // namespace ng
