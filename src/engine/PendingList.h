#pragma once
// The overview lines of the current group's accepted articles not yet
// retrieved, with the pending dialog's edit marks. The worker's accesses and
// a dialog's edit session never overlap: each worker access takes the lock
// briefly, and an edit session holds it for the dialog's whole run.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
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

        std::deque<std::string>& Lines() { return m_list.m_lines; }
        bool& Edited() { return m_list.m_bEdited; }
        int& Removed() { return m_list.m_nRemoved; }

    private:
        PendingList& m_list;
        std::unique_lock<std::mutex> m_lock;
    };

private:
    mutable std::mutex m_mutex;
    std::deque<std::string> m_lines;  // g_pendingList
    bool m_bEdited = false;           // g_bPendingEdited
    int m_nRemoved = 0;               // g_nPendingRemoved
};

}  // namespace ng
