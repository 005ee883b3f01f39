#pragma once
// The download history: names of files already downloaded, oldest first,
// and the fast form of the history test the header filter runs for every
// overview line.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // and the copy untouched, when the file cannot be opened.
    bool Load(const std::string& fileName, int maxHist);

    // Writes every name longer than 3 characters, one per line, replacing
    // the file atomically: if it cannot be written the old file stays
    // whole. False on failure, with the errno in *error.
    //
    // Another program on the same profile may have saved names since this
    // list was loaded: under a lock, names on disk that were not there at
    // the load and are not in this list are kept (and join it), so the last
    // save never loses another's names.
    bool Save(const std::string& fileName, int* error = nullptr);

    // Appends a name at the newest end.
    void Add(std::string name);
    void Clear();
    size_t Size() const;
    const std::deque<std::string>& Names() const;

    // The history test for one subject, already upper-cased (ASCII): the
    // newest name of more than 3 characters that, upper-cased, the subject
    // begins with, or that the subject holds right after a blank. Gives the
    // matched text: the upper-cased name, or a blank and the upper-cased
    // name when it was not at the start. nullopt when no name matches.
    std::optional<std::string> FindHit(std::string_view upperSubject) const;

private:
    struct Index;
    void RebuildIndex();
    bool KnownOnDisk(std::string_view name) const;

    std::deque<std::string> m_names;
    std::unique_ptr<Index> m_index;
    std::vector<uint64_t> m_onDisk;  // hashes of the file's names as last read or written, sorted
};

// Appends entry + " -- " + subject, in lower case, to "HistLog.txt" in one
// write; control characters are replaced (ShowableText), so a record stays
// one line and nothing of the server's reaches a terminal that shows it.
// A file that cannot be opened loses the record silently.
void LogHistoryHit(std::string_view entry, std::string_view subject,
                   const std::string& fileName = files::kHistLog);

// ASCII upper and lower case, as the filter compares names.
std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);

}  // namespace ng
