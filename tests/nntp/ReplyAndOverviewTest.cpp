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

// A record is parsed once and kept: the fields the pass uses, whatever the
// line's shape, and formatted for a list file it parses back the same.
TEST(Overview, RecordsParseOnceAndFormatBackTheSame) {
    struct Case {
        const char* line;
        bool valid;
        int64_t number, bytes;
        int lines;
        const char *subject, *messageId, *xref;
    };
    const Case cases[] = {
        {"12\tcat.jpg (1/1)\tA <a@b>\tdate\t<id@x>\t\t45000\t600\tXref: h alt.a:12 alt.b:7\r\n",
         true, 12, 45000, 600, "cat.jpg (1/1)", "<id@x>", "h alt.a:12 alt.b:7"},
        {"3\ts\tf\td\ti\tr\t-5\t-40 lines\txref:h g:3\r\n", true, 3, 0, -40, "s", "i", "h g:3"},
        {"7\tonly subject\r\n", true, 7, 0, 0, "only subject", "", ""},
        {"5\ta\rb\tf\td\t<m>\t\t1\t2\tOther: x\tXref: y\n", true, 5, 1, 2, "a\rb", "<m>", "y"},
        {"no number\tx\r\n", false, 0, 0, 0, "", "", ""},
        {"101\r\n", false, 0, 0, 0, "", "", ""},
        {"", false, 0, 0, 0, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto record = ng::ParseOverviewRecord(c.line);
        ASSERT_EQ(record.has_value(), c.valid);
        if (!record) {
            continue;
        }
        EXPECT_EQ(std::tie(record->number, record->bytes, record->lines),
                  std::make_tuple(c.number, c.bytes, c.lines));
        EXPECT_EQ(
            std::tie(record->subject, record->messageId, record->xref),
            std::make_tuple(std::string(c.subject), std::string(c.messageId), std::string(c.xref)));
        const std::string formatted = ng::FormatOverviewRecord(*record);
        EXPECT_EQ(formatted.find_first_of("\r\n"), std::string::npos);
        auto back = ng::ParseOverviewRecord(formatted);
        ASSERT_TRUE(back);
        EXPECT_EQ(std::tie(back->number, back->bytes, back->lines, back->messageId, back->xref),
                  std::tie(record->number, record->bytes, record->lines, record->messageId,
                           record->xref));
    }
}
