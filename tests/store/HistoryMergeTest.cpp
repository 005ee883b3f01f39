// Two programs on one profile (the window and a scheduled pass) each hold
// the history they loaded: whichever saves last must not lose the other's
// names, and a list that nobody else touched saves as it always did.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

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

namespace {

long PeakKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

TEST(HistoryMerge, AHugeHashListCostsWhatIsKeptNotWhatIsOnDisk) {
    // 200,000 hashes (14 MB) of which 100 are kept: loading and saving hold
    // no more than a line at a time beside those.
    ngtest::TempDir dir;
    const std::string path = dir.File("PictureHashes");
    {
        std::ofstream out(path);
        for (int i = 0; i < 200000; ++i) {
            char hash[65];
            std::snprintf(hash, sizeof hash, "%064x", i);
            out << hash << " picture-" << i << ".jpg\n";
        }
    }
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5";
    }
    const long before = PeakKb();
    ng::PictureHashes hashes;
    ASSERT_TRUE(hashes.Load(path, 100));
    hashes.Add(std::string(64, 'f'), "new.jpg");
    ASSERT_TRUE(hashes.Save(path, 100));
    if (!ngtest::kSanitized) {  // AddressSanitizer keeps up to 256 MB of freed blocks
        EXPECT_LT(PeakKb() - before, 6 * 1024);
    }
    EXPECT_EQ(hashes.Size(), 100u);
    Lines lines = OnDisk(path);
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines.front().substr(65), "picture-199901.jpg");
    EXPECT_EQ(lines.back(), std::string(64, 'f') + " new.jpg");
}

}  // namespace
