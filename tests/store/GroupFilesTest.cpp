#include "store/GroupFiles.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "store/DownloadLog.h"
#include "support/TestSupport.h"

using Lines = std::vector<std::string>;

namespace {

struct StatusLog {
    Lines texts;
    std::function<void(const std::string&)> Sink() {
        return [this](const std::string& text) { texts.push_back(text); };
    }
};

}  // namespace

TEST(GroupFiles, ReadersKeepOrSkipEmptyLinesAndCopeWithOddFiles) {
    ngtest::TempDir dir;
    ngtest::ScopedChdir here(dir.Path());
    std::string longName(1 << 20, 'g');
    std::string withNul("alt.nul\0group", 13);
    std::string odd = "alt.b\r\n\r\n" + longName + "\n" + withNul + "\r\n\nalt.a";
    for (const char* prefix : {"Groups.", "AllGroups.", "GroupCat."}) {
        ngtest::WriteFile(std::string(prefix) + "h", odd);
    }
    Lines lines{"stale"};
    ASSERT_TRUE(ng::ReadActiveGroups("h", lines));
    EXPECT_EQ(lines, (Lines{"alt.b", "", longName, withNul, "", "alt.a"}));
    ASSERT_TRUE(ng::ReadCategoryLines("h", lines));
    EXPECT_EQ(lines, (Lines{"alt.b", "", longName, withNul, "", "alt.a"}));
    ASSERT_TRUE(ng::ReadAllGroups("h", lines));
    EXPECT_EQ(lines, (Lines{"alt.b", longName, withNul, "alt.a"}));

    // Another host has its own, here missing, files.
    EXPECT_FALSE(ng::ReadActiveGroups("other", lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(ng::ReadAllGroups("other", lines));
    EXPECT_FALSE(ng::ReadCategoryLines("other", lines));

    ngtest::WriteFile("Groups.empty", "");
    ASSERT_TRUE(ng::ReadActiveGroups("empty", lines));
    EXPECT_TRUE(lines.empty());

    // A blank typed around a name would make another group and another mark.
    ngtest::WriteFile("Groups.blanks", "alt.a \n\talt.b\t\n   \n");
    ASSERT_TRUE(ng::ReadActiveGroups("blanks", lines));
    EXPECT_EQ(lines, (Lines{"alt.a", "alt.b", ""}));
}

TEST(GroupFiles, WritersReplaceWholeAndRoundTrip) {
    ngtest::TempDir dir;
    ngtest::ScopedChdir here(dir.Path());
    ngtest::WriteFile("Groups.h", "old.one\r\nold.two\r\nold.three\r\n");
    Lines active{"alt.z", "", "alt.a"};  // the order of the pass, empty entry kept
    ASSERT_TRUE(ng::WriteActiveGroups("h", active));
    EXPECT_EQ(ngtest::ReadFile("Groups.h"), "alt.z\n\nalt.a\n");
    Lines back;
    ASSERT_TRUE(ng::ReadActiveGroups("h", back));
    EXPECT_EQ(back, active);

    ASSERT_TRUE(ng::WriteAllGroups("h", {"a.b", "a.b", "c.d"}));
    EXPECT_EQ(ngtest::ReadFile("AllGroups.h"), "a.b\na.b\nc.d\n");
    ASSERT_TRUE(ng::WriteCategoryLines("h", {"[x]", "a.b", ""}));
    EXPECT_EQ(ngtest::ReadFile("GroupCat.h"), "[x]\na.b\n\n");
    // Switching hosts leaves the first host's files alone.
    ASSERT_TRUE(ng::WriteActiveGroups("h2", {"other"}));
    EXPECT_EQ(ngtest::ReadFile("Groups.h"), "alt.z\n\nalt.a\n");

    // No host, or one that would name a path, makes no file.
    for (std::string host : {std::string(), std::string("a/b"), std::string("x\0y", 3)}) {
        int error = 0;
        EXPECT_FALSE(ng::WriteActiveGroups(host, {"g"}, &error));
        EXPECT_EQ(error, EINVAL);
        EXPECT_FALSE(ng::WriteAllGroups(host, {"g"}));
        EXPECT_FALSE(ng::WriteCategoryLines(host, {"g"}));
        EXPECT_FALSE(ng::ReadActiveGroups(host, back));
    }
    EXPECT_FALSE(ngtest::FileExists("Groups."));
}

TEST(GroupFiles, CountActiveGroupsAndItsStatusTexts) {
    ngtest::TempDir dir;
    ngtest::ScopedChdir here(dir.Path());
    StatusLog status;
    EXPECT_EQ(ng::CountActiveGroups("h", "GroupList", status.Sink()), 0);
    EXPECT_EQ(status.texts, Lines{"Unable to open GroupList"});

    ngtest::WriteFile("Groups.h", "");
    EXPECT_EQ(ng::CountActiveGroups("h", "GroupList", status.Sink()), 0);
    EXPECT_EQ(status.texts.back(), "No groups found in GroupList");

    ngtest::WriteFile("Groups.h", "a\r\n\r\nb");  // the empty line counts
    status.texts.clear();
    EXPECT_EQ(ng::CountActiveGroups("h", "GroupList", status.Sink()), 3);
    EXPECT_TRUE(status.texts.empty());
    EXPECT_EQ(ng::CountActiveGroups("h", "GroupList", nullptr), 3);
    EXPECT_EQ(ng::CountActiveGroups("", "GroupList", status.Sink()), 0);
    EXPECT_EQ(status.texts, Lines{"Unable to open GroupList"});
}

TEST(DownloadLog, AppendsOneLinePerRecordAndClears) {
    ngtest::TempDir dir;
    std::string log = dir.File("DownloadLog");
    EXPECT_TRUE(ng::AppendDownloadLog(log, "/pics/pic.jpg", "S <s@example.com>"));
    EXPECT_TRUE(ng::AppendDownloadLog(log, "/pics/b.jpg", "evil\r\n/pics/forged.jpg -> x"));
    EXPECT_EQ(ngtest::ReadFile(log),
              "/pics/pic.jpg -> S <s@example.com>\n"
              "/pics/b.jpg -> evil  /pics/forged.jpg -> x\n");
    ng::ClearDownloadLog(log);
    EXPECT_EQ(ngtest::ReadFile(log), "");
    EXPECT_TRUE(ng::AppendDownloadLog(log, "c.jpg", ""));
    EXPECT_EQ(ngtest::ReadFile(log), "c.jpg -> \n");

    // Unreachable logs lose the record and report nothing.
    EXPECT_FALSE(ng::AppendDownloadLog(dir.File("no/such/log"), "x", "y"));
    ng::ClearDownloadLog(dir.File("no/such/log"));
    EXPECT_FALSE(ngtest::FileExists(dir.File("no")));
}
