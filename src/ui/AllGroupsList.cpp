#include "ui/AllGroupsList.h"

#include <algorithm>
#include <iterator>

#include "ui/UiText.h"

namespace {

// Names wait at most this long: inserting them in one go keeps a long list
// fast.
constexpr int kFlushDelayMs = 200;
// Up to this many names go in one by one; more rebuild the list in one pass.
constexpr size_t kSingleInsertLimit = 32;

unsigned char FoldAscii(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Adds rows for the names at `row`: made from labels in one go, then given
// their bytes where a label cannot carry them.
void InsertRows(QListWidget* list, int row, std::vector<std::string>::const_iterator first,
                std::vector<std::string>::const_iterator last) {
    QStringList labels;
    labels.reserve(static_cast<qsizetype>(last - first));
    for (auto it = first; it != last; ++it) {
        labels << ng::ui::FromBytes(*it);
    }
    list->insertItems(row, labels);
    for (auto it = first; it != last; ++it, ++row) {
        ng::ui::KeepBytes(list->item(row), *it);
    }
}

}  // namespace

CAllGroupsList::CAllGroupsList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);  // long lists lay out fast
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CAllGroupsList::Flush);
}

bool CAllGroupsList::SortsBefore(const std::string& a, const std::string& b) {
    size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char ca = FoldAscii(a[i]);
        unsigned char cb = FoldAscii(b[i]);
        if (ca != cb) {
            return ca < cb;
        }
    }
    return a.size() < b.size();
}

void CAllGroupsList::SetNames(std::vector<std::string> names) {
    m_flushTimer.stop();
    m_waiting.clear();
    std::stable_sort(names.begin(), names.end(), SortsBefore);
    Show(std::move(names));
}

void CAllGroupsList::Show(std::vector<std::string> sortedNames) {
    m_names = std::move(sortedNames);
    setUpdatesEnabled(false);
    clear();
    InsertRows(this, 0, m_names.begin(), m_names.end());
    setUpdatesEnabled(true);
}

void CAllGroupsList::AddLater(std::string name) {
    if (name.empty()) {
        return;
    }
    m_waiting.push_back(std::move(name));
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void CAllGroupsList::Insert(const std::string& name) {
    auto at = std::upper_bound(m_names.begin(), m_names.end(), name, SortsBefore);
    int row = static_cast<int>(at - m_names.begin());
    m_names.insert(at, name);
    insertItem(row, ng::ui::NewListItem(name));
}

void CAllGroupsList::Flush() {
    m_flushTimer.stop();
    if (m_waiting.empty()) {
        return;
    }
    std::vector<std::string> names = std::exchange(m_waiting, {});
    std::stable_sort(names.begin(), names.end(), SortsBefore);

    if (m_names.empty() || !SortsBefore(names.front(), m_names.back())) {
        // All after the last entry: a server's list often comes sorted.
        InsertRows(this, count(), names.begin(), names.end());
        m_names.insert(m_names.end(), std::make_move_iterator(names.begin()),
                       std::make_move_iterator(names.end()));
        return;
    }
    if (names.size() <= kSingleInsertLimit) {
        for (const auto& name : names) {
            Insert(name);
        }
        return;
    }
    // Rebuild in one pass, keeping the entry the user has selected.
    int selectedRow = SelectedRow();
    std::string selected = selectedRow >= 0 ? m_names[selectedRow] : std::string();
    std::vector<std::string> merged;
    merged.reserve(m_names.size() + names.size());
    std::merge(std::make_move_iterator(m_names.begin()), std::make_move_iterator(m_names.end()),
               std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()),
               std::back_inserter(merged), SortsBefore);
    Show(std::move(merged));
    if (selectedRow >= 0) {
        auto at = std::lower_bound(m_names.begin(), m_names.end(), selected, SortsBefore);
        while (at != m_names.end() && *at != selected) {
            ++at;
        }
        if (at != m_names.end()) {
            setCurrentRow(static_cast<int>(at - m_names.begin()));
        }
    }
}

void CAllGroupsList::AddName(const std::string& name) {
    Flush();
    auto [first, last] = std::equal_range(m_names.begin(), m_names.end(), name, SortsBefore);
    if (std::find(first, last, name) == last) {
        Insert(name);
    }
}

const std::vector<std::string>& CAllGroupsList::Names() {
    Flush();
    return m_names;
}

int CAllGroupsList::SelectedRow() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

std::optional<std::string> CAllGroupsList::SelectedName() {
    Flush();
    int row = SelectedRow();
    return row >= 0 ? std::optional<std::string>(m_names[row]) : std::nullopt;
}

void CAllGroupsList::SelectFirst() {
    if (count() > 0) {
        setCurrentRow(0);
    }
}
