#pragma once
// Fetches articles: sends ARTICLE, reads the status line, then hands the
// body's lines to the caller one by one (dot-stuffing undone) until the
// closing ".", within a cap on what one article may hold. Every line is a
// poll point: a lost connection or a stop ends the body early.
//
// Over a real link every ARTICLE would wait a whole round trip before the
// server starts on it; so the next few are sent ahead while the current one
// is read (the server answers in order). A reply to an article sent ahead
// and no longer wanted (removed in the pending dialog) is read and dropped.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ng {

class PassContext;

class ArticleFetcher {
public:
    // Past this many bytes held for one article the connection is dropped
    // and the pass ends as for a lost connection.
    static constexpr int64_t kMaxArticleBytes = 256LL * 1024 * 1024;

    explicit ArticleFetcher(PassContext& pass) : m_pass(pass) {}

    // At most this many ARTICLE commands out at once (1: one at a time).
    void SetWindow(size_t window) { m_window = window < 1 ? 1 : window; }
    // The articles to come, in the order they will be asked for: as many as
    // the window allows are sent now.
    void SendAhead(const std::vector<std::string>& upcoming);
    // Reads and drops the replies to every article sent ahead: before any
    // other command, the server must have answered them all.
    void DropSentAhead();

    enum class Reply {
        Follows,  // 220: the article comes
        Other,    // any other answer (no such article, ...)
        None,     // no answer at all: the connection went or a stop cut the wait short
    };
    // The reply to ARTICLE for `number`, sent now unless sent ahead.
    Reply Request(std::string_view number);

    // Reads the body of an article that follows. Each line (its line end
    // kept) goes to onLine with the number of bytes it took on the wire.
    // False when the body did not end with its "." line (stop, lost connection).
    bool ReadBody(const std::function<void(std::string_view line, int64_t received)>& onLine);

private:
    void DropOneReply();

    PassContext& m_pass;
    size_t m_window = 1;
    std::deque<std::string> m_sent;  // sent, reply not yet read, in order
};

}  // namespace ng
