#include "raw-read/ReplyScanner.h"

#include <cstring>

namespace ngraw {

namespace {

// A body ends with the line ".": LF, ".", CR, LF. A line of the body that
// begins with "." has it doubled, so this never occurs inside one.
constexpr std::string_view kEnd = "\n.\r\n";

}  // namespace

int ReplyScanner::Code() const {
    if (m_status.size() < 3) {
        return 0;
    }
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        char c = m_status[static_cast<std::size_t>(i)];
        if (c < '0' || c > '9') {
            return 0;
        }
        code = code * 10 + (c - '0');
    }
    return code;
}

std::size_t ReplyScanner::Feed(std::string_view data) {
    m_bComplete = false;
    if (m_bBroken) {
        return data.size();
    }
    return m_bInBody ? FeedBody(data) : FeedStatus(data);
}

std::size_t ReplyScanner::FeedStatus(std::string_view data) {
    const std::size_t lf = data.find('\n');
    const std::size_t take = lf == std::string_view::npos ? data.size() : lf + 1;
    if (m_line.size() + take > kMaxStatusLine) {
        m_bBroken = true;
        return data.size();
    }
    m_line.append(data.data(), take);
    if (lf == std::string_view::npos) {
        return take;
    }
    m_line.pop_back();
    if (!m_line.empty() && m_line.back() == '\r') {
        m_line.pop_back();
    }
    m_status.swap(m_line);
    m_line.clear();
    const int code = Code();
    if (code >= 220 && code <= 222) {
        m_bInBody = true;
        m_tail = "\n";
        // The body may end at once (an empty one), or later in this piece.
        return take + FeedBody(data.substr(take));
    }
    m_bComplete = true;
    return take;
}

std::size_t ReplyScanner::FeedBody(std::string_view data) {
    // An end line begun in an earlier piece: the longest carried start first,
    // as it ends soonest.
    for (std::size_t carried = m_tail.size(); carried > 0; --carried) {
        const std::size_t rest = kEnd.size() - carried;
        if (data.size() >= rest &&
            std::string_view(m_tail).substr(m_tail.size() - carried) == kEnd.substr(0, carried) &&
            data.substr(0, rest) == kEnd.substr(carried)) {
            m_bInBody = false;
            m_bComplete = true;
            return rest;
        }
    }
    const void* hit = ::memmem(data.data(), data.size(), kEnd.data(), kEnd.size());
    if (hit) {
        m_bInBody = false;
        m_bComplete = true;
        return static_cast<std::size_t>(static_cast<const char*>(hit) - data.data()) + kEnd.size();
    }
    // Keep the last three bytes seen; a short piece may not fill them.
    if (data.size() >= kEnd.size() - 1) {
        m_tail.assign(data.substr(data.size() - (kEnd.size() - 1)));
    } else {
        m_tail.append(data);
        if (m_tail.size() > kEnd.size() - 1) {
            m_tail.erase(0, m_tail.size() - (kEnd.size() - 1));
        }
    }
    return data.size();
}

}  // namespace ngraw
