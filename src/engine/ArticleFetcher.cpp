#include "engine/ArticleFetcher.h"

#include <string>

#include "engine/PassContext.h"
#include "nntp/Reply.h"

namespace ng {

ArticleFetcher::Reply ArticleFetcher::Request(std::string_view number) {
    m_pass.SendLine("ARTICLE " + std::string(number) + "\r\n");
    std::string reply = m_pass.ReadLine();
    if (reply.empty()) {
        return Reply::None;
    }
    return nntp::ReplyCode(reply) == nntp::kArticleFollows ? Reply::Follows : Reply::Other;
}

bool ArticleFetcher::ReadBody(
    const std::function<void(std::string_view line, int64_t received)>& onLine) {
    int64_t held = 0;
    for (std::string line = m_pass.ReadLine(); !nntp::IsEndOfBlock(line);
         line = m_pass.ReadLine()) {
        if (!m_pass.Connected()) {
            m_pass.NoteConnectionLost();
        }
        if (m_pass.PollStop()) {
            return false;
        }
        const auto received = static_cast<int64_t>(line.size());
        held += received + kHeldLineCost;
        if (held > kMaxArticleBytes) {
            m_pass.DropConnection();  // noticed as a lost connection at the next line
            continue;
        }
        onLine(nntp::WithoutDotStuffing(line), received);
    }
    return true;
}

}  // namespace ng
