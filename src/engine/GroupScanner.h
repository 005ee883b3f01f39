#pragma once
// The first half of a group: select it, fetch the overview of the articles
// since its mark in ranges made as they are asked for, and run each record
// through the header filter into the pending list. An article on its own is
// judged alone, a post split over several articles as a whole (with the
// parts kept from earlier passes).

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/HeaderFilter.h"
#include "engine/PassSettings.h"
#include "engine/PendingList.h"
#include "engine/PostParts.h"
#include "nntp/Overview.h"
#include "store/GroupLists.h"

namespace ng {

class PassContext;
class PassReport;
class PartialPosts;
class ServerLink;

class GroupScanner {
public:
    // One range's overview is held whole before it is filtered; past this
    // many bytes (each line counting its bytes and the cost of holding it)
    // the connection is given up.
    static constexpr int64_t kMaxOverviewBytes = 512LL * 1024 * 1024;
    // Ranges of this many articles, this many commands out at once. A range
    // that comes back empty (a gap in the numbers) doubles the next one, so
    // that even absurd numbers cost a few dozen commands, not millions.
    static constexpr int64_t kOverviewRange = 10000;
    static constexpr size_t kRangesInFlight = 3;

    GroupScanner(PassContext& pass, PassReport& report, const PassSettings& settings,
                 ServerLink& link, HeaderFilter& filter, PendingList& pending,
                 const PartialPosts& parts);

    struct Result {
        bool scanned = false;  // false: the group is skipped and its mark stays
        GroupReply numbers;    // from the GROUP reply
        // The overview was read whole up to here (never above the group's
        // last article): the mark may go as far once all is dealt with.
        int64_t overviewEnd = 0;
    };
    // `unfinished` says which articles above the mark a stopped pass dealt
    // with already: those are not judged again.
    Result Scan(const std::string& group, int64_t mark, const Unfinished& unfinished);

private:
    struct Range {
        int64_t first;
        int64_t last;  // -1: open to the group's end
    };
    bool FetchOverview(const std::string& group, int64_t from, int64_t estimate, Result& result);
    // How many of the records were numbered as asked for.
    size_t Filter(const std::string& group, std::vector<OverviewRecord> records,
                  const Range& range);
    void Judge(const OverviewRecord& record);
    void JudgePost(const PostGrouper::Post& post);
    void Count(const HeaderFilter::Decision& decision, const std::string& subject);

    PassContext& m_pass;
    PassReport& m_report;
    const PassSettings& m_settings;
    ServerLink& m_link;
    HeaderFilter& m_filter;
    PendingList& m_pending;
    const PartialPosts& m_parts;

    // The group being scanned.
    std::string m_group;
    int64_t m_from = 0;
    int64_t m_last = 0;
    const Unfinished* m_pUnfinished = nullptr;
    int64_t m_fetched = 0;  // overview lines read so far
    // Posts accepted in the group's earlier overview ranges: the rest of
    // their parts, in a later range, is the same post, not a crosspost.
    std::unordered_set<std::string> m_groupPostKeys;
};

}  // namespace ng
