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
    return m_pass.ReadBlock(kMaxArticleBytes, [&](std::string line) {
        onLine(nntp::WithoutDotStuffing(line), static_cast<int64_t>(line.size()));
    });
}

}  // namespace ng
