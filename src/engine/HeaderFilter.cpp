#include "engine/HeaderFilter.h"

#include <algorithm>

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

HeaderFilter::Verdict HeaderFilter::TestText(const std::string& upperSubject,
                                             std::string_view sender) const {
    const FilterSettings& s = m_settings;
    bool included = (s.subjectIncludes.empty() || MatchesAny(s.subjectIncludes, upperSubject)) &&
                    (s.subjectIncludes2.empty() || MatchesAny(s.subjectIncludes2, upperSubject));
    if (!included) {
        return Verdict::NotIncluded;
    }
    if (!s.subjectExcludes.empty() && MatchesAny(s.subjectExcludes, upperSubject)) {
        return Verdict::Excluded;
    }
    if (!s.fromExcludes.empty() && MatchesAny(s.fromExcludes, ToUpperAscii(sender))) {
        return Verdict::SenderExcluded;
    }
    return Verdict::Accept;
}

void HeaderFilter::NoteAccepted(std::string_view subject) {
    if (m_acceptedSubjects.count(subject) != 0) {
        return;
    }
    constexpr size_t kBlockSize = 1 << 20;
    if (m_subjectBlocks.empty() ||
        m_subjectBlocks.back().capacity() - m_subjectBlocks.back().size() < subject.size()) {
        m_subjectBlocks.emplace_back().reserve(std::max(kBlockSize, subject.size()));
    }
    std::string& block = m_subjectBlocks.back();
    const size_t at = block.size();
    block.append(subject);  // within the reserved room: the block does not move
    m_acceptedSubjects.insert(std::string_view(block).substr(at, subject.size()));
}

void HeaderFilter::Clear() {
    SubjectSet().swap(m_acceptedSubjects);
    std::vector<std::string>().swap(m_subjectBlocks);
}

HeaderFilter::Decision HeaderFilter::AcceptHeader(std::string_view subject, std::string_view sender,
                                                  int lines) const {
    if (lines < m_settings.minLines || lines > m_settings.maxLines) {
        return {Verdict::LineCount, {}};
    }
    const std::string upperSubject = ToUpperAscii(subject);
    if (Verdict verdict = TestText(upperSubject, sender); verdict != Verdict::Accept) {
        return {verdict, {}};
    }
    if (auto matched = m_history.FindHit(upperSubject)) {
        return {Verdict::InHistory, std::move(*matched)};
    }
    if (m_acceptedSubjects.count(subject) != 0) {
        return {Verdict::Crosspost, {}};
    }
    return {Verdict::Accept, {}};
}

HeaderFilter::Decision HeaderFilter::AcceptPost(const PostView& post) const {
    const int64_t known = std::max<int64_t>(post.partsKnown, 1);
    const int64_t estimate =
        post.partsKnown >= post.total ? post.lines : post.lines * post.total / known;
    if (post.lines > m_settings.maxLines || estimate < m_settings.minLines) {
        return {Verdict::LineCount, {}};
    }
    std::vector<std::string> upperSubjects;
    for (std::string_view subject : post.subjects) {
        upperSubjects.push_back(ToUpperAscii(subject));
        if (Verdict verdict = TestText(upperSubjects.back(), post.sender);
            verdict != Verdict::Accept) {
            return {verdict, {}};
        }
    }
    for (const std::string& upperSubject : upperSubjects) {
        if (auto matched = m_history.FindHit(upperSubject)) {
            return {Verdict::InHistory, std::move(*matched)};
        }
    }
    if (m_acceptedSubjects.count(post.key) != 0) {
        return {Verdict::Crosspost, {}};
    }
    return {Verdict::Accept, {}};
}

}  // namespace ng
