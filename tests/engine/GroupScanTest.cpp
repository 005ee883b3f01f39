// One group from GROUP to its new mark: the estimate, the status texts, the
// progress, the pending list, the marks and the periodic history saves.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <thread>

#include <algorithm>

#include "PassHarness.h"
#include "platform/Sync.h"

namespace enginetest {
namespace {

using GroupScan = PassTest;

// Position of the first call equal to `call`, or -1.
int IndexOf(const std::vector<std::string>& calls, const std::string& call) {
    auto found = std::find(calls.begin(), calls.end(), call);
    return found == calls.end() ? -1 : static_cast<int>(found - calls.begin());
}

TEST_F(GroupScan, StatusTextsProgressAndPendingButton) {
    news.Add("alt.test", UUArticle(1, "a.jpg", RandomBytes(100, 1)));
    TestArticle tooShort = UUArticle(2, "b.jpg", RandomBytes(100, 2));
    tooShort.lines = 0;  // below MinLines: filtered out
    news.Add("alt.test", tooShort);
    news.Add("alt.test", UUArticle(3, "c.jpg", RandomBytes(100, 3)));
    news.Add("alt.two", UUArticle(5, "d.jpg", RandomBytes(100, 4)));
    SetGroups({"alt.test", "alt.two"});

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(display.CallsStarting("Status: "),
              (std::vector<std::string>{
                  "Status: Connecting to 127.0.0.1", "Status: Connected to 127.0.0.1",
                  "Status: Retrieving up to 3 headers in alt.test",
                  "Status: Scanning 3 retrieved headers in alt.test",
                  "Status: Retrieving 2 files from alt.test",
                  "Status: Retrieving up to 1 headers in alt.two",
                  "Status: Scanning 1 retrieved headers in alt.two",
                  "Status: Retrieving 1 files from alt.two", "Status: Operation complete"}));
    EXPECT_EQ(display.CallsStarting("Progress Group: "),
              (std::vector<std::string>{"Progress Group: reset", "Progress Group: 1/2",
                                        "Progress Group: reset", "Progress Group: 2/2",
                                        "Progress Group: reset"}));
    EXPECT_EQ(display.CallsStarting("Progress Article: "),
              (std::vector<std::string>{"Progress Article: reset", "Progress Article: 1/2",
                                        "Progress Article: 2/2", "Progress Article: reset",
                                        "Progress Article: 1/1", "Progress Article: reset"}));
    EXPECT_EQ(display.CallsStarting("Scanned: "),
              (std::vector<std::string>{"Scanned: 0", "Scanned: 3", "Scanned: 4"}));
    EXPECT_EQ(display.CallsStarting("Saved: "),
              (std::vector<std::string>{"Saved: 0", "Saved: 1", "Saved: 2", "Saved: 3"}));
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 3, 5}));

    // The Pending button is on exactly while a group's files are retrieved.
    auto calls = display.Calls();
    int on = IndexOf(calls, "Pending: on");
    int off = IndexOf(calls, "Pending: off");
    ASSERT_GE(on, 0);
    EXPECT_EQ(calls[on - 1], "StatusProgress: 0/0");
    EXPECT_EQ(calls[on - 2], "Status: Retrieving 2 files from alt.test");
    EXPECT_EQ(calls[on + 1], "Progress Article: 1/2");
    EXPECT_EQ(calls[off - 1], "Subject: ");
    EXPECT_LT(IndexOf(calls, "Saved: 2"), off);
    EXPECT_EQ(display.CallsStarting("Pending: ").size(), 4u);
    EXPECT_EQ(pending.Size(), 0u);

    // The sender is shown for each file and cleared after it.
    EXPECT_EQ(display.CallsStarting("From: ").size(), 6u);
    EXPECT_TRUE(display.Has("From: Poster <poster@example.com>"));
}

TEST_F(GroupScan, ProgressEveryTenLinesAndNothingAccepted) {
    for (int n = 1; n <= 25; ++n) {
        TestArticle a = UUArticle(n, "x.jpg", "x");
        a.lines = 0;  // every header filtered out
        news.Add("alt.test", a);
    }
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(display.CallsStarting("StatusProgress: "),
              (std::vector<std::string>{"StatusProgress: 10/25", "StatusProgress: 20/25",
                                        "StatusProgress: 10/25", "StatusProgress: 20/25",
                                        "StatusProgress: 0/0"}));
    auto statuses = display.CallsStarting("Status: ");
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[statuses.size() - 2], "Status: No articles found in alt.test");
    EXPECT_FALSE(display.Has("Pending: on"));
    EXPECT_TRUE(news.ArticlesAsked().empty());
    EXPECT_EQ(Mark("alt.test"), "25");  // rejected articles are dealt with too
}

