#pragma once
// The content hashes of the pictures saved, with the name each was saved
// under, oldest first: a repost of the same bytes under another name is
// known by them. Kept in the working folder beside the history and bounded
// like it (MaxHist).

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <utility>
#include "platform/TextFile.h"

namespace ng {

// Memory follows what is kept (maxEntries), not the file's size: the file
// is read a line at a time, on loading and again when saving.
class PictureHashes {
public:
    // Reads "hash name" lines, keeping the newest maxEntries (none when
    // maxEntries <= 0). False, and the list untouched, when the file cannot
    // be opened (errno kept; ENOENT when there is none yet).
    [[nodiscard]] bool Load(const std::string& fileName, int maxEntries);
    // The name the picture with this hash was saved under, or nullopt.
    std::optional<std::string> Find(const std::string& hash) const;
    // Remembers a picture; a hash already known keeps its first name.
    void Add(const std::string& hash, const std::string& name);
    // Replaces the file with the newest maxEntries hashes, atomically.
    // Another program on the same profile may have saved hashes since the
    // load: under a lock, the file is read again and what this list added
    // since goes after what the file holds. False, with *error, on failure.
    [[nodiscard]] bool Save(const std::string& fileName, int maxEntries, int* error = nullptr,
                            Durability durability = Durability::Durable);
    void Clear();
    size_t Size() const { return m_entries.size(); }
    // Hashes were added since the last load or save.
    bool Changed() const { return m_bChanged; }

private:
    using Entry = std::pair<std::string, std::string>;  // hash, name
    // Keeps an entry as the newest, dropping the oldest past maxEntries.
    void Keep(Entry entry, size_t maxEntries);

    std::deque<Entry> m_entries;  // oldest first
    std::unordered_map<std::string, std::string> m_byHash;
    std::vector<Entry> m_added;  // since the last load or save, oldest first
    bool m_bChanged = false;
};

}  // namespace ng
