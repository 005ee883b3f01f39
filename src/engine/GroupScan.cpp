// One active group: select it, fetch the overview lines of the articles
// since its high-water mark, filter them into the pending list, retrieve
// what was accepted, and store the new mark.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/PostParts.h"
#include "engine/ProcessGroups.h"
#include "nntp/Overview.h"
#include "nntp/Reply.h"
#include "platform/Numbers.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

using namespace ng;

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

void CProcessGroups::ProcessGroup(const std::string& group) {
    m_groupPostKeys.clear();
    // The group's own folder, when separate folders are enabled and it has one.
    std::string dirText = m_store.GetProfileString(keys::kDownloadDirsSection, group, "");
    bool ownDirectory = !dirText.empty() &&
                        m_store.GetProfileInt(keys::kDownloadDirsSection, keys::kEnable, 0) != 0;
    std::string groupPath = m_strDownloadDir + dirText;
    bool groupPathExisted = false;
    if (ownDirectory) {
        groupPathExisted = CanEnterDirectory(groupPath);
        m_strSaveDir = groupPath + "/";
    } else {
        m_strSaveDir = m_strDownloadDir;
    }

    // A negative mark (left by an older version after a senseless reply)
    // would make a range no server understands: start the group afresh.
    const int64_t mark =
        std::max<int64_t>(0, LeadingNumber(m_store.GetProfileString(
                                 m_strHost, group, std::to_string(defaults::kHighWaterMark))));
    int64_t lastDealtWith = mark;

    m_pass.SendLine("GROUP " + group + "\r\n");
    GroupReply reply = ParseGroupResponse(m_pass.ReadLine());
    // Numbers that make no sense are a failure for this group: its mark stays.
    if (reply.code != nntp::kGroupSelected || reply.count == 0 || !reply.sensible) {
        return;
    }
    // A first visit to a big group may start from its newest articles.
    int64_t from = mark + 1;
    if (mark == 0 && m_settings.firstVisitMax > 0) {
        from = std::max(from, reply.last - m_settings.firstVisitMax + 1);
    }
    // New articles are those above both the mark and first - 1: a group whose
    // only new article is its first one still has one to fetch.
    int64_t estimate = std::min(reply.count, reply.last - std::max(from - 1, reply.first - 1));
    if (estimate == 0) {
        Window().SetStatusText("No articles found in " + group);
        return;
    }
    int64_t overviewEnd = reply.last;
    if (!FetchOverview(group, from, reply.first, reply.last, estimate, overviewEnd)) {
        return;
    }

    int pendingTotal = static_cast<int>(m_pending.Size());
    if (pendingTotal > 0) {
        Window().SetStatusText(Format("Retrieving %lld files from ", pendingTotal, group));
    } else {
        Window().SetStatusText("No articles found in " + group);
    }
    Window().SetStatusProgress(0, 0);

    if (pendingTotal > 0) {
        Window().EnablePending(true);
        int j = 0;
        while (auto head = m_pending.TakeHead()) {
            if (!m_pass.Connected()) {
                m_pass.RequestStop();
            }
            if (m_pass.PollStop()) {
                break;
            }
            ++j;
            Window().SetProgress(ArticleProgress, j, pendingTotal, false);
            // A frequency of 0 or less means: save at the end of the pass only.
            if (m_settings.histSaveFrequency > 0 && j % m_settings.histSaveFrequency == 0) {
                SaveHistory(/*unlessUnchanged=*/true);
            }
            // An entry is one article, or the parts of one post.
            const std::vector<std::string_view> lines = EntryLines(*head);
            SendAhead(lines);
            OverviewFields fields = ParseOverviewLine(lines.front());
            m_strSubject = fields.subject;
            m_strFrom = fields.from;
            m_expectedLines = fields.lines;
            Window().SetFromText(m_strFrom);
            if (ownDirectory && !groupPathExisted) {
                MakeDirectories(groupPath);  // a failure shows when the file cannot be created
            }
            const bool post = MultiPartCounter(fields.subject).has_value();
            bool dealtWith = post ? RetrievePost(lines) : RetrieveArticle(fields.number);
            ++m_articlesSaved;
            Window().SetArticlesSaved(m_articlesSaved);
            if (dealtWith) {
                // A post is dealt with up to its last part.
                lastDealtWith = LeadingNumber(fields.number);
                for (std::string_view line : lines) {
                    lastDealtWith =
                        std::max(lastDealtWith, LeadingNumber(ParseOverviewLine(line).number));
                }
            }
            if (m_bCatchUp) {
                lastDealtWith = reply.last;
            }
            Window().SetFromText("");
            Window().SetSubjectText("");
            if (auto removed = m_pending.TakeRemovals()) {
                pendingTotal -= *removed;
                Window().SetProgress(ArticleProgress, j, pendingTotal, false);
            }
        }
    }
    if (!m_pass.StopRequested()) {
        m_fetcher.DropSentAhead();  // the next group's GROUP must get its own reply
    }
    m_pending.Clear();
    Window().EnablePending(false);

    // A group walked to its end is marked up to the server's last article,
    // or as far as its overview came when the server refused the rest.
    int64_t newMark = m_pass.StopRequested() ? lastDealtWith : overviewEnd;
    if (!m_store.WriteProfileString(m_strHost, group, std::to_string(newMark))) {
        // Without its mark the group would be fetched again: the pass must
        // not end as if all were well.
        int error = errno;
        m_pass.Fail("Error--cannot save the settings in " + m_store.Path() + " (" +
                    std::strerror(error) + ")");
    }
}

