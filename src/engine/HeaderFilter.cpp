#include "engine/HeaderFilter.h"

#include "store/DownloadHistory.h"

namespace ng {

HeaderFilter::HeaderFilter(const FilterSettings& settings, const DownloadHistory& history)
    : m_settings(settings), m_history(history) {}

// The lists are kept upper-cased, so each test upper-cases only the text;
// the decisions are those of comparing both upper-cased.
bool HeaderFilter::MatchesAny(const std::vector<std::string>& upperList,
                              std::string_view upperText) {
    for (const std::string& entry : upperList) {
        if (upperText.find(entry) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

HeaderFilter::Decision HeaderFilter::AcceptHeader(std::string_view subject, std::string_view sender,
                                                  int lines) const {
    const FilterSettings& s = m_settings;
    if (lines < s.minLines || lines > s.maxLines) {
        return {Verdict::LineCount, {}};
    }
    const std::string upperSubject = ToUpperAscii(subject);
    bool included = (s.subjectIncludes.empty() || MatchesAny(s.subjectIncludes, upperSubject)) &&
                    (s.subjectIncludes2.empty() || MatchesAny(s.subjectIncludes2, upperSubject));
    if (!included) {
        return {Verdict::NotIncluded, {}};
    }
    if (!s.subjectExcludes.empty() && MatchesAny(s.subjectExcludes, upperSubject)) {
        return {Verdict::Excluded, {}};
    }
    if (!s.fromExcludes.empty() && MatchesAny(s.fromExcludes, ToUpperAscii(sender))) {
        return {Verdict::SenderExcluded, {}};
    }
    if (auto matched = m_history.FindHit(upperSubject)) {
        return {Verdict::InHistory, std::move(*matched)};
    }
    if (m_acceptedSubjects.count(std::string(subject)) != 0) {
        return {Verdict::Crosspost, {}};
    }
    return {Verdict::Accept, {}};
}

}  // namespace ng
