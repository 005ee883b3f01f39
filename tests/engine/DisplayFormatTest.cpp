#include <gtest/gtest.h>

#include "engine/DisplayFormat.h"

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
