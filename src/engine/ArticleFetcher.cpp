#include "engine/ArticleFetcher.h"

#include <algorithm>
#include <string>

#include "engine/PassContext.h"
#include "nntp/Reply.h"

namespace ng {

void ArticleFetcher::SendAhead(const std::vector<std::string>& upcoming) {
    // Only past what was sent last: an upcoming list that no longer holds it
    // (the pending dialog changed it) waits until Request has caught up.
    size_t from = 0;
    if (!m_sent.empty()) {
        auto last = std::find(upcoming.begin(), upcoming.end(), m_sent.back());
        if (last == upcoming.end()) {
            return;
        }
        from = static_cast<size_t>(last - upcoming.begin()) + 1;
    }
    for (size_t i = from; i < upcoming.size() && m_sent.size() < m_window; ++i) {
        m_pass.SendLine("ARTICLE " + upcoming[i] + "\r\n");
        m_sent.push_back(upcoming[i]);
    }
}

void ArticleFetcher::DropOneReply() {
    m_sent.pop_front();
    if (nntp::ReplyCode(m_pass.ReadLineView()) == nntp::kArticleFollows) {
        m_pass.ReadBlock(kMaxArticleBytes, [](std::string_view) {});
    }
}

void ArticleFetcher::DropSentAhead() {
    while (!m_sent.empty() && m_pass.Connected() && !m_pass.StopRequested()) {
        DropOneReply();
    }
    m_sent.clear();
}

ArticleFetcher::Reply ArticleFetcher::Request(std::string_view number) {
    while (!m_sent.empty() && m_sent.front() != number && m_pass.Connected() &&
           !m_pass.StopRequested()) {
        DropOneReply();
    }
    if (m_pass.StopRequested()) {
        return Reply::None;  // nothing more is asked of the server
    }
    if (m_sent.empty() || m_sent.front() != number) {
        m_sent.clear();
        m_pass.SendLine("ARTICLE " + std::string(number) + "\r\n");
    } else {
        m_sent.pop_front();
    }
    std::string_view reply = m_pass.ReadLineView();
    if (reply.empty()) {
        return Reply::None;
    }
    return nntp::ReplyCode(reply) == nntp::kArticleFollows ? Reply::Follows : Reply::Other;
}

bool ArticleFetcher::ReadBody(
    const std::function<void(std::string_view line, int64_t received)>& onLine) {
    return m_pass.ReadBlock(kMaxArticleBytes, [&](std::string_view line) {
        onLine(nntp::WithoutDotStuffing(line), static_cast<int64_t>(line.size()));
    });
}

}  // namespace ng
