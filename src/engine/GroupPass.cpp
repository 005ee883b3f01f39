// One active group: scan its overview into the pending list, retrieve what
// was accepted, ask once more for what the server did not have yet, and
// store the group's mark: the highest number below which every accepted
// article has been dealt with.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "engine/PassParts.h"
#include "engine/PostParts.h"
#include "platform/Numbers.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "store/GroupLists.h"
#include "store/WorkingFiles.h"

using namespace ng;

// What one group's walk gathers for its mark and its lists.
struct CProcessGroups::GroupWork {
    int64_t mark = 0;
    GroupScanner::Result scan;
    std::vector<int64_t> undone;          // accepted, not dealt with
    std::vector<OverviewRecord> missing;  // not there when asked for in this pass
    bool caughtUp = false;                // the window asked to skip the rest
    bool hadUnfinished = false;           // the list held something for the group
};

namespace {

std::string Format(const char* format, long long number, const std::string& text) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, number);
    return buffer + text;
}

std::vector<ArticleRequest> RequestsOf(const std::vector<PendingEntry>& entries) {
    std::vector<ArticleRequest> requests;
    for (const PendingEntry& entry : entries) {
        for (const OverviewRecord& record : entry) {
            requests.push_back({record.number, record.messageId});
        }
    }
    return requests;
}

void AddNumbers(const PendingEntry& entry, std::vector<int64_t>& numbers) {
    for (const OverviewRecord& record : entry) {
        numbers.push_back(record.number);
    }
}

}  // namespace

GroupFolder CProcessGroups::FolderOf(const std::string& group) const {
    // The group's own folder, when separate folders are enabled and it has one.
    std::string dirText = m_store.GetProfileString(keys::kDownloadDirsSection, group, "");
    bool ownDirectory =
        !dirText.empty() && ng::Read(m_store, ng::setting::kDownloadDirsEnable) != 0;
    if (!ownDirectory) {
        return {m_strDownloadDir, {}};
    }
    const std::string groupPath = m_strDownloadDir + dirText;
    return {groupPath + "/", CanEnterDirectory(groupPath) ? std::string() : groupPath};
}

void CProcessGroups::ProcessGroup(const std::string& group) {
    GroupWork work;
    // A negative mark (left by an older version after a senseless reply)
    // would make a range no server understands: start the group afresh.
    work.mark =
        std::max<int64_t>(0, LeadingNumber(m_store.GetProfileString(
                                 m_strHost, group, std::to_string(defaults::kHighWaterMark))));
    const UnfinishedList unfinishedList(files::kUnfinishedPrefix + m_strHost);
    const Unfinished unfinished = unfinishedList.Load(group, work.mark);
    work.hadUnfinished = !unfinished.Empty();

    work.scan = m_pParts->scanner.Scan(group, work.mark, unfinished);
    if (!work.scan.scanned) {
        m_pending.Clear();
        return;  // skipped: its mark stays
    }
    m_pParts->retriever.StartGroup(FolderOf(group));
    // The connections fetch while this thread decodes, up to the mark.
    m_pParts->pool.Start(group);
    RetrieveAll(group, work);
    AskAgainForMissing(group, work);
    m_pParts->pool.Finish();
    StoreMark(group, work);
}

// What was dealt with is known in the groups walked after this one, in
// this pass and later ones: a crosspost of it is not fetched again.
void CProcessGroups::NoteDealtWith(const std::string& group, const PendingEntry& entry,
                                   const EntryOutcome& outcome) {
    for (const OverviewRecord& record : entry) {
        auto same = [&](int64_t n) { return n == record.number; };
        if (std::none_of(outcome.undone.begin(), outcome.undone.end(), same) &&
            std::none_of(outcome.missing.begin(), outcome.missing.end(),
                         [&](const OverviewRecord& r) { return same(r.number); })) {
            m_pParts->seen.Note(record.messageId, group, record.number);
        }
    }
}

void CProcessGroups::RetrieveAll(const std::string& group, GroupWork& work) {
    int pendingTotal = static_cast<int>(m_pending.Size());
    Window().SetStatusText(pendingTotal > 0
                               ? Format("Retrieving %lld files from ", pendingTotal, group)
                               : "No articles found in " + group);
    Window().SetStatusProgress(0, 0);
    if (pendingTotal == 0) {
        return;
    }
    Window().EnablePending(true);
    int j = 0;
    while (!m_pass.PollStop()) {
        std::optional<PendingEntry> head = m_pending.TakeHead();
        if (!head) {
            break;
        }
        ++j;
        Window().SetProgress(ArticleProgress, j, pendingTotal, false);
        // A frequency of 0 or less means: save at the end of the pass only.
        if (m_settings.histSaveFrequency > 0 && j % m_settings.histSaveFrequency == 0) {
            SaveHistory(/*unlessUnchanged=*/true);
        }
        const std::vector<ArticleRequest> later =
            RequestsOf(m_pending.Peek(m_settings.articlesInFlight));
        EntryOutcome outcome = m_pParts->retriever.Retrieve(*head, later);
        NoteDealtWith(group, *head, outcome);
        work.undone.insert(work.undone.end(), outcome.undone.begin(), outcome.undone.end());
        work.missing.insert(work.missing.end(), outcome.missing.begin(), outcome.missing.end());
        if (m_bCatchUp) {
            work.caughtUp = true;
        }
        Window().SetFromText("");
        Window().SetSubjectText("");
        if (auto removed = m_pending.TakeRemovals()) {
            pendingTotal -= *removed;
            Window().SetProgress(ArticleProgress, j, pendingTotal, false);
        }
        if (outcome.groupFailed) {
            break;  // no later file of the group would fare better
        }
    }
    // What is left was not dealt with: the mark stays below it.
    while (std::optional<PendingEntry> rest = m_pending.TakeHead()) {
        AddNumbers(*rest, work.undone);
    }
    m_pending.Clear();
    Window().EnablePending(false);
}

