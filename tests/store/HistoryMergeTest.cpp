// Two programs on one profile (the window and a scheduled pass) each hold
// the history they loaded: whichever saves last must not lose the other's
// names, and a list that nobody else touched saves as it always did.

#include <gtest/gtest.h>

#include "store/DownloadHistory.h"
#include "store/PictureHashes.h"
#include "support/TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

Lines OnDisk(const std::string& path) {
    return ngtest::SplitFields(ngtest::ReadFile(path), '\n');
}

TEST(HistoryMerge, TheLastSaveKeepsTheOtherProgramsNames) {
    ngtest::TempDir dir;
    const std::string path = dir.File("HistList");
    ngtest::WriteFile(path, "old-one.jpg\nold-two.jpg\n");
    ng::DownloadHistory window, scheduled;
    ASSERT_TRUE(window.Load(path, 20000));
    ASSERT_TRUE(scheduled.Load(path, 20000));
    window.Add("window-a.jpg");
    scheduled.Add("pass-a.jpg");
    ASSERT_TRUE(scheduled.Save(path));
    window.Add("window-b.jpg");
    ASSERT_TRUE(window.Save(path));
    EXPECT_EQ(OnDisk(path),
              (Lines{"old-one.jpg", "old-two.jpg", "window-a.jpg", "window-b.jpg", "pass-a.jpg"}));
    // The other way round, and again: nothing twice, nothing lost.
    scheduled.Add("pass-b.jpg");
    ASSERT_TRUE(scheduled.Save(path));
    EXPECT_EQ(OnDisk(path), (Lines{"old-one.jpg", "old-two.jpg", "pass-a.jpg", "pass-b.jpg",
                                   "window-a.jpg", "window-b.jpg"}));
    // The names the other saved join the list the history test asks.
    EXPECT_TRUE(window.FindHit("PASS-A.JPG (1/1)"));
}

TEST(HistoryMerge, NamesLeftOutOnPurposeStayOut) {
    // What the load dropped (past MaxHist) or the save drops (short names)
    // is no other program's news.
    ngtest::TempDir dir;
    const std::string path = dir.File("HistList");
    ngtest::WriteFile(path, "first.jpg\nabc\nsecond.jpg\nthird.jpg\n");
    ng::DownloadHistory history;
    ASSERT_TRUE(history.Load(path, 2));
    history.Add("fourth.jpg");
    ASSERT_TRUE(history.Save(path));
    EXPECT_EQ(OnDisk(path), (Lines{"second.jpg", "third.jpg", "fourth.jpg"}));
}

TEST(HistoryMerge, PictureHashesOfTheOtherProgramSurviveAFullList) {
    ngtest::TempDir dir;
    const std::string path = dir.File("PictureHashes");
    auto hash = [](char c) { return std::string(64, c); };
    ngtest::WriteFile(path, hash('a') + " a.jpg\n" + hash('b') + " b.jpg\n");
    ng::PictureHashes window, scheduled;
    ASSERT_TRUE(window.Load(path, 3));
    ASSERT_TRUE(scheduled.Load(path, 3));
    scheduled.Add(hash('c'), "c.jpg");
    ASSERT_TRUE(scheduled.Save(path, 3));
    window.Add(hash('d'), "d.jpg");
    ASSERT_TRUE(window.Save(path, 3));
    // Three kept: the oldest goes, not the one the other program saved,
    // which stays where it was written, before this program's own.
    EXPECT_EQ(OnDisk(path),
              (Lines{hash('b') + " b.jpg", hash('c') + " c.jpg", hash('d') + " d.jpg"}));
    EXPECT_EQ(window.Find(hash('c')), "c.jpg");
}

}  // namespace
