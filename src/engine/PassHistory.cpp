#include "engine/PassHistory.h"

#include <cerrno>

#include "platform/AsciiCase.h"
#include "store/WorkingFiles.h"

namespace ng {

void PassHistory::Load() {
    errno = 0;
    if (!m_history.Load(files::kHistList, m_nMaxHist)) {
        // A list that is there but cannot be read must not be replaced by
        // the few names of this pass: that would lose the whole history.
        m_bHistoryUnreadable = errno != ENOENT;
    }
    if (m_bSkipDuplicates) {
        errno = 0;
        if (!m_hashes.Load(files::kPictureHashes, m_nMaxHist)) {
            m_bHashesUnreadable = errno != ENOENT;  // as for the history
        }
    }
}

void PassHistory::Save(const std::function<void(const std::string&)>& show, bool unlessUnchanged) {
    // On the way through a group the lists are replaced whole but not
    // waited for on the disk: the last save of the pass is.
    const Durability durability = unlessUnchanged ? Durability::Atomic : Durability::Durable;
    if (!unlessUnchanged || m_bHistoryChanged || m_bHistoryUnreadable) {
        m_bHistoryChanged = false;
        if (m_bHistoryUnreadable || !m_history.Save(files::kHistList, nullptr, durability)) {
            show("Unable to open HistList");
        }
    }
    // Written only when a picture was added (a name already in the history
    // may bring a new hash): a pass that saved nothing leaves no new file.
    if (m_bSkipDuplicates && m_hashes.Changed() &&
        (m_bHashesUnreadable ||
         !m_hashes.Save(files::kPictureHashes, m_nMaxHist, nullptr, durability))) {
        show(std::string("Unable to open ") + files::kPictureHashes);
    }
}

void PassHistory::Remember(const std::string& name) {
    std::string lowerName = ToLowerAscii(name);
    if (lowerName.find("index") == std::string::npos && lowerName.find('.') != std::string::npos &&
        !m_history.Holds(lowerName)) {
        m_history.Add(lowerName);
        m_bHistoryChanged = true;
    }
}

void PassHistory::Clear() {
    m_history.Clear();
    m_hashes.Clear();
}

}  // namespace ng
