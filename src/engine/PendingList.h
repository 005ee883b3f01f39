#pragma once
// The current group's accepted articles not yet retrieved, with the pending
// dialog's edit marks. An entry is one article, or the parts of one post
// split over several (in part order); each is the typed record of its
// overview line, parsed once. The worker's accesses and a dialog's edit
// session never overlap: each worker access takes the lock briefly, and an
// edit session holds it for the dialog's whole run.
//
// A group may have a million accepted articles, so the records' texts are
// kept end to end in blocks, with a small fixed record each, and a block
// goes once its entries have been taken. An edit session hands the dialog
// the entries as records and takes back what it made.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nntp/Overview.h"

namespace ng {

using PendingEntry = std::vector<OverviewRecord>;

class PendingList {
public:
    // The worker's accesses, each whole under the lock. An empty entry is not kept.
    void Append(const PendingEntry& entry);
    std::optional<PendingEntry> TakeHead();
    // Copies of the first `count` entries, left in place.
    std::vector<PendingEntry> Peek(size_t count) const;
    size_t Size() const;
    // The smallest article number of any entry left; nullopt when none is.
    std::optional<int64_t> LowestNumber() const;
    void Clear();
    // When the dialog removed entries since the last call: how many, and the
    // marks are cleared. nullopt, and nothing changed, otherwise.
    std::optional<int> TakeRemovals();

    // An edit session: the pending dialog's exclusive view of the list and
    // its marks, from opening to OK or Cancel.
    class EditSession {
    public:
        explicit EditSession(PendingList& list);
        ~EditSession();
        EditSession(const EditSession&) = delete;
        EditSession& operator=(const EditSession&) = delete;

        std::deque<PendingEntry>& Entries() { return m_entries; }
        bool& Edited() { return m_list.m_bEdited; }
        int& Removed() { return m_list.m_nRemoved; }

    private:
        PendingList& m_list;
        std::unique_lock<std::mutex> m_lock;
        std::deque<PendingEntry> m_entries;  // while the dialog edits them
    };

private:
    // A record with its texts in a block: subject, sender, message-id and
    // Xref one after another.
    struct Stored {
        int64_t number;
        int64_t bytes;
        int lines;
        uint32_t block;
        uint32_t offset;
        uint32_t lengths[4];
    };
    struct Entry {
        size_t first;  // of its records
        size_t count;
    };
    static constexpr size_t kBlockSize = 1 << 20;

    size_t SizeLocked() const { return m_entries.size() - m_head; }
    PendingEntry EntryLocked(size_t i) const;
    void AppendLocked(const PendingEntry& entry);
    void ClearLocked();

    mutable std::mutex m_mutex;
    std::vector<std::string> m_blocks;  // never reallocated: growing copies nothing
    std::vector<Stored> m_records;
    std::vector<Entry> m_entries;
    size_t m_head = 0;       // entries before it have been taken
    bool m_bEdited = false;  // the dialog changed the list
    int m_nRemoved = 0;      // entries the dialog removed
};

}  // namespace ng