bool CProcessGroups::FetchOverview(const std::string& group, int64_t from, int64_t groupFirst,
                                   int64_t last, int64_t estimate, int64_t& overviewEnd) {
    // Ranges [first, last]; the last one stays open ("XOVER n-"), as a
    // single one always was, for articles that arrive meanwhile. The first
    // range starts at `from` but reaches past the numbers below the group's
    // first article, which hold nothing.
    std::vector<std::pair<int64_t, int64_t>> ranges;
    int64_t end = std::max(from, groupFirst) + kOverviewRange - 1;
    for (int64_t first = from; first <= last || ranges.empty(); end += kOverviewRange) {
        ranges.emplace_back(first, end >= last ? -1 : end);
        first = end + 1;
    }
    auto command = [](const std::pair<int64_t, int64_t>& range) {
        return "XOVER " + std::to_string(range.first) + "-" +
               (range.second < 0 ? std::string() : std::to_string(range.second)) + "\r\n";
    };
    size_t sent = 0;
    size_t wanted = ranges.size();  // fewer once the server refuses a range
    int64_t complete = from - 1;    // the overview is whole up to here
    int fetched = 0;
    bool announced = false;  // the status names the group with the first block
    // Every command sent gets its reply read, whatever happens, or the
    // replies to later commands would be taken for these.
    for (size_t done = 0; done < sent || done < wanted; ++done) {
        // A few commands out at once keep the link busy; the server answers in order.
        while (sent < wanted && sent < done + kRangesInFlight) {
            m_pass.SendLine(command(ranges[sent++]));
        }
        const int code = nntp::ReplyCode(m_pass.ReadLine());
        if (code == nntp::kNoArticleInRange && done < wanted) {
            // An empty range (a gap in the numbers) is whole as it is.
            if (complete == ranges[done].first - 1) {
                complete = ranges[done].second < 0 ? last : ranges[done].second;
            }
            continue;
        }
        if (code != nntp::kOverviewFollows) {
            wanted = std::min(wanted, done);  // the rest waits for the next pass
            continue;
        }
        if (done >= wanted) {
            // Sent before a range was refused: the mark stops before it, so
            // its articles wait for the next pass too.
            m_pass.ReadBlock(kMaxOverviewBytes, [](std::string_view) {});
            continue;
        }
        if (!announced) {
            announced = true;
            Window().SetStatusText(Format("Retrieving up to %lld headers in ", estimate, group));
        }
        std::vector<std::string> lines;
        bool whole = m_pass.ReadBlock(kMaxOverviewBytes, [&](std::string_view line) {
            lines.emplace_back(line);
            if (++fetched % 10 == 0) {
                Window().SetStatusProgress(fetched, ClampToInt(estimate));
            }
        });
        // Each range is filtered as it comes: memory does not grow with the group.
        FilterOverview(group, lines);
        if (!whole) {
            break;  // stopped or lost: nothing more is read
        }
        if (complete == ranges[done].first - 1) {
            complete = ranges[done].second < 0 ? last : ranges[done].second;
        }
    }
    if (wanted == 0) {
        return false;  // the group is skipped, its mark stays
    }
    overviewEnd = std::min(last, complete);
    return true;
}

