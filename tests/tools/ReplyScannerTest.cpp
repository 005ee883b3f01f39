// The raw reader's reply splitting (tools/raw-read): a benchmark anchor that
// ended a reply early or late would read too little or hang, so every reply
// must end exactly at its end line, however recv cuts the stream.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "raw-read/ReplyScanner.h"

namespace {

// Replies as a server sends them, each whole.
const std::vector<std::string> kReplies = {
    "200 server ready\r\n", "211 3 1 3 alt.test\r\n",
    // Dot-stuffed lines, a line ending in "." and an empty line before the end.
    "220 1 <a@x>\r\nSubject: a\r\n\r\n..\r\n..hidden\r\nend.\r\n\r\n.\r\n",
    "220 2 <b@x>\r\n.\r\n",  // nothing in it at all
    "423 no such article\r\n", "221 3 <c@x>\r\nSubject: c\r\n.\r\n",
    "220 3 <c@x>\r\n.\r\n.\r\n",  // not stuffed: ends at the first "."
};

// Feeds the stream in pieces of `piece` bytes; the status line and end
// offset of every reply completed.
std::vector<std::pair<std::string, size_t>> Split(const std::string& stream, size_t piece) {
    ngraw::ReplyScanner scanner;
    std::vector<std::pair<std::string, size_t>> ends;
    for (size_t at = 0; at < stream.size(); at += piece) {
        std::string_view data = std::string_view(stream).substr(at, piece);
        size_t used = 0;
        while (used < data.size()) {
            used += scanner.Feed(data.substr(used));
            if (scanner.Complete()) {
                ends.emplace_back(scanner.Status(), at + used);
            }
        }
    }
    return ends;
}

TEST(ReplyScanner, EndsEveryReplyAtItsEndLineWhereverTheStreamIsCut) {
    std::string stream;
    std::vector<std::pair<std::string, size_t>> expected;
    for (const std::string& reply : kReplies) {
        stream += reply;
        expected.emplace_back(reply.substr(0, reply.find("\r\n")), stream.size());
    }
    // The last one ends early: its second "." line begins the next reply.
    expected.back().second -= 3;
    expected.emplace_back(".", stream.size());
    for (size_t piece = 1; piece <= stream.size(); ++piece) {
        EXPECT_EQ(expected, Split(stream, piece)) << "pieces of " << piece;
    }
}

TEST(ReplyScanner, StatusLinesWithoutCodesAndOverlongOnes) {
    ngraw::ReplyScanner scanner;
    EXPECT_EQ(10u, scanner.Feed("20x junk\r\n220 1 <a@x>\r\n"));
    EXPECT_TRUE(scanner.Complete());
    EXPECT_EQ(0, scanner.Code());
    ngraw::ReplyScanner broken;
    broken.Feed(std::string(ngraw::ReplyScanner::kMaxStatusLine + 1, '2'));
    EXPECT_TRUE(broken.Broken());
}

}  // namespace
