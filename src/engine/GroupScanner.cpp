#include "engine/GroupScanner.h"

#include <algorithm>
#include <cstdio>
#include <deque>

#include "engine/PassContext.h"
#include "engine/PassReport.h"
#include "engine/ServerLink.h"
#include "nntp/Reply.h"
#include "platform/AsciiCase.h"
#include "store/PartialPosts.h"

namespace ng {

namespace {

std::string Format(const char* format, long long number, const std::string& text) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, number);
    return buffer + text;
}

int ClampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

GroupScanner::GroupScanner(PassContext& pass, PassReport& report, const PassSettings& settings,
                           ServerLink& link, HeaderFilter& filter, PendingList& pending,
                           const PartialPosts& parts)
    : m_pass(pass),
      m_report(report),
      m_settings(settings),
      m_link(link),
      m_filter(filter),
      m_pending(pending),
      m_parts(parts) {}

GroupScanner::Result GroupScanner::Scan(const std::string& group, int64_t mark,
                                        const Unfinished& unfinished) {
    Result result;
    m_group = group;
    m_groupPostKeys.clear();
    m_pUnfinished = &unfinished;
    const NntpSession::Reply reply = m_link.SelectGroup(group);
    result.numbers = ParseGroupResponse(reply.text);
    const GroupReply& numbers = result.numbers;
    // Numbers that make no sense are a failure for this group: its mark stays.
    if (!reply.Is(nntp::kGroupSelected) || numbers.count == 0 || !numbers.sensible) {
        return result;
    }
    // A first visit to a big group may start from its newest articles.
    int64_t from = mark + 1;
    if (mark == 0 && m_settings.firstVisitMax > 0) {
        from = std::max(from, numbers.last - m_settings.firstVisitMax + 1);
    }
    // New articles are those above both the mark and first - 1: a group whose
    // only new article is its first one still has one to fetch.
    const int64_t estimate =
        std::min(numbers.count, numbers.last - std::max(from - 1, numbers.first - 1));
    if (estimate <= 0) {
        m_report.Window().SetStatusText("No articles found in " + group);
        return result;
    }
    m_from = from;
    m_last = numbers.last;
    m_fetched = 0;
    result.scanned = FetchOverview(group, from, estimate, result);
    return result;
}

bool GroupScanner::FetchOverview(const std::string& group, int64_t from, int64_t estimate,
                                 Result& result) {
    const GroupReply& numbers = result.numbers;
    // Ranges [first, last], made as they are asked for; the last one stays
    // open ("XOVER n-") for articles that arrive meanwhile. The first range
    // starts at `from` but reaches past the numbers below the group's first
    // article, which hold nothing.
    int64_t nextFirst = from;
    int64_t span = kOverviewRange;
    bool allMade = false;
    auto makeRange = [&]() -> Range {
        const int64_t base = nextFirst == from ? std::max(from, numbers.first) : nextFirst;
        const int64_t end = base > INT64_MAX - span ? INT64_MAX : base + span - 1;
        Range range{nextFirst, end >= numbers.last ? -1 : end};
        allMade = range.last < 0;
        nextFirst = range.last < 0 ? numbers.last + 1 : range.last + 1;
        return range;
    };
    std::deque<Range> inFlight;
    int sentOn = -1;              // the link generation the ranges in flight were sent on
    bool refused = false;         // a range was refused: the rest waits for the next pass
    bool anyRead = false;         // some range was answered (read or empty)
    int64_t complete = from - 1;  // the overview is whole up to here
    bool announced = false;       // the status names the group with the first block
    auto advance = [&](const Range& range) {
        if (complete == range.first - 1) {
            complete = range.last < 0 ? numbers.last : range.last;
        }
    };

    const bool done = m_link.Run([&](NntpSession& session) {
        if (sentOn != m_link.Generation()) {
            // A new connection: the ranges sent on the old one go out again.
            sentOn = m_link.Generation();
            for (const Range& range : inFlight) {
                session.SendOverview(range.first, range.last);
            }
        }
        for (;;) {
            // A few commands out at once keep the link busy; the server answers in order.
            while (!refused && !allMade && inFlight.size() < kRangesInFlight) {
                inFlight.push_back(makeRange());
                session.SendOverview(inFlight.back().first, inFlight.back().last);
            }
            if (inFlight.empty()) {
                return true;
            }
            const NntpSession::Reply reply = session.NextReply();
            if (reply.code == 0) {
                return false;
            }
            const Range range = inFlight.front();
            if (reply.code == nntp::kNoArticleInRange) {
                // An empty range (a gap in the numbers) is whole as it is.
                inFlight.pop_front();
                anyRead = true;
                advance(range);
                span = std::min<int64_t>(span, INT64_MAX / 2) * 2;
                continue;
            }
            if (!reply.Is(nntp::kOverviewFollows)) {
                // Refused: this range and those after it wait for the next
                // pass; replies to ranges sent after it are read and dropped.
                refused = true;
                inFlight.clear();
                session.Drain();
                return session.Usable();
            }
            if (!announced) {
                announced = true;
                m_report.Window().SetStatusText(
                    Format("Retrieving up to %lld headers in ", estimate, group));
            }
            std::vector<OverviewRecord> records;
            int64_t lines = 0;
            const bool whole =
                session.ReadBlock(kMaxOverviewBytes, [&](std::string_view line, int64_t) {
                    ++lines;
                    if (auto record = ParseOverviewRecord(line)) {
                        records.push_back(std::move(*record));
                    } else {
                        records.push_back({});  // counted as scanned, never judged
                    }
                    if (++m_fetched % 10 == 0) {
                        m_report.Window().SetStatusProgress(ClampToInt(m_fetched),
                                                            ClampToInt(estimate));
                    }
                });
            if (!whole) {
                m_fetched -= lines;  // read again whole on the next connection
                return false;
            }
            inFlight.pop_front();
            anyRead = true;
            m_link.NoteProgress();
            // Each range is filtered as it comes: memory does not grow with the group.
            const size_t inRange = Filter(group, std::move(records), range);
            span = inRange == 0 ? std::min<int64_t>(span, INT64_MAX / 2) * 2 : kOverviewRange;
            if (m_pass.StopRequested()) {
                return true;
            }
            advance(range);
        }
    });
    // A refused first range skips the group; a stop or a connection given
    // up keeps what was read, which the mark may then pass once dealt with.
    if (!anyRead && (refused || !done)) {
        return false;  // the group is skipped, its mark stays
    }
    result.overviewEnd = std::min(numbers.last, complete);
    return true;
}

