// The readers of what a news server sends: status lines, block lines,
// GROUP replies and overview lines.

#include <gtest/gtest.h>

#include <array>
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
    struct Case {
        const char* line;
        GroupReply fields;
    };
    const Case cases[] = {
        {"211 500 100 900 alt.test\r\n", {211, 500, 100, 900}},
        {"411 no such group\r\n", {411, 0, 0, 0}},
        {"", {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        GroupReply r = ParseGroupResponse(c.line);
        EXPECT_EQ((std::array{r.code, r.count, r.first, r.last}),
                  (std::array{c.fields.code, c.fields.count, c.fields.first, c.fields.last}))
            << c.line;
    }
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
