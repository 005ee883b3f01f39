#pragma once
// The articles a pass has dealt with, by message-id and by where they stood
// ("group:number"), so that a crosspost of one of them in a group walked
// later, in this pass or a later one, is known for what it is. Kept per
// server in the working folder ("Crossposts." + host), newest last and
// bounded: a forgotten one costs a fetch, never a picture.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ng {

class SeenArticles {
public:
    static constexpr size_t kMaxEntries = 100000;

    // Reads the list (a missing file is an empty list). False, the list
    // untouched, when it is there but cannot be read.
    [[nodiscard]] bool Load(const std::string& fileName);
    // Replaces the file with the newest kMaxEntries, atomically. 0 or errno.
    [[nodiscard]] int Save(const std::string& fileName) const;

    // Remembers an article: its message-id (may be empty) and where it stood.
    void Note(std::string_view messageId, std::string_view group, int64_t number);

    bool HasMessageId(std::string_view messageId) const;
    // "group:number", as an overview's Xref names a place.
    bool HasPlace(std::string_view place) const;
    size_t Size() const { return m_order.size(); }
    bool Changed() const { return m_bChanged; }

private:
    struct Entry {
        std::string messageId;
        std::string where;  // "group:number"
    };
    void Trim();

    std::deque<Entry> m_order;  // oldest first
    std::unordered_multiset<std::string> m_ids;
    std::unordered_multiset<std::string> m_places;
    bool m_bChanged = false;
};

}  // namespace ng
