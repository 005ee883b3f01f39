#include "engine/PendingEditor.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <numeric>
#include <utility>
#include <vector>

#include "engine/PostParts.h"
#include "nntp/Overview.h"

namespace ng {

PendingEditor::PendingEditor(std::deque<std::string>& lines, bool& edited, int& removed)
    : m_lines(lines),
      m_bEdited(edited),
      m_nRemoved(removed),
      m_savedPending(lines),
      m_bEditedAtOpen(edited),
      m_nRemovedAtOpen(removed) {}

std::vector<PendingRow> PendingEditor::Rows() const {
    std::vector<PendingRow> rows;
    rows.reserve(m_lines.size());
    for (const std::string& entry : m_lines) {
        // A post split over several articles is one entry: its first part's
        // subject and sender, and the lines of all its parts.
        std::vector<std::string_view> lines = EntryLines(entry);
        OverviewFields fields = ParseOverviewLine(lines.empty() ? entry : lines.front());
        int64_t total = 0;
        for (std::string_view line : lines) {
            total += ParseOverviewLine(line).lines;
        }
        rows.push_back({std::move(fields.subject), std::move(fields.from),
                        static_cast<int>(std::min<int64_t>(total, INT32_MAX))});
    }
    return rows;
}

int PendingEditor::Remove(const std::vector<size_t>& rows) {
    std::vector<bool> doomed(m_lines.size(), false);
    for (size_t row : rows) {
        if (row < doomed.size()) {
            doomed[row] = true;
        }
    }
    std::deque<std::string> kept;
    int count = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (doomed[i]) {
            ++count;
        } else {
            kept.push_back(std::move(m_lines[i]));
        }
    }
    m_lines = std::move(kept);
    m_nRemoved += count;
    m_bEdited = true;
    return count;
}

void PendingEditor::SortBySubject() {
    // An exchange sort: each position in turn swaps with every later entry
    // whose subject is smaller. Equal subjects may change places; the fetch
    // order that gives same-subject articles is the one users of this dialog
    // have always had, so no stable sort here. Subjects are parsed once and
    // swapped along with their lines; std::string compares as unsigned bytes.
    std::vector<std::string> subjects;
    subjects.reserve(m_lines.size());
    for (const std::string& entry : m_lines) {
        std::vector<std::string_view> lines = EntryLines(entry);
        subjects.push_back(ParseOverviewLine(lines.empty() ? entry : lines.front()).subject);
    }
    // Without two equal subjects every sort gives the same order: a big list
    // (the dialog waits on it) is sorted in n log n steps, not n squared.
    std::vector<size_t> order(m_lines.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return subjects[a] < subjects[b]; });
    if (std::adjacent_find(order.begin(), order.end(), [&](size_t a, size_t b) {
            return subjects[a] == subjects[b];
        }) == order.end()) {
        std::deque<std::string> sorted;
        for (size_t index : order) {
            sorted.push_back(std::move(m_lines[index]));
        }
        m_lines = std::move(sorted);
        return;
    }
    for (size_t i = 0; i + 1 < m_lines.size(); ++i) {
        for (size_t j = i + 1; j < m_lines.size(); ++j) {
            if (subjects[j] < subjects[i]) {
                std::swap(subjects[i], subjects[j]);
                std::swap(m_lines[i], m_lines[j]);
            }
        }
    }
}

void PendingEditor::Cancel() {
    m_lines = m_savedPending;
    m_bEdited = m_bEditedAtOpen;
    m_nRemoved = m_nRemovedAtOpen;
}

}  // namespace ng
