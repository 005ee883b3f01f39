#include "engine/PendingEditor.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <numeric>
#include <utility>
#include <vector>

namespace ng {

PendingEditor::PendingEditor(std::deque<PendingEntry>& entries, bool& edited, int& removed)
    : m_entries(entries),
      m_bEdited(edited),
      m_nRemoved(removed),
      m_savedPending(entries),
      m_bEditedAtOpen(edited),
      m_nRemovedAtOpen(removed) {}

std::vector<PendingRow> PendingEditor::Rows() const {
    std::vector<PendingRow> rows;
    rows.reserve(m_entries.size());
    for (const PendingEntry& entry : m_entries) {
        // A post split over several articles is one entry: its first part's
        // subject and sender, and the lines of all its parts.
        int64_t total = 0;
        for (const OverviewRecord& record : entry) {
            total += record.lines;
        }
        rows.push_back({entry.front().subject, entry.front().from,
                        static_cast<int>(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX))});
    }
    return rows;
}

int PendingEditor::Remove(const std::vector<size_t>& rows) {
    std::vector<bool> doomed(m_entries.size(), false);
    for (size_t row : rows) {
        if (row < doomed.size()) {
            doomed[row] = true;
        }
    }
    std::deque<PendingEntry> kept;
    int count = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (doomed[i]) {
            ++count;
        } else {
            kept.push_back(std::move(m_entries[i]));
        }
    }
    m_entries = std::move(kept);
    m_nRemoved += count;
    m_bEdited = true;
    return count;
}

void PendingEditor::SortBySubject() {
    // An exchange sort: each position in turn swaps with every later entry
    // whose subject is smaller. Equal subjects may change places; the fetch
    // order that gives same-subject articles is the one users of this dialog
    // have always had, so no stable sort here. Subjects are swapped along
    // with their entries; std::string compares as unsigned bytes.
    std::vector<std::string> subjects;
    subjects.reserve(m_entries.size());
    for (const PendingEntry& entry : m_entries) {
        subjects.push_back(entry.front().subject);
    }
    // Without two equal subjects every sort gives the same order: a big list
    // (the dialog waits on it) is sorted in n log n steps, not n squared.
    std::vector<size_t> order(m_entries.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return subjects[a] < subjects[b]; });
    if (std::adjacent_find(order.begin(), order.end(), [&](size_t a, size_t b) {
            return subjects[a] == subjects[b];
        }) == order.end()) {
        std::deque<PendingEntry> sorted;
        for (size_t index : order) {
            sorted.push_back(std::move(m_entries[index]));
        }
        m_entries = std::move(sorted);
        return;
    }
    for (size_t i = 0; i + 1 < m_entries.size(); ++i) {
        for (size_t j = i + 1; j < m_entries.size(); ++j) {
            if (subjects[j] < subjects[i]) {
                std::swap(subjects[i], subjects[j]);
                std::swap(m_entries[i], m_entries[j]);
            }
        }
    }
}

void PendingEditor::Cancel() {
    m_entries = m_savedPending;
    m_bEdited = m_bEditedAtOpen;
    m_nRemoved = m_nRemovedAtOpen;
}

}  // namespace ng
