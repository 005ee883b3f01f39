#pragma once
// Posts split over several articles, seen from their overview lines: the
// part counter at the end of a subject ("(2/3)" or "[2/3]"), the key that
// names a post (its subject but for the part number, and its sender), and
// the grouping of a group's overview records into posts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "nntp/Overview.h"

namespace ng {

struct PartCounter {
    int64_t part = 0;
    int64_t total = 0;
    size_t at = 0;      // where the part number begins in the subject
    size_t length = 0;  // its digits
};

// The subject's last "(n/N)" or "[n/N]" (digits only).
std::optional<PartCounter> FindPartCounter(std::string_view subject);

// A counter of a post split over several articles: 1 <= n <= N, N > 1.
std::optional<PartCounter> MultiPartCounter(std::string_view subject);

// The post a part belongs to: the subject with its part number left out
// (the total stays), and the sender.
std::string PostKey(std::string_view subject, const PartCounter& counter, std::string_view from);

// The post key of a record that is one part of a larger post, or "".
std::string PostKeyOf(const OverviewRecord& record);

// One group's overview records gathered into posts, in the order each post
// first appears; an article that is no part of a larger post stays alone.
class PostGrouper {
public:
    struct Member {
        int64_t part = 0;  // 0 for an article on its own
        OverviewRecord record;
    };
    struct Post {
        std::string key;  // "" for an article on its own
        int64_t total = 0;
        // In part order once Finish has run. A part listed twice keeps both
        // copies, the first listed first: a damaged first copy leaves the
        // second to try.
        std::vector<Member> members;
        // Each part once (its first copy), for what the filter adds up.
        std::vector<const Member*> Distinct() const;
    };

    void Add(OverviewRecord record);
    std::vector<Post> Finish();

private:
    std::vector<Post> m_posts;
    std::unordered_map<std::string, size_t> m_byKey;
};

}  // namespace ng
