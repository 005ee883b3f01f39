#include "engine/PendingList.h"

#include <algorithm>

namespace ng {

std::string_view PendingList::EntryLocked(size_t i) const {
    const Entry& entry = m_entries[i];
    return std::string_view(m_blocks[entry.block]).substr(entry.begin, entry.size);
}

void PendingList::AppendLocked(std::string_view entry) {
    if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < entry.size()) {
        m_blocks.emplace_back().reserve(std::max(kBlockSize, entry.size()));
    }
    std::string& block = m_blocks.back();
    m_entries.push_back({m_blocks.size() - 1, block.size(), entry.size()});
    block.append(entry);
}

void PendingList::ClearLocked() {
    std::vector<std::string>().swap(m_blocks);
    std::vector<Entry>().swap(m_entries);
    m_head = 0;
}

void PendingList::Append(std::string overviewLine) {
    std::lock_guard lock(m_mutex);
    AppendLocked(overviewLine);
}

std::optional<std::string> PendingList::TakeHead() {
    std::lock_guard lock(m_mutex);
    if (SizeLocked() == 0) {
        return std::nullopt;
    }
    std::string head(EntryLocked(m_head));
    const size_t block = m_entries[m_head++].block;
    if (SizeLocked() == 0) {
        ClearLocked();  // the room goes as soon as the last entry does
    } else if (m_entries[m_head].block != block) {
        std::string().swap(m_blocks[block]);  // every entry in it has been taken
    }
    return head;
}

std::vector<std::string> PendingList::Peek(size_t count) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> first;
    for (size_t i = m_head; i < m_entries.size() && first.size() < count; ++i) {
        first.emplace_back(EntryLocked(i));
    }
    return first;
}

size_t PendingList::Size() const {
    std::lock_guard lock(m_mutex);
    return SizeLocked();
}

void PendingList::Clear() {
    std::lock_guard lock(m_mutex);
    ClearLocked();
}

std::optional<int> PendingList::TakeRemovals() {
    std::lock_guard lock(m_mutex);
    if (!m_bEdited) {
        return std::nullopt;
    }
    int removed = m_nRemoved;
    m_bEdited = false;
    m_nRemoved = 0;
    return removed;
}

PendingList::EditSession::EditSession(PendingList& list) : m_list(list), m_lock(list.m_mutex) {
    for (size_t i = m_list.m_head; i < m_list.m_entries.size(); ++i) {
        m_lines.emplace_back(m_list.EntryLocked(i));
    }
}

// What the dialog left (edited, sorted, or put back on Cancel) becomes the list.
PendingList::EditSession::~EditSession() {
    m_list.ClearLocked();
    for (const std::string& entry : m_lines) {
        m_list.AppendLocked(entry);
    }
}

}  // namespace ng
