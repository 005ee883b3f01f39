#pragma once
// The download history: names of files already downloaded, oldest first,
// and the fast form of the history test the header filter runs for every
// overview line.
//
// Kept compact for histories of a million names: the loaded names stay in
// the file's own text (one block, a 32-bit offset per name), the names
// added since in a list of their own, and the history test's index is one
// hash table of the upper-cased names plus a small table of which name
// lengths follow each four-byte start.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AsciiCase.h"
#include "platform/TextFile.h"  // the filter compares names in ASCII upper case
#include "store/WorkingFiles.h"

namespace ng {

class DownloadHistory {
public:
    DownloadHistory();
    ~DownloadHistory();
    DownloadHistory(DownloadHistory&&) noexcept;
    DownloadHistory& operator=(DownloadHistory&&) noexcept;

    // Reads `fileName` (one name per line) and adds its lines at the newest
    // end; first copies it to "~" + fileName ("~" goes before the last path
    // component), replacing the copy atomically. Each added line beyond
    // `maxHist` names drops the oldest, so loading into an empty list keeps
    // the last maxHist lines (none when maxHist <= 0). False, and the list
    // and the copy untouched, when the file cannot be opened (or holds 4 GiB
    // or more: EFBIG).
    [[nodiscard]] bool Load(const std::string& fileName, int maxHist);

    // Writes every name longer than 3 characters, one per line, replacing
    // the file atomically: if it cannot be written the old file stays
    // whole. False on failure, with the errno in *error.
    //
    // Another program on the same profile may have saved names since this
    // list was loaded: under a lock, names on disk that were not there at
    // the load and are not in this list are kept (and join it), so the last
    // save never loses another's names.
    [[nodiscard]] bool Save(const std::string& fileName, int* error = nullptr,
                            Durability durability = Durability::Durable);

    // Appends a name at the newest end.
    void Add(std::string name);
    // Whether the list holds the name, letter case aside.
    bool Holds(std::string_view name) const;
    void Clear();
    size_t Size() const { return m_starts.size() + m_added.size(); }
    // Name `i`, 0 the oldest; valid until the list changes.
    std::string_view Name(size_t i) const {
        if (i >= m_starts.size()) {
            return m_added[i - m_starts.size()];
        }
        size_t end = (i + 1 < m_starts.size() ? m_starts[i + 1] : m_text.size()) - 1;
        return std::string_view(m_text).substr(m_starts[i], end - m_starts[i]);
    }
    // Every name, oldest first, as views; valid until the list changes.
    class NameRange {
    public:
        class Iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = std::string_view;
            using difference_type = std::ptrdiff_t;
            using pointer = void;
            using reference = std::string_view;

            Iterator() = default;
            Iterator(const DownloadHistory* history, size_t i) : m_history(history), m_i(i) {}
            std::string_view operator*() const { return m_history->Name(m_i); }
            Iterator& operator++() {
                ++m_i;
                return *this;
            }
            Iterator operator++(int) {
                Iterator old = *this;
                ++m_i;
                return old;
            }
            bool operator==(const Iterator& other) const { return m_i == other.m_i; }

        private:
            const DownloadHistory* m_history = nullptr;
            size_t m_i = 0;
        };

        explicit NameRange(const DownloadHistory& history) : m_history(&history) {}
        Iterator begin() const { return {m_history, 0}; }
        Iterator end() const { return {m_history, m_history->Size()}; }
        size_t size() const { return m_history->Size(); }
        bool empty() const { return size() == 0; }
        std::string_view operator[](size_t i) const { return m_history->Name(i); }
        std::string_view front() const { return m_history->Name(0); }
        std::string_view back() const { return m_history->Name(size() - 1); }

    private:
        const DownloadHistory* m_history;
    };
    NameRange Names() const { return NameRange(*this); }

    // The history test for one subject, already upper-cased (ASCII): the
    // newest name of more than 3 characters that, upper-cased, the subject
    // begins with, or that the subject holds right after a blank, a quote
    // (" or '), a bracket or a parenthesis. Gives the matched text: the
    // upper-cased name, or the character before it and the upper-cased name
    // when it was not at the start. nullopt when no name matches.
    std::optional<std::string> FindHit(std::string_view upperSubject) const;

private:
    class Index;
    void RebuildIndex();
    bool KnownOnDisk(std::string_view name) const;

    // The loaded names, each followed by LF: m_starts[i] is where name i
    // begins, for the first m_starts.size() names.
    std::string m_text;
    std::vector<uint32_t> m_starts;
    // The names added after the last load, newer than all of m_text's.
    std::vector<std::string> m_added;
    std::unique_ptr<Index> m_index;
    // Hashes of the names the file held at the last load that this list
    // does not hold (those the cap dropped), sorted. Every other name of
    // the file as last read or written is in the list itself, which only
    // grows until the next load, so a name is new on disk when it is in
    // neither.
    std::vector<uint64_t> m_onDisk;
};

// Appends entry + " -- " + subject, in lower case, to "HistLog.txt" in one
// write; control characters are replaced (ShowableText), so a record stays
// one line and nothing of the server's reaches a terminal that shows it.
// A file that cannot be opened loses the record silently.
void LogHistoryHit(std::string_view entry, std::string_view subject,
                   const std::string& fileName = files::kHistLog);

}  // namespace ng