TEST_F(GroupScan, EstimateFromGroupNumbersAndMark) {
    news.Add("alt.test", UUArticle(851, "a.jpg", RandomBytes(100, 1)));
    news.SetGroupNumbers("alt.test", 500, 100, 900);
    ng::Profile().WriteProfileString(kHost, "alt.test", "850");
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(display.Has("Status: Retrieving up to 50 headers in alt.test"));
    EXPECT_EQ(server.Received(), "GROUP alt.test\r\nXOVER 851-\r\nARTICLE 851\r\n");
    EXPECT_EQ(Mark("alt.test"), "900");  // the server's last, after a full walk
}

TEST_F(GroupScan, GroupWithOnlyItsFirstArticleNewIsFetched) {
    news.Add("alt.test", UUArticle(7, "only.jpg", RandomBytes(100, 1)));  // 211 1 7 7
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(display.Has("Status: Retrieving up to 1 headers in alt.test"));
    EXPECT_EQ(server.Received(), "GROUP alt.test\r\nXOVER 1-\r\nARTICLE 7\r\n");
    EXPECT_EQ(Downloaded("only.jpg"), RandomBytes(100, 1));
    EXPECT_EQ(Mark("alt.test"), "7");
}

TEST_F(GroupScan, NothingNewShowsNoArticlesAndSendsNoXover) {
    news.Add("alt.test", UUArticle(9, "a.jpg", "x"));
    ng::Profile().WriteProfileString(kHost, "alt.test", "9");
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(display.Has("Status: No articles found in alt.test"));
    EXPECT_EQ(server.Received(), "GROUP alt.test\r\n");
    EXPECT_EQ(Mark("alt.test"), "9");
}

TEST_F(GroupScan, SkippedGroupsKeepTheirMarksSilently) {
    news.AddGroup("alt.empty");  // 211 0 1 0
    news.Add("alt.refused", UUArticle(3, "r.jpg", "x"));
    news.SetXoverReply("alt.refused", "420 no overview\r\n");
    news.Add("alt.test", UUArticle(1, "a.jpg", RandomBytes(60, 1)));
    ng::Profile().WriteProfileString(kHost, "alt.gone", "77");
    ng::Profile().WriteProfileString(kHost, "alt.refused", "2");
    SetGroups({"alt.gone", "alt.empty", "alt.refused", "alt.test"});

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(server.Received(),
              "GROUP alt.gone\r\nGROUP alt.empty\r\nGROUP alt.refused\r\nXOVER 3-\r\n"
              "GROUP alt.test\r\nXOVER 1-\r\nARTICLE 1\r\n");
    EXPECT_EQ(Mark("alt.gone"), "77");
    EXPECT_EQ(Mark("alt.empty"), "(none)");
    EXPECT_EQ(Mark("alt.refused"), "2");
    EXPECT_EQ(Mark("alt.test"), "1");
    for (const auto& status : display.CallsStarting("Status: ")) {
        EXPECT_EQ(status.find("alt.gone"), std::string::npos) << status;
        EXPECT_EQ(status.find("alt.empty"), std::string::npos) << status;
        EXPECT_EQ(status.find("alt.refused"), std::string::npos) << status;
    }
}

TEST_F(GroupScan, RemovalsInThePendingListAreNotRetrieved) {
    news.AddPictures("alt.test", "f", 4, 80);
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    ng::AutoResetEvent paused;
    news.OnArticle([&](const std::string&, int number) {
        if (number == 1) {
            worker.Pause();  // as the window does before opening the pending dialog
            paused.Set();
        }
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(paused.WaitFor(10s));
    {
        ng::PendingList::EditSession edit(pending);
        auto& lines = edit.Entries();
        ASSERT_EQ(lines.size(), 3u);  // 2, 3 and 4 are still waiting
        EXPECT_EQ(lines[1].front().number, 3);
        lines.erase(lines.begin() + 1);
        edit.Edited() = true;
        edit.Removed() = 1;
    }
    worker.Resume();
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(display.CallsStarting("Progress Article: "),
              (std::vector<std::string>{"Progress Article: reset", "Progress Article: 1/4",
                                        "Progress Article: 1/3", "Progress Article: 2/3",
                                        "Progress Article: 3/3", "Progress Article: reset"}));
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "f3.jpg"));
    EXPECT_EQ(Mark("alt.test"), "4");
}

