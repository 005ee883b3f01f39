#pragma once
// What the pending files dialog does to the pending list, apart from the
// window: remove entries, sort them by subject, and undo everything on
// Cancel. It works on an edit session's view of the list, so the worker
// never sees a half-made change.

#include <deque>
#include <string>
#include <vector>

#include "engine/PendingList.h"

namespace ng {

struct PendingRow {
    std::string subject;
    std::string from;
    int lines = 0;
};

class PendingEditor {
public:
    // Takes the list and its marks as they stand at opening.
    PendingEditor(std::deque<PendingEntry>& entries, bool& edited, int& removed);

    size_t Count() const { return m_entries.size(); }
    int Removed() const { return m_nRemoved; }
    bool Edited() const { return m_bEdited; }
    std::vector<PendingRow> Rows() const;

    // Removes the rows at these indexes (any order; repeats and indexes past
    // the end are ignored) and counts them as removed. Marks the list as
    // edited even when nothing was removed. Returns how many went.
    int Remove(const std::vector<size_t>& rows);

    // Orders the entries by subject, byte by byte, case-sensitive, with an
    // exchange sort: entries with equal subjects need not keep their order.
    void SortBySubject();

    // Puts the list back as it was at opening, and the edit marks too: the
    // worker must not count removals that were undone.
    void Cancel();

private:
    std::deque<PendingEntry>& m_entries;
    bool& m_bEdited;
    int& m_nRemoved;
    std::deque<PendingEntry> m_savedPending;
    bool m_bEditedAtOpen;
    int m_nRemovedAtOpen;
};

}  // namespace ng
