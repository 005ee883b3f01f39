#include "engine/PendingList.h"

#include <algorithm>

namespace ng {

void PendingList::Append(std::string overviewLine) {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(std::move(overviewLine));
}

std::optional<std::string> PendingList::TakeHead() {
    std::lock_guard lock(m_mutex);
    if (m_lines.empty()) {
        return std::nullopt;
    }
    std::string head = std::move(m_lines.front());
    m_lines.pop_front();
    return head;
}

std::vector<std::string> PendingList::Peek(size_t count) const {
    std::lock_guard lock(m_mutex);
    count = std::min(count, m_lines.size());
    return std::vector<std::string>(m_lines.begin(), m_lines.begin() + static_cast<long>(count));
}

size_t PendingList::Size() const {
    std::lock_guard lock(m_mutex);
    return m_lines.size();
}

void PendingList::Clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
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

PendingList::EditSession::EditSession(PendingList& list) : m_list(list), m_lock(list.m_mutex) {}

PendingList::EditSession::~EditSession() = default;

}  // namespace ng
