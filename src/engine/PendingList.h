#pragma once
// The overview lines of the current group's accepted articles not yet
// retrieved, with the pending dialog's edit marks. The worker's accesses and
// a dialog's edit session never overlap: each worker access takes the lock
// briefly, and an edit session holds it for the dialog's whole run.
//
// A group may have a million accepted articles, so the entries are kept end
// to end in blocks of text with a small record each, not as a string each,
// and a block goes once its entries have been taken. An edit session hands
// the dialog a list of strings and takes back what it made.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

class PendingList {
public:
    // The worker's accesses, each whole under the lock.
    void Append(std::string overviewLine);
    std::optional<std::string> TakeHead();
    // Copies of the first `count` entries, left in place.
    std::vector<std::string> Peek(size_t count) const;
    size_t Size() const;
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

        std::deque<std::string>& Lines() { return m_lines; }
        bool& Edited() { return m_list.m_bEdited; }
        int& Removed() { return m_list.m_nRemoved; }

    private:
        PendingList& m_list;
        std::unique_lock<std::mutex> m_lock;
        std::deque<std::string> m_lines;  // the entries while the dialog edits them
    };

private:
    struct Entry {
        size_t block;
        size_t begin;
        size_t size;
    };
    static constexpr size_t kBlockSize = 1 << 20;

    size_t SizeLocked() const { return m_entries.size() - m_head; }
    std::string_view EntryLocked(size_t i) const;
    void AppendLocked(std::string_view entry);
    void ClearLocked();

    mutable std::mutex m_mutex;
    // The entries, in order (g_pendingList): their text in blocks that are
    // never reallocated, so growing costs no copy of what is there.
    std::vector<std::string> m_blocks;
    std::vector<Entry> m_entries;
    size_t m_head = 0;       // entries before it have been taken
    bool m_bEdited = false;  // g_bPendingEdited
    int m_nRemoved = 0;      // g_nPendingRemoved
};

}  // namespace ng
