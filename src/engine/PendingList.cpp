#include "engine/PendingList.h"

#include <algorithm>
#include <limits>

namespace ng {

PendingEntry PendingList::EntryLocked(size_t i) const {
    const Entry& entry = m_entries[i];
    PendingEntry records;
    records.reserve(entry.count);
    for (size_t r = entry.first; r < entry.first + entry.count; ++r) {
        const Stored& s = m_records[r];
        std::string_view text = std::string_view(m_blocks[s.block]).substr(s.offset);
        OverviewRecord record;
        record.number = s.number;
        record.bytes = s.bytes;
        record.lines = s.lines;
        std::string* fields[] = {&record.subject, &record.from, &record.messageId, &record.xref};
        for (int f = 0; f < 4; ++f) {
            fields[f]->assign(text.substr(0, s.lengths[f]));
            text.remove_prefix(s.lengths[f]);
        }
        records.push_back(std::move(record));
    }
    return records;
}

void PendingList::AppendLocked(const PendingEntry& entry) {
    if (entry.empty()) {
        return;
    }
    m_entries.push_back({m_records.size(), entry.size()});
    for (const OverviewRecord& record : entry) {
        const std::string* fields[] = {&record.subject, &record.from, &record.messageId,
                                       &record.xref};
        Stored stored{record.number, record.bytes, record.lines, 0, 0, {}};
        size_t size = 0;
        for (int f = 0; f < 4; ++f) {
            // A field longer than a length can say is cut: no overview line holds one.
            stored.lengths[f] = static_cast<uint32_t>(
                std::min<size_t>(fields[f]->size(), std::numeric_limits<uint32_t>::max() / 8));
            size += stored.lengths[f];
        }
        if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < size) {
            m_blocks.emplace_back().reserve(std::max(kBlockSize, size));
        }
        std::string& block = m_blocks.back();
        stored.block = static_cast<uint32_t>(m_blocks.size() - 1);
        stored.offset = static_cast<uint32_t>(block.size());
        for (int f = 0; f < 4; ++f) {
            block.append(*fields[f], 0, stored.lengths[f]);
        }
        m_records.push_back(stored);
    }
}

void PendingList::ClearLocked() {
    std::vector<std::string>().swap(m_blocks);
    std::vector<Stored>().swap(m_records);
    std::vector<Entry>().swap(m_entries);
    m_head = 0;
}

void PendingList::Append(const PendingEntry& entry) {
    std::lock_guard lock(m_mutex);
    AppendLocked(entry);
}

std::optional<PendingEntry> PendingList::TakeHead() {
    std::lock_guard lock(m_mutex);
    if (SizeLocked() == 0) {
        return std::nullopt;
    }
    PendingEntry head = EntryLocked(m_head);
    const uint32_t block = m_records[m_entries[m_head].first].block;
    ++m_head;
    if (SizeLocked() == 0) {
        ClearLocked();  // the room goes as soon as the last entry does
    } else if (m_records[m_entries[m_head].first].block != block) {
        // Entries are stored in order, so every one in the earlier blocks has been taken.
        for (uint32_t b = 0; b < m_records[m_entries[m_head].first].block; ++b) {
            std::string().swap(m_blocks[b]);
        }
    }
    return head;
}

std::vector<PendingEntry> PendingList::Peek(size_t count) const {
    std::lock_guard lock(m_mutex);
    std::vector<PendingEntry> first;
    for (size_t i = m_head; i < m_entries.size() && first.size() < count; ++i) {
        first.push_back(EntryLocked(i));
    }
    return first;
}

size_t PendingList::Size() const {
    std::lock_guard lock(m_mutex);
    return SizeLocked();
}

std::optional<int64_t> PendingList::LowestNumber() const {
    std::lock_guard lock(m_mutex);
    if (SizeLocked() == 0) {
        return std::nullopt;
    }
    int64_t lowest = std::numeric_limits<int64_t>::max();
    for (size_t r = m_entries[m_head].first; r < m_records.size(); ++r) {
        lowest = std::min(lowest, m_records[r].number);
    }
    return lowest;
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
        m_entries.push_back(m_list.EntryLocked(i));
    }
}

// What the dialog left (edited, sorted, or put back on Cancel) becomes the list.
PendingList::EditSession::~EditSession() {
    m_list.ClearLocked();
    for (const PendingEntry& entry : m_entries) {
        m_list.AppendLocked(entry);
    }
}

}  // namespace ng