// Runs a range's records through the header filter into the pending list:
// an article on its own as it always was, a post split over several
// articles as a whole.
size_t GroupScanner::Filter(const std::string& group, std::vector<OverviewRecord> records,
                            const Range& range) {
    const int fetchedCount = static_cast<int>(records.size());
    m_report.Window().SetStatusText(
        Format("Scanning %lld retrieved headers in ", fetchedCount, group));
    int scanned = 0;
    size_t inRange = 0;
    PostGrouper grouper;
    for (OverviewRecord& record : records) {
        if (m_pass.PollStop()) {
            break;
        }
        // A line without a proper number goes into no command; numbers
        // outside the range asked for, or beyond the group's last article,
        // wait for the pass that asks for them; and what a stopped pass
        // dealt with already is not judged again.
        const int64_t n = record.number;
        const bool asked = n >= std::max(range.first, m_from) &&
                           (range.last < 0 || n <= range.last) && n <= m_last;
        inRange += asked ? 1 : 0;
        if (asked && !m_pUnfinished->DealtWith(n)) {
            grouper.Add(std::move(record));
        }
        if (++scanned % 10 == 0) {
            m_report.Window().SetStatusProgress(scanned, fetchedCount);
        }
    }
    for (const PostGrouper::Post& post : grouper.Finish()) {
        if (m_pass.PollStop()) {
            break;
        }
        if (post.key.empty()) {
            Judge(post.members.front().record);
        } else {
            JudgePost(post);
        }
    }
    m_report.AddScanned(scanned);
    return inRange;
}

// One article through the header filter: into the pending list, or
// counted, shown and logged as a rejection.
void GroupScanner::Judge(const OverviewRecord& record) {
    HeaderFilter::Decision decision = m_filter.AcceptArticle(record, m_group);
    if (decision.verdict == HeaderFilter::Verdict::Accept) {
        m_pending.Append({record});
        m_filter.NoteAccepted(record, m_group);
        return;
    }
    Count(decision, record.subject);
}

// One post split over several articles through the header filter, with
// the parts kept from earlier passes: into the pending list as one entry,
// or counted once as a rejection.
void GroupScanner::JudgePost(const PostGrouper::Post& post) {
    std::optional<PartialPost> kept = m_parts.Find(post.key);
    HeaderFilter::PostView view;
    view.key = post.key;
    view.group = m_group;
    view.total = post.total;
    if (kept) {
        for (const auto& [number, part] : kept->parts) {
            view.keptBytes += part.bytes;
            view.keptLargestLines = std::max(view.keptLargestLines, part.lines);
        }
        view.keptParts = static_cast<int64_t>(kept->parts.size());
    }
    for (const PostGrouper::Member* member : post.Distinct()) {
        if (!kept || kept->parts.count(member->part) == 0) {
            view.parts.push_back(&member->record);
        }
    }
    HeaderFilter::Decision decision = m_filter.AcceptPost(view);
    if (decision.verdict == HeaderFilter::Verdict::Crosspost && m_groupPostKeys.count(post.key)) {
        decision.verdict = HeaderFilter::Verdict::Accept;  // joined with its parts when fetched
    }
    if (decision.verdict == HeaderFilter::Verdict::Accept) {
        PendingEntry entry;
        for (const PostGrouper::Member& member : post.members) {
            entry.push_back(member.record);
        }
        m_pending.Append(entry);
        m_filter.NoteAccepted(view);
        m_groupPostKeys.insert(post.key);
        return;
    }
    Count(decision, post.members.front().record.subject);
}

// Counts, shows and logs a rejection.
void GroupScanner::Count(const HeaderFilter::Decision& decision, const std::string& subject) {
    switch (decision.verdict) {
        case HeaderFilter::Verdict::InHistory:
            m_report.HistorySkip(m_settings.filter.logHistoryHits, decision.matched,
                                 ToUpperAscii(subject));
            break;
        case HeaderFilter::Verdict::Crosspost:
            m_report.CrosspostSkip();
            break;
        default:
            break;
    }
}

}  // namespace ng
