#pragma once
// What a pass remembers across passes of what it saved: the download
// history (names) and, when duplicates are skipped by content, the saved
// pictures' hashes. Loaded once at the start, written on the way through
// a group and at the end.

#include <functional>
#include <string>

#include "store/DownloadHistory.h"
#include "store/PictureHashes.h"

namespace ng {

class PassHistory {
public:
    PassHistory(int maxHist, bool skipDuplicates)
        : m_nMaxHist(maxHist), m_bSkipDuplicates(skipDuplicates) {}

    void Load();
    // Writes the lists. On the way through a group (`unlessUnchanged`) a
    // list that gained nothing since it was last written is left as it is.
    // A list that could not be written is said to `show`.
    void Save(const std::function<void(const std::string&)>& show, bool unlessUnchanged = false);

    // The history keeps the name the article gave, whatever name the file
    // got. Names without a dot, and index files, are not worth remembering;
    // a name already there is not entered twice.
    void Remember(const std::string& name);

    const DownloadHistory& Names() const { return m_history; }
    // The saved pictures' hashes, when duplicates by content are skipped.
    PictureHashes* Hashes() { return m_bSkipDuplicates ? &m_hashes : nullptr; }
    void Clear();

private:
    int m_nMaxHist;
    bool m_bSkipDuplicates;
    DownloadHistory m_history;
    bool m_bHistoryUnreadable = false;  // "HistList" exists but could not be loaded
    bool m_bHistoryChanged = false;     // names added since the history was last written
    PictureHashes m_hashes;
    bool m_bHashesUnreadable = false;
};

}  // namespace ng
