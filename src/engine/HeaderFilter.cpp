// The header filter: which overview lines are worth retrieving.

#include "engine/ProcessGroups.h"
#include "store/DownloadHistory.h"

using namespace ng;

// The lists are kept upper-cased (from InitInstance), so each test upper-cases
// only the text; the decisions are those of comparing both upper-cased.
bool CProcessGroups::MatchesAny(const std::vector<std::string>& upperList,
                                const std::string& upperText) {
    for (const std::string& entry : upperList) {
        if (upperText.find(entry) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool CProcessGroups::AcceptHeader(const std::string& /*number*/, const std::string& subject,
                                  const std::string& sender, int lines) {
    m_expectedLines = lines;
    if (lines < m_minLines || lines > m_maxLines) {
        return false;
    }
    m_strSubject = subject;
    const std::string upperSubject = ToUpperAscii(subject);

    bool included = (m_subjectIncludes.empty() || MatchesAny(m_subjectIncludes, upperSubject)) &&
                    (m_subjectIncludes2.empty() || MatchesAny(m_subjectIncludes2, upperSubject));
    if (!included) {
        return false;
    }
    if (!m_subjectExcludes.empty() && MatchesAny(m_subjectExcludes, upperSubject)) {
        return false;
    }
    if (!m_fromExcludes.empty() && MatchesAny(m_fromExcludes, ToUpperAscii(sender))) {
        return false;
    }

    if (auto matched = m_history.FindHit(upperSubject)) {
        ++m_historySkipped;
        m_pWindow->SetHistorySkipped(m_historySkipped);
        if (m_bLogHistoryHits) {
            LogHistoryHit(*matched, upperSubject);
        }
        return false;
    }

    if (m_acceptedSubjects.count(m_strSubject) != 0) {
        ++m_crosspostsSkipped;
        m_pWindow->SetCrosspostsSkipped(m_crosspostsSkipped);
        return false;
    }
    return true;
}