TEST_F(GroupScan, BigGroupsComeInRangesAndFirstVisitsMayStartLate) {
    // 25,001 articles: three ranges, the last one open. Only two pass the filter.
    for (int n = 1; n <= 25001; ++n) {
        TestArticle a = UUArticle(n, "p" + std::to_string(n) + ".jpg", "x");
        if (n != 7 && n != 25001) {
            a.lines = 1;  // below MinLines
        }
        news.Add("alt.test", a);
    }
    Set("MinLines", "100");
    EXPECT_EQ(RunPass(), "Operation complete");
    const std::string asked = server.Received();
    EXPECT_NE(asked.find("XOVER 1-10000\r\nXOVER 10001-20000\r\nXOVER 20001-\r\n"),
              std::string::npos)
        << asked.substr(0, 200);
    EXPECT_TRUE(display.Has("Scanned: 25001"));
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{7, 25001}));
    EXPECT_EQ(Mark("alt.test"), "25001");
}

TEST_F(GroupScan, RangesSkipTheNumbersBelowTheGroupAndTakeEmptyOnesAsWhole) {
    // Numbers from 30001 with a gap of a whole range, on a server that
    // answers an empty range with 423: no range of nothing but low numbers,
    // and the gap neither skips the group nor holds its mark back.
    for (int n : {30001, 30002, 50001, 50002}) {
        news.Add("alt.test", UUArticle(n, "p" + std::to_string(n) + ".jpg", "x"));
    }
    news.AnswerEmptyRangesWith423();
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_NE(server.Received().find("GROUP alt.test\r\nXOVER 1-40000\r\nXOVER 40001-50000\r\n"
                                     "XOVER 50001-\r\n"),
              std::string::npos)
        << server.Received().substr(0, 200);
    EXPECT_TRUE(display.Has("Status: Retrieving up to 4 headers in alt.test"));
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{30001, 30002, 50001, 50002}));
    EXPECT_EQ(Mark("alt.test"), "50002");
}

TEST_F(GroupScan, AFirstVisitMayStartFromTheNewest) {
    for (int n = 1; n <= 25001; ++n) {
        news.Add("alt.test", UUArticle(n, "p" + std::to_string(n) + ".jpg", "x"));
    }
    Set("MinLines", "2000");  // nothing passes: only the overview and the mark matter
    Set("FirstVisitMax", "50");
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_NE(server.Received().find("XOVER 24952-\r\n"), std::string::npos);
    EXPECT_TRUE(display.Has("Scanned: 50"));
    EXPECT_EQ(Mark("alt.test"), "25001");
}

TEST_F(GroupScan, ARefusedRangeMovesTheMarkOnlyAsFarAsTheOverviewCame) {
    for (int n = 1; n <= 25001; ++n) {
        news.Add("alt.test", UUArticle(n, "p" + std::to_string(n) + ".jpg", "x"));
    }
    Set("MinLines", "2000");
    Set("FirstVisitMax", "50");  // no say once the group has a mark
    ng::Profile().WriteProfileString(kHost, "alt.test", "100");
    news.RefuseXoverFrom(10101);
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_NE(server.Received().find("XOVER 101-10100\r\n"), std::string::npos);
    // Ranges sent before the refusal came are read and left for the next pass.
    EXPECT_TRUE(display.Has("Scanned: 10000"));
    EXPECT_EQ(Mark("alt.test"), "10100");
}

