#include "engine/HeaderFilter.h"

#include <algorithm>

#include "platform/AsciiCase.h"
#include "store/DownloadHistory.h"
#include "store/SeenArticles.h"

namespace ng {

namespace {

std::string Place(std::string_view group, int64_t number) {
    return std::string(group) + ":" + std::to_string(number);
}

// The places an Xref names in groups other than `group` ("host g:n g:n").
std::vector<std::string_view> OtherPlaces(std::string_view xref, std::string_view group) {
    std::vector<std::string_view> places;
    size_t at = xref.find(' ');  // past the server's name
    while (at != std::string_view::npos) {
        const size_t start = xref.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        at = xref.find(' ', start);
        std::string_view place = xref.substr(start, at == std::string_view::npos ? at : at - start);
        const size_t colon = place.rfind(':');
        if (colon != std::string_view::npos && colon > 0 && place.substr(0, colon) != group) {
            places.push_back(place);
        }
    }
    return places;
}

}  // namespace

void HeaderFilter::Remembered::Add(std::string_view text) {
    if (m_set.count(text) != 0) {
        return;
    }
    constexpr size_t kBlockSize = 1 << 20;
    if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < text.size()) {
        m_blocks.emplace_back().reserve(std::max(kBlockSize, text.size()));
    }
    std::string& block = m_blocks.back();
    const size_t at = block.size();
    block.append(text);  // within the reserved room: the block does not move
    m_set.insert(std::string_view(block).substr(at, text.size()));
}

void HeaderFilter::Remembered::Clear() {
    TextSet().swap(m_set);
    std::vector<std::string>().swap(m_blocks);
}

HeaderFilter::HeaderFilter(const FilterSettings& settings, const DownloadHistory& history,
                           const SeenArticles* seen)
    : m_settings(settings), m_history(history), m_pSeen(seen) {}

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

bool HeaderFilter::SizeFits(int64_t lines, int64_t bytes, int64_t estimatedBytes) const {
    const FilterSettings& s = m_settings;
    if ((s.minLines && lines < *s.minLines) || (s.maxLines && lines > *s.maxLines)) {
        return false;
    }
    if (bytes < 0) {
        return true;  // no size in bytes to judge by
    }
    constexpr int64_t kKB = 1024;
    const int64_t cap = INT64_MAX / kKB;
    return !(s.maxKB && bytes > std::min(*s.maxKB, cap) * kKB) &&
           !(s.minKB && estimatedBytes < std::min(*s.minKB, cap) * kKB);
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

std::optional<bool> HeaderFilter::SeenBefore(const OverviewRecord& record,
                                             std::string_view group) const {
    const std::vector<std::string_view> places = OtherPlaces(record.xref, group);
    if (record.messageId.empty() && places.empty()) {
        return std::nullopt;
    }
    if (!record.messageId.empty() &&
        (m_ids.Has(record.messageId) || (m_pSeen && m_pSeen->HasMessageId(record.messageId)))) {
        return true;
    }
    for (std::string_view place : places) {
        if (m_places.Has(place) || (m_pSeen && m_pSeen->HasPlace(place))) {
            return true;
        }
    }
    return false;
}

void HeaderFilter::NoteAccepted(std::string_view subject) {
    m_subjects.Add(subject);
}

void HeaderFilter::NoteAccepted(const OverviewRecord& record, std::string_view group) {
    if (record.messageId.empty() && OtherPlaces(record.xref, group).empty()) {
        m_subjects.Add(record.subject);
        return;
    }
    if (!record.messageId.empty()) {
        m_ids.Add(record.messageId);
    }
    m_places.Add(Place(group, record.number));
}

void HeaderFilter::NoteAccepted(const PostView& post) {
    m_subjects.Add(post.key);
    for (const OverviewRecord* record : post.parts) {
        if (!record->messageId.empty()) {
            m_ids.Add(record->messageId);
        }
        m_places.Add(Place(post.group, record->number));
    }
}

void HeaderFilter::Clear() {
    m_subjects.Clear();
    m_ids.Clear();
    m_places.Clear();
}

HeaderFilter::Decision HeaderFilter::AcceptHeader(std::string_view subject, std::string_view sender,
                                                  int lines, int64_t bytes) const {
    if (!SizeFits(lines, bytes, bytes)) {
        return {Verdict::LineCount, {}};
    }
    const std::string upperSubject = ToUpperAscii(subject);
    if (Verdict verdict = TestText(upperSubject, sender); verdict != Verdict::Accept) {
        return {verdict, {}};
    }
    if (auto matched = m_history.FindHit(upperSubject)) {
        return {Verdict::InHistory, std::move(*matched)};
    }
    if (m_subjects.Has(subject)) {
        return {Verdict::Crosspost, {}};
    }
    return {Verdict::Accept, {}};
}

HeaderFilter::Decision HeaderFilter::AcceptArticle(const OverviewRecord& record,
                                                   std::string_view group) const {
    std::optional<bool> seen = SeenBefore(record, group);
    if (!seen) {
        return AcceptHeader(record.subject, record.from, record.lines, record.bytes);
    }
    // As AcceptHeader, with the crosspost told by message-id and Xref.
    Decision decision = AcceptHeader(record.subject, record.from, record.lines, record.bytes);
    if (decision.verdict == Verdict::Crosspost) {
        decision.verdict = Verdict::Accept;  // a subject shared by distinct posts
    }
    if (decision.verdict == Verdict::Accept && *seen) {
        decision.verdict = Verdict::Crosspost;
    }
    return decision;
}

HeaderFilter::Decision HeaderFilter::AcceptPost(const PostView& post) const {
    int64_t largest = post.keptLargestLines;
    int64_t bytes = post.keptBytes;
    for (const OverviewRecord* part : post.parts) {
        largest = std::max<int64_t>(largest, part->lines);
        bytes += part->bytes;
    }
    const int64_t known =
        std::max<int64_t>(post.keptParts + static_cast<int64_t>(post.parts.size()), 1);
    const int64_t estimate = known >= post.total
                                 ? bytes
                                 : bytes / known * post.total + bytes % known * post.total / known;
    if (!SizeFits(largest, bytes, estimate)) {
        return {Verdict::LineCount, {}};
    }
    std::vector<std::string> upperSubjects;
    for (const OverviewRecord* part : post.parts) {
        upperSubjects.push_back(ToUpperAscii(part->subject));
        if (Verdict verdict = TestText(upperSubjects.back(), part->from);
            verdict != Verdict::Accept) {
            return {verdict, {}};
        }
    }
    for (const std::string& upperSubject : upperSubjects) {
        if (auto matched = m_history.FindHit(upperSubject)) {
            return {Verdict::InHistory, std::move(*matched)};
        }
    }
    // Every part listed told apart by message-id or Xref: seen when all
    // were; otherwise by the post's key, as a subject always was.
    bool allTold = !post.parts.empty();
    bool allSeen = true;
    for (const OverviewRecord* part : post.parts) {
        std::optional<bool> seen = SeenBefore(*part, post.group);
        allTold = allTold && seen.has_value();
        allSeen = allSeen && seen.value_or(false);
    }
    if (allTold ? allSeen : m_subjects.Has(post.key)) {
        return {Verdict::Crosspost, {}};
    }
    return {Verdict::Accept, {}};
}

}  // namespace ng
