#pragma once
// Splits a stream of NNTP replies as it is received, without copying their
// bodies: a status line and, for 220 to 222 (ARTICLE, HEAD, BODY), the lines
// up to the one holding only ".". Bytes come in whatever pieces recv gives.

#include <cstddef>
#include <string>
#include <string_view>

namespace ngraw {

class ReplyScanner {
public:
    // Status lines longer than this are not NNTP: the stream counts as broken.
    static constexpr std::size_t kMaxStatusLine = 2048;

    // Reads from `data` up to the end of the current reply and returns the
    // bytes it took (all of them while the reply goes on). When the reply
    // ended there, Complete() holds until the next call.
    std::size_t Feed(std::string_view data);

    bool Complete() const { return m_bComplete; }
    // The status line of the reply last completed, without its line end.
    const std::string& Status() const { return m_status; }
    // Its three-digit code; 0 when it has none.
    int Code() const;
    // A status line past kMaxStatusLine was seen; nothing more is read.
    bool Broken() const { return m_bBroken; }

private:
    std::size_t FeedStatus(std::string_view data);
    std::size_t FeedBody(std::string_view data);

    bool m_bInBody = false;
    bool m_bComplete = false;
    bool m_bBroken = false;
    std::string m_line;  // the status line being read
    std::string m_status;
    // The last bytes of the body so far (at most three), for an end line
    // that arrives cut between two reads; it starts as the status line's LF.
    std::string m_tail;
};

}  // namespace ngraw
