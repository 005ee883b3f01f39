#include <gtest/gtest.h>

#include "engine/DisplayFormat.h"
#include "engine/Overview.h"
#include "engine/ProcessGroups.h"

using namespace ng;

TEST(DisplayFormat, NumbersAndTexts) {
    EXPECT_EQ(GroupThousands(1234567), "1,234,567");
    EXPECT_EQ(GroupThousands(123456), "123,456");
    EXPECT_EQ(GroupThousands(999), "999");
    EXPECT_EQ(GroupThousands(0), "0");
    EXPECT_EQ(GroupThousands(1000), "1,000");
    EXPECT_EQ(GroupThousands(5000000000LL), "5,000,000,000");  // past 2 GB still counts
    EXPECT_EQ(ProgressOf(3, 12).text, "3 of 12 (25%)");
    EXPECT_EQ(ProgressOf(3, 12).percent, 25);
    EXPECT_EQ(ProgressOf(7, 0).text, "0 of 1 (0%)");
    EXPECT_EQ(StatusProgressPercent(5, 0), 0);
    EXPECT_EQ(StatusProgressPercent(5, 10), 50);
    EXPECT_EQ(RateText(0, 500), "0");
    EXPECT_EQ(RateText(4, 1000), "250");
    EXPECT_EQ(RateSinceText(100, 100, 5), "0");
    EXPECT_EQ(ElapsedText(3661), " 1:01:01");
    EXPECT_EQ(ElapsedText(90000), " 1:00:00");
    EXPECT_EQ(ElapsedText(59), " 0:00:59");
    EXPECT_EQ(DoubleAmpersands("Tom & Jerry && co"), "Tom && Jerry &&&& co");
    EXPECT_EQ(StatusLineText("Ready..."), "  Ready...");
}

TEST(Overview, ReplyCodesAndNumbers) {
    EXPECT_EQ(ReplyCode("211 5 1 5 alt.test\r\n"), 211);
    EXPECT_EQ(ReplyCode(""), 0);
    EXPECT_EQ(ReplyCode("abc"), 0);
    EXPECT_EQ(LeadingNumber("99999999999999999999999999"), LeadingNumber("9999999999999999999"));
    EXPECT_EQ(LeadingInt("-99999999999"), INT32_MIN);
    std::string line = "..x\r\n";
    UndoDotStuffing(line);
    EXPECT_EQ(line, ".x\r\n");
    line = "plain\r\n";
    UndoDotStuffing(line);
    EXPECT_EQ(line, "plain\r\n");
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

TEST(SplitList, ColonRules) {
    auto split = [](const std::string& text) {
        std::vector<std::string> list;
        int n = CProcessGroups::SplitList(text, list);
        EXPECT_EQ(n, static_cast<int>(list.size()));
        return list;
    };
    using L = std::vector<std::string>;
    EXPECT_EQ(split("jpg:gif"), (L{"jpg", "gif"}));
    EXPECT_EQ(split("jpg:"), (L{"jpg"}));
    EXPECT_EQ(split(":jpg"), (L{"", "jpg"}));
    EXPECT_EQ(split("a::b"), (L{"a", "", "b"}));
    EXPECT_EQ(split(""), L{});
}