TEST_F(GroupScan, ArticlesGoOutAheadInOrderAndRemovalsStayInStep) {
    // Four commands out at once: by the time the server answers the first,
    // the next three are there already. A removal in the pending dialog after
    // its article went out: the reply is read and dropped, the rest stays in
    // step, up to the next group's GROUP.
    Set("ArticlesInFlight", "4");
    news.AddPictures("alt.test", "w", 6, 300);
    news.Add("alt.next", UUArticle(1, "next.jpg", RandomBytes(300, 9)));
    SetGroups({"alt.test", "alt.next"});
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    std::atomic<bool> aheadSeen{false};
    ng::AutoResetEvent paused;
    news.OnArticle([&](const std::string& group, int number) {
        if (group == "alt.test" && number == 1) {
            // Held a moment: the commands sent ahead arrive meanwhile.
            std::this_thread::sleep_for(300ms);
            worker.Pause();
            paused.Set();
        }
        if (group == "alt.test" && number == 2) {
            aheadSeen = server.Received().find("ARTICLE 4\r\n") != std::string::npos;
        }
    });
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(paused.WaitFor(10s));
    {
        ng::PendingList::EditSession edit(pending);
        auto& lines = edit.Entries();
        ASSERT_EQ(lines[1].front().number, 3);
        lines.erase(lines.begin() + 1);
        edit.Edited() = true;
        edit.Removed() = 1;
    }
    worker.Resume();
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_TRUE(aheadSeen);
    for (int n : {1, 2, 4, 5, 6}) {
        EXPECT_EQ(Downloaded("w" + std::to_string(n) + ".jpg"), RandomBytes(300, n)) << n;
    }
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "w3.jpg"));
    EXPECT_EQ(Downloaded("next.jpg"), RandomBytes(300, 9));
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"w1.jpg", "w2.jpg", "w4.jpg", "w5.jpg",
                                                         "w6.jpg", "next.jpg"}));
    EXPECT_EQ(Mark("alt.test"), "6");
}

class Marks : public PassTest {
protected:
    Marks() {
        news.AddPictures("alt.test", "m", 5, 50);
        news.SetGroupNumbers("alt.test", 5, 1, 10);  // 6..10 expired or cancelled
        news.Add("alt.next", UUArticle(1, "n.jpg", "n"));
        SetGroups({"alt.test", "alt.next"});
    }
};

TEST_F(Marks, FullWalkMarksUpToTheServersLast) {
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "10");
    EXPECT_EQ(Mark("alt.next"), "1");
}

TEST_F(Marks, StopMarksTheLastRetrievedAndLeavesTheRestAlone) {
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    StopAtArticle(worker, 3);
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "2");
    EXPECT_EQ(Mark("alt.next"), "(none)");
    EXPECT_EQ(server.Received().find("GROUP alt.next"), std::string::npos);
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"m1.jpg", "m2.jpg"}));
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "m4.jpg"));
}

TEST_F(Marks, StopBeforeTheFirstFileWritesTheOldMarkBack) {
    ng::Profile().WriteProfileString(kHost, "alt.test", "0");
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    news.OnArticle([&](const std::string&, int) { worker.RequestStop(); });
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "0");
}

TEST_F(Marks, CatchUpDuringTheFileLoopMarksTheLast) {
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    news.OnArticle([&](const std::string&, int number) {
        if (number == 2) {
            worker.SetCatchUp(true);  // as the window does: catch up, then stop
            worker.RequestStop();
        }
    });
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "10");
    EXPECT_EQ(Mark("alt.next"), "(none)");
}

TEST_F(Marks, CatchUpWhileHeadersArriveLeavesTheMark) {
    ng::Profile().WriteProfileString(kHost, "alt.test", "0");
    std::string overview = "224 overview follows\r\n";
    for (int n = 1; n <= 5; ++n) {
        overview += OverviewLine(n, "m" + std::to_string(n) + ".jpg", "x", 1000);
    }
    news.SetXoverReply("alt.test", ngtest::Reply(overview + ".\r\n").Trickled());
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(server.WaitForText("XOVER 1-\r\n"));
    worker.SetCatchUp(true);
    worker.RequestStop();
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(Mark("alt.test"), "0");
    EXPECT_TRUE(news.ArticlesAsked().empty());
}

class HistorySaves : public PassTest {
protected:
    HistorySaves() {
        ngtest::WriteFile("HistList", "earlier.jpg\nolder.jpg\n");
        news.AddPictures("alt.test", "h", 12, 40);
        // What HistList holds on disk when each article is asked for.
        news.OnArticle([this](const std::string&, int number) {
            std::lock_guard lock(m_mutex);
            m_onDisk[number] = HistoryOnDisk().size();
        });
    }
    std::map<int, size_t> OnDisk() {
        std::lock_guard lock(m_mutex);
        return m_onDisk;
    }

