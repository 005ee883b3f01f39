#include "engine/PostParts.h"

#include <algorithm>

#include "platform/Numbers.h"

namespace ng {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<PartCounter> FindPartCounter(std::string_view subject) {
    for (size_t close = subject.size(); close-- > 0;) {
        const char c = subject[close];
        if (c != ')' && c != ']') {
            continue;
        }
        const char open = c == ')' ? '(' : '[';
        size_t slash = close;
        while (slash > 0 && IsDigit(subject[slash - 1])) {
            --slash;
        }
        if (slash == close || slash == 0 || subject[--slash] != '/') {
            continue;
        }
        size_t start = slash;
        while (start > 0 && IsDigit(subject[start - 1])) {
            --start;
        }
        if (start == slash || start == 0 || subject[start - 1] != open) {
            continue;
        }
        PartCounter counter;
        counter.part = LeadingNumber(subject.substr(start, slash - start));
        counter.total = LeadingNumber(subject.substr(slash + 1, close - slash - 1));
        counter.at = start;
        counter.length = slash - start;
        return counter;
    }
    return std::nullopt;
}

std::optional<PartCounter> MultiPartCounter(std::string_view subject) {
    auto counter = FindPartCounter(subject);
    if (!counter || counter->total < 2 || counter->part < 1 || counter->part > counter->total) {
        return std::nullopt;
    }
    return counter;
}

std::string PostKey(std::string_view subject, const PartCounter& counter, std::string_view from) {
    std::string key(subject.substr(0, counter.at));
    key += subject.substr(counter.at + counter.length);
    key += '\t';  // no overview field holds one
    key += from;
    return key;
}

std::string PostKeyOf(const OverviewRecord& record) {
    auto counter = MultiPartCounter(record.subject);
    return counter ? PostKey(record.subject, *counter, record.from) : std::string();
}

void PostGrouper::Add(OverviewRecord record) {
    auto counter = MultiPartCounter(record.subject);
    if (!counter) {
        m_posts.push_back({{}, 0, {{0, std::move(record)}}});
        return;
    }
    std::string key = PostKey(record.subject, *counter, record.from);
    auto [at, added] = m_byKey.emplace(std::move(key), m_posts.size());
    if (added) {
        m_posts.push_back({at->first, counter->total, {}});
    }
    m_posts[at->second].members.push_back({counter->part, std::move(record)});
}

std::vector<const PostGrouper::Member*> PostGrouper::Post::Distinct() const {
    std::vector<const Member*> distinct;
    for (const Member& member : members) {
        if (distinct.empty() || member.part == 0 || distinct.back()->part != member.part) {
            distinct.push_back(&member);
        }
    }
    return distinct;
}

std::vector<PostGrouper::Post> PostGrouper::Finish() {
    for (Post& post : m_posts) {
        std::stable_sort(post.members.begin(), post.members.end(),
                         [](const Member& a, const Member& b) { return a.part < b.part; });
    }
    m_byKey.clear();
    return std::move(m_posts);
}

}  // namespace ng
