#pragma once
// Posts split over several articles, seen from their overview lines: the
// part counter at the end of a subject ("(2/3)" or "[2/3]"), the key that
// names a post (its subject but for the part number, and its sender), and
// the grouping of a group's overview lines into posts. A pending entry holds
// a post's overview lines one after another, each ending in its CR LF.

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

// The overview lines of one pending entry.
std::vector<std::string_view> EntryLines(std::string_view entry);

// One group's overview lines gathered into posts, in the order each post
// first appears; an article that is no part of a larger post stays alone.
class PostGrouper {
public:
    struct Member {
        int64_t part = 0;  // 0 for an article on its own
        size_t index = 0;  // of its overview line
        OverviewFields fields;
    };
    struct Post {
        std::string key;  // "" for an article on its own
        int64_t total = 0;
        std::vector<Member> members;  // in part order once Finish has run
    };

    void Add(size_t index, OverviewFields fields);
    // Orders each post's parts; a part listed twice keeps its first line.
    std::vector<Post> Finish();

private:
    std::vector<Post> m_posts;
    std::unordered_map<std::string, size_t> m_byKey;
};

}  // namespace ng