    std::mutex m_mutex;
    std::map<int, size_t> m_onDisk;
};

TEST_F(HistorySaves, EveryNthFileAndAtTheEnd) {
    Set("HistSaveFrequency", "5");
    EXPECT_EQ(RunPass(), "Operation complete");
    // Saved as the 5th and the 10th file begin: 4 and 9 new names by then.
    std::map<int, size_t> expected;
    for (int n = 1; n <= 12; ++n) {
        expected[n] = 2 + (n >= 10 ? 9 : n >= 5 ? 4 : 0);
    }
    EXPECT_EQ(OnDisk(), expected);
    auto names = HistoryOnDisk();
    ASSERT_EQ(names.size(), 14u);
    EXPECT_EQ(names.front(), "earlier.jpg");
    EXPECT_EQ(names.back(), "h12.jpg");
    // The backup is the list as it was before the pass.
    EXPECT_EQ(ngtest::ReadFile("~HistList"), "earlier.jpg\nolder.jpg\n");
}

TEST_F(HistorySaves, FrequencyZeroSavesAtTheEndOnly) {
    Set("HistSaveFrequency", "0");
    EXPECT_EQ(RunPass(), "Operation complete");
    for (const auto& [number, size] : OnDisk()) {
        EXPECT_EQ(size, 2u) << number;
    }
    EXPECT_EQ(HistoryOnDisk().size(), 14u);
}

TEST_F(GroupScan, IndexNamesAreNotRemembered) {
    news.Add("alt.test", UUArticle(1, "Index.jpg", RandomBytes(40, 1)));
    news.Add("alt.test", UUArticle(2, "myindex2.gif", RandomBytes(40, 2)));
    news.Add("alt.test", UUArticle(3, "Kept.JPG", RandomBytes(40, 3)));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("Index.jpg"), RandomBytes(40, 1));  // saved all the same
    EXPECT_EQ(HistoryOnDisk(), std::vector<std::string>{"kept.jpg"});
}

TEST_F(GroupScan, HistoryAndCrosspostsAreSkippedAcrossGroups) {
    Set("LogHistAct", "yes");
    ngtest::WriteFile("HistList", "seen.jpg\n");
    news.Add("alt.test", UUArticle(1, "seen.jpg", "s"));
    news.Add("alt.test", UUArticle(2, "fresh.jpg", RandomBytes(40, 2)));
    TestArticle copy = UUArticle(3, "fresh.jpg", RandomBytes(40, 2));
    copy.messageId = "<2@test>";  // the same article twice
    news.Add("alt.test", copy);
    // Saved in the first group, so in the history by the time this one is scanned.
    news.Add("alt.two", UUArticle(4, "fresh.jpg", RandomBytes(40, 2)));
    SetGroups({"alt.test", "alt.two"});
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(news.ArticlesAsked(), std::vector<int>{2});
    EXPECT_EQ(
        display.CallsStarting("HistorySkipped: "),
        (std::vector<std::string>{"HistorySkipped: 0", "HistorySkipped: 1", "HistorySkipped: 2"}));
    EXPECT_EQ(display.CallsStarting("CrosspostsSkipped: "),
              (std::vector<std::string>{"CrosspostsSkipped: 0", "CrosspostsSkipped: 1"}));
    EXPECT_EQ(Mark("alt.two"), "4");
    EXPECT_EQ(ngtest::ReadFile("HistLog.txt"),
              "seen.jpg -- seen.jpg (1/1)\nfresh.jpg -- fresh.jpg (1/1)\n");
}

TEST_F(GroupScan, AHistoryThatCannotBeReadIsNotReplaced) {
    // A HistList that is there but cannot be read (as for a permission
    // problem; root reads everything, so a link to itself stands in).
    ASSERT_EQ(::symlink("HistList", sandbox.File("HistList").c_str()), 0);
    news.Add("alt.test", UUArticle(1, "new.jpg", RandomBytes(40, 1)));
    RunPass();
    EXPECT_EQ(Downloaded("new.jpg"), RandomBytes(40, 1));
    EXPECT_EQ(display.LastStatus(), "Unable to open HistList");
    struct stat st {};
    ASSERT_EQ(::lstat(sandbox.File("HistList").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));  // not replaced by this pass's one name
}

}  // namespace
}  // namespace enginetest