// Sends ARTICLE ahead for the entry being retrieved and those after it, as
// far as the window reaches, in the order they will be asked for.
void CProcessGroups::SendAhead(const std::vector<std::string_view>& current) {
    std::vector<std::string> upcoming;
    auto add = [&](std::string_view line) {
        std::string number = ParseOverviewLine(line).number;
        if (IsArticleNumber(number)) {
            upcoming.push_back(std::move(number));
        }
    };
    for (std::string_view line : current) {
        add(line);
    }
    for (const std::string& entry : m_pending.Peek(m_settings.articlesInFlight)) {
        for (std::string_view line : EntryLines(entry)) {
            add(line);
        }
    }
    m_fetcher.SendAhead(upcoming);
}

// One overview line through the header filter: into the pending list, or
// counted, shown and logged as a rejection.
void CProcessGroups::Judge(const OverviewFields& fields, const std::string& line) {
    HeaderFilter::Decision decision =
        m_filter.AcceptHeader(fields.subject, fields.from, fields.lines);
    if (decision.verdict == HeaderFilter::Verdict::Accept) {
        m_pending.Append(CompactOverviewLine(line, fields));
        m_filter.NoteAccepted(fields.subject);
        return;
    }
    Count(decision, fields.subject);
}

// One post split over several articles through the header filter, with
// the parts kept from earlier passes: into the pending list as one entry
// (the parts' overview lines one after another), or counted once as a
// rejection.
void CProcessGroups::JudgePost(const PostGrouper::Post& post,
                               const std::vector<std::string>& fetched) {
    std::optional<PartialPost> kept = m_parts.Find(post.key);
    HeaderFilter::PostView view;
    view.sender = post.members.front().fields.from;
    view.key = post.key;
    view.total = post.total;
    std::string entry;
    if (kept) {
        view.lines = kept->KeptLines();
        view.partsKnown = static_cast<int64_t>(kept->parts.size());
    }
    for (const PostGrouper::Member& member : post.members) {
        view.subjects.push_back(member.fields.subject);
        if (!kept || kept->parts.count(member.part) == 0) {
            view.lines += member.fields.lines;
            ++view.partsKnown;
        }
        entry += CompactOverviewLine(fetched[member.index], member.fields);
    }
    HeaderFilter::Decision decision = m_filter.AcceptPost(view);
    if (decision.verdict == HeaderFilter::Verdict::Crosspost && m_groupPostKeys.count(post.key)) {
        decision.verdict = HeaderFilter::Verdict::Accept;  // joined with its parts when fetched
    }
    if (decision.verdict == HeaderFilter::Verdict::Accept) {
        m_pending.Append(std::move(entry));
        m_filter.NoteAccepted(post.key);
        m_groupPostKeys.insert(post.key);
        return;
    }
    Count(decision, post.members.front().fields.subject);
}

// Counts, shows and logs a rejection.
void CProcessGroups::Count(const HeaderFilter::Decision& decision, const std::string& subject) {
    switch (decision.verdict) {
        case HeaderFilter::Verdict::InHistory:
            ++m_historySkipped;
            Window().SetHistorySkipped(m_historySkipped);
            if (m_settings.filter.logHistoryHits) {
                LogHistoryHit(decision.matched, ToUpperAscii(subject));
            }
            break;
        case HeaderFilter::Verdict::Crosspost:
            ++m_crosspostsSkipped;
            Window().SetCrosspostsSkipped(m_crosspostsSkipped);
            break;
        default:
            break;
    }
}

// Runs the fetched overview lines through the header filter into the
// pending list: an article on its own as it always was, a post split over
// several articles as a whole.
void CProcessGroups::FilterOverview(const std::string& group,
                                    const std::vector<std::string>& fetched) {
    const int fetchedCount = static_cast<int>(fetched.size());
    Window().SetStatusText(Format("Scanning %lld retrieved headers in ", fetchedCount, group));
    int scanned = 0;
    PostGrouper grouper;
    for (size_t i = 0; i < fetched.size(); ++i) {
        if (m_pass.PollStop()) {
            break;
        }
        OverviewFields fields = ParseOverviewLine(fetched[i]);
        // The number goes into an ARTICLE command: a line without a proper
        // one (no TABs, say, leaving the line end in it) is skipped.
        if (IsArticleNumber(fields.number)) {
            grouper.Add(i, std::move(fields));
        }
        ++scanned;
        if (scanned % 10 == 0) {
            Window().SetStatusProgress(scanned, fetchedCount);
        }
    }
    for (const PostGrouper::Post& post : grouper.Finish()) {
        if (m_pass.PollStop()) {
            break;
        }
        if (post.key.empty()) {
            Judge(post.members.front().fields, fetched[post.members.front().index]);
        } else {
            JudgePost(post, fetched);
        }
    }
    m_articlesScanned += scanned;
    Window().SetArticlesScanned(m_articlesScanned);
}
