#pragma once
// Fetches one article: sends ARTICLE, reads the status line, then hands the
// body's lines to the caller one by one (dot-stuffing undone) until the
// closing ".", within a cap on what one article may hold. Every line is a
// poll point: a lost connection or a stop ends the body early.

#include <cstdint>
#include <functional>
#include <string_view>

namespace ng {

class PassContext;

class ArticleFetcher {
public:
    // Past this many bytes held for one article the connection is dropped
    // and the pass ends as for a lost connection.
    static constexpr int64_t kMaxArticleBytes = 256LL * 1024 * 1024;

    explicit ArticleFetcher(PassContext& pass) : m_pass(pass) {}

    enum class Reply {
        Follows,  // 220: the article comes
        Other,    // any other answer (no such article, ...)
        None,     // no answer at all: the connection went or a stop cut the wait short
    };
    Reply Request(std::string_view number);

    // Reads the body of an article that follows. Each line (its line end
    // kept) goes to onLine with the number of bytes it took on the wire.
    // False when the body did not end with its "." line (stop, lost connection).
    bool ReadBody(const std::function<void(std::string_view line, int64_t received)>& onLine);

private:
    PassContext& m_pass;
};

}  // namespace ng