// Articles the server did not have when asked for (common in the first
// minutes after posting) are asked for once more at the end of the group,
// and then by later passes for MissingKeepHours, through a small list per
// server. The list does not hold the mark back.
void CProcessGroups::AskAgainForMissing(const std::string& group, GroupWork& work) {
    const MissingList list(files::kMissingPrefix + m_strHost);
    const int64_t now = NowSeconds();
    const int64_t cutoff = now - int64_t{m_settings.missingKeepHours} * 60 * 60;
    std::map<int64_t, int64_t> since;  // number -> first missed
    std::vector<OverviewRecord> again;
    int givenUp = 0;
    const std::vector<MissingEntry> stored = list.Load(group);
    const bool loaded = !stored.empty();
    for (const MissingEntry& entry : stored) {
        auto record = ParseOverviewRecord(entry.line);
        if (!record || since.count(record->number)) {
            continue;
        }
        if (entry.since < cutoff) {
            ++givenUp;
            continue;
        }
        since[record->number] = entry.since;
        again.push_back(std::move(*record));
    }
    for (OverviewRecord& record : work.missing) {
        if (since.emplace(record.number, now).second) {
            again.push_back(std::move(record));
        }
    }
    m_report.CountTakenDown(givenUp);

    std::vector<OverviewRecord> still;
    if (!m_pass.StopRequested() && !again.empty()) {
        Window().SetStatusText(Format("Asking again for %lld articles not found in ",
                                      static_cast<long long>(again.size()), group));
        PostGrouper grouper;
        for (const OverviewRecord& record : again) {
            grouper.Add(record);
        }
        for (const PostGrouper::Post& post : grouper.Finish()) {
            PendingEntry entry;
            for (const PostGrouper::Member& member : post.members) {
                entry.push_back(member.record);
            }
            if (m_pass.PollStop()) {
                still.insert(still.end(), entry.begin(), entry.end());
                continue;
            }
            EntryOutcome outcome = m_pParts->retriever.Retrieve(entry, {});
            NoteDealtWith(group, entry, outcome);
            still.insert(still.end(), outcome.missing.begin(), outcome.missing.end());
            for (int64_t number : outcome.undone) {  // a failure: kept for the next pass
                auto at = std::find_if(entry.begin(), entry.end(),
                                       [&](const OverviewRecord& r) { return r.number == number; });
                if (at != entry.end()) {
                    still.push_back(*at);
                }
            }
            Window().SetFromText("");
            Window().SetSubjectText("");
        }
    } else {
        still = std::move(again);
    }
    std::vector<MissingEntry> entries;
    for (const OverviewRecord& record : still) {
        entries.push_back({since[record.number], FormatOverviewRecord(record)});
    }
    if (!entries.empty() || loaded) {
        // A list that cannot be written costs a retry, no picture.
        (void)list.Store(group, entries);
    }
}

void CProcessGroups::StoreMark(const std::string& group, GroupWork& work) {
    // The mark goes as far as the overview was read and everything below it
    // was dealt with, never above the server's last article.
    int64_t mark = work.scan.overviewEnd;
    if (!work.undone.empty()) {
        mark = std::min(mark, *std::min_element(work.undone.begin(), work.undone.end()) - 1);
    }
    if (work.caughtUp) {
        mark = work.scan.numbers.last;
        work.undone.clear();
    }
    mark = std::max(mark, work.mark);
    if (!m_store.WriteProfileString(m_strHost, group, std::to_string(mark))) {
        // Without its mark the group would be fetched again: the pass must
        // not end as if all were well.
        int error = errno;
        m_pass.Fail("Error--cannot save the settings in " + m_store.Path() + " (" +
                    std::strerror(error) + ")");
        return;
    }
    // Above the mark, only what is still undone is judged again next time.
    Unfinished left{work.scan.overviewEnd, {}};
    for (int64_t number : work.undone) {
        if (number > mark) {
            left.undone.push_back(number);
        }
    }
    if (!left.Empty() || work.hadUnfinished) {
        // A list that cannot be written costs fetching again, never a picture.
        (void)UnfinishedList(files::kUnfinishedPrefix + m_strHost).Store(group, std::move(left));
    }
}
