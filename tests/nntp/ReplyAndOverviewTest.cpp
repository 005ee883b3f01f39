// The readers of what a news server sends: status lines, block lines,
// GROUP replies and overview lines.

#include <gtest/gtest.h>

#include <climits>

#include "nntp/Overview.h"
#include "nntp/Reply.h"

using namespace ng;

TEST(Reply, CodesNumbersAndBlockLines) {
    EXPECT_EQ(nntp::ReplyCode("211 5 1 5 alt.test\r\n"), nntp::kGroupSelected);
    EXPECT_EQ(nntp::ReplyCode(""), 0);
    EXPECT_EQ(nntp::ReplyCode("abc"), 0);
    EXPECT_EQ(LeadingNumber("99999999999999999999999999"), LeadingNumber("9999999999999999999"));
    EXPECT_EQ(LeadingInt("-99999999999"), INT32_MIN);
    EXPECT_EQ(nntp::WithoutDotStuffing("..x\r\n"), ".x\r\n");
    EXPECT_EQ(nntp::WithoutDotStuffing("plain\r\n"), "plain\r\n");
    EXPECT_TRUE(nntp::IsEndOfBlock(".\r\n"));
    EXPECT_FALSE(nntp::IsEndOfBlock(".\n"));
    EXPECT_FALSE(nntp::IsEndOfBlock(""));
}

TEST(Reply, GroupReplyFields) {
    GroupReply r = ParseGroupResponse("211 500 100 900 alt.test\r\n");
    EXPECT_EQ(r.code, 211);
    EXPECT_EQ(r.count, 500);
    EXPECT_EQ(r.first, 100);
    EXPECT_EQ(r.last, 900);
    GroupReply shortReply = ParseGroupResponse("411 no such group\r\n");
    EXPECT_EQ(shortReply.code, 411);
    EXPECT_EQ(shortReply.count, 0);
    EXPECT_EQ(ParseGroupResponse("").code, 0);
}

TEST(Overview, ParsesFieldsAndShortLines) {
    auto f = ParseOverviewLine("12\tcat.jpg (1/1)\tA <a@b>\tdate\t<id>\t\t45000\t600\tXref: x\r\n");
    EXPECT_EQ(f.number, "12");
    EXPECT_EQ(f.subject, "cat.jpg (1/1)");
    EXPECT_EQ(f.from, "A <a@b>");
    EXPECT_EQ(f.lines, 600);
    // Without an eighth TAB the line count is the rest of the line.
    EXPECT_EQ(ParseOverviewLine("1\ts\tf\td\ti\tr\tb\t750\r\n").lines, 750);
    auto shortLine = ParseOverviewLine("7\tonly subject\r\n");
    EXPECT_EQ(shortLine.number, "7");
    EXPECT_EQ(shortLine.subject, "only subject\r\n");
    EXPECT_EQ(shortLine.from, "");
    EXPECT_EQ(shortLine.lines, 0);
    EXPECT_EQ(ParseOverviewLine("").lines, 0);
}
