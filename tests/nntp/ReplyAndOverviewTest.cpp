// The readers of what a news server sends: status lines, block lines,
// GROUP replies and overview lines.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <tuple>

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
    struct Case {
        const char* line;
        const char *number, *subject, *from;
        int lines;
    };
    const Case cases[] = {
        {"12\tcat.jpg (1/1)\tA <a@b>\tdate\t<id>\t\t45000\t600\tXref: x\r\n", "12", "cat.jpg (1/1)",
         "A <a@b>", 600},
        // Without an eighth TAB the line count is the rest of the line.
        {"1\ts\tf\td\ti\tr\tb\t750\r\n", "1", "s", "f", 750},
        {"7\tonly subject\r\n", "7", "only subject\r\n", "", 0},
        {"", "", "", "", 0},
    };
    for (const Case& c : cases) {
        OverviewFields f = ParseOverviewLine(c.line);
        EXPECT_EQ(std::tie(f.number, f.subject, f.from, f.lines),
                  std::make_tuple(std::string(c.number), std::string(c.subject),
                                  std::string(c.from), c.lines))
            << c.line;
    }
}

// The compact form a pending entry keeps parses back to the same fields,
// odd line counts and short lines included, and ends in CR LF.
TEST(Overview, CompactLinesParseBackTheSame) {
    const char* const lines[] = {
        "12\tcat.jpg (1/1)\tA <a@b>\tdate\t<id>\t\t45000\t600\tXref: x\r\n",
        "3\ts\tf\td\ti\tr\tb\t-40 lines\r\n",
        "4\ts\tf\td\ti\tr\tb\t99999999999999\r\n",
        "5\t\t\t\t\t\t\t\r\n",
        "7\tonly subject\r\n",  // kept whole: its subject holds the line end
    };
    for (const char* line : lines) {
        const OverviewFields f = ParseOverviewLine(line);
        const std::string compact = CompactOverviewLine(line, f);
        const OverviewFields back = ParseOverviewLine(compact);
        EXPECT_EQ(std::tie(back.number, back.subject, back.from, back.lines),
                  std::tie(f.number, f.subject, f.from, f.lines))
            << line;
        EXPECT_TRUE(compact.ends_with("\r\n")) << line;
        EXPECT_EQ(compact.find("\r\n"), compact.size() - 2) << line;
    }
}
