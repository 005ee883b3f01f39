// Every way a pass ends: each gives one end notice and the right last status,
// and a connection lost at any stage ends the pass as lost.

#include <gtest/gtest.h>

#include "PassHarness.h"
#include "net/Socket.h"

namespace enginetest {
namespace {

using PassEnd = PassTest;

const char kLost[] = "Error--connection to 127.0.0.1 lost";

TEST_F(PassEnd, EmptyOrMissingGroupsFileEndsBeforeConnecting) {
    ngtest::WriteFile("Groups.127.0.0.1", "");
    EXPECT_EQ(RunPass(), "No groups found in Groups.127.0.0.1");
    std::remove("Groups.127.0.0.1");
    RecordingDisplay second;
    CProcessGroups worker(ng::Profile(), second, nullptr, pending);
    worker.InitInstance();
    EXPECT_EQ(second.LastStatus(), "Unable to open Groups.127.0.0.1");
    EXPECT_EQ(second.PassEndCount(), 1);
    EXPECT_EQ(server.Accepted(), 0);
    EXPECT_FALSE(ngtest::FileExists("HistList"));
}

TEST_F(PassEnd, DownloadDirectoryThatCannotBeEnteredShowsAMessage) {
    for (std::string dir : {sandbox.File("missing") + "/", std::string()}) {
        Set("DownloadDirectory", dir);
        RecordingDisplay shown;
        CProcessGroups worker(ng::Profile(), shown, nullptr, pending);
        worker.InitInstance();
        EXPECT_EQ(
            shown.CallsStarting("Message: "),
            std::vector<std::string>{"Message: Unable to open download directory:\n\n" + dir});
        EXPECT_EQ(shown.PassEndCount(), 1);
    }
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(PassEnd, DownloadDirectoryWithoutItsSlashStillHoldsTheFiles) {
    Set("DownloadDirectory", sandbox.File("download"));
    news.Add("alt.test", UUArticle(1, "inside.jpg", RandomBytes(100, 1)));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("inside.jpg"), RandomBytes(100, 1));
    EXPECT_FALSE(ngtest::FileExists(sandbox.File("downloadinside.jpg")));
}

TEST_F(PassEnd, CannotConnect) {
    int closedPort = 0;
    {
        ngtest::ScriptedServer gone;
        closedPort = gone.Port();
    }
    for (std::string port :
         {std::to_string(closedPort), std::string("0"), std::string("70000"), std::string("-5")}) {
        Set("NNTPPort", port);
        RecordingDisplay shown;
        CProcessGroups worker(ng::Profile(), shown, nullptr, pending);
        worker.InitInstance();
        EXPECT_EQ(shown.LastStatus(), "Can't connect to server") << port;
        EXPECT_EQ(shown.PassEndCount(), 1);
        EXPECT_TRUE(shown.Has("Status: Connecting to 127.0.0.1"));
        EXPECT_FALSE(shown.Has("Status: Connected to 127.0.0.1"));
    }
}

TEST_F(PassEnd, NoGreetingIsNoConnection) {
    server.SetGreeting(ngtest::Reply("").CloseAfter(0));
    EXPECT_EQ(RunPass(), "Can't connect to server");
    EXPECT_EQ(server.Received(), "");
}

TEST_F(PassEnd, SilentServerTimesOutInsteadOfHanging) {
    Set("ReadTimeout", "1");
    server.SetGreeting("");  // never greets
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunPass(), "Can't connect to server");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 8s);
}

TEST_F(PassEnd, StopWhileConnectingEndsAsAStop) {
    server.SetGreeting(ngtest::Reply("200 slow\r\n").After(5s));
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(server.WaitForAccepted(1));
    worker.RequestStop();
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_FALSE(display.Has("Status: Can't connect to server"));
}

TEST_F(PassEnd, StopPressedJustAfterGoIsKept) {
    news.Add("alt.test", UUArticle(1, "a.jpg", "a"));
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    worker.RequestStop();
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_EQ(server.Received(), "");
}

// Without reconnections a lost connection ends the pass, as it always did.
class Lost : public PassTest {
protected:
    Lost() {
        Set("ConnectRetries", "0");
        news.AddPictures("alt.test", "l", 3, 3000);
        news.Add("alt.after", UUArticle(1, "after.jpg", "x"));
        ng::Profile().WriteProfileString(kHost, "alt.test", "0");
        ngtest::WriteFile("HistList", "old.jpg\n");
    }
    // Runs the pass and checks what every lost connection has in common.
    void ExpectLost(const std::string& markAfter) {
        EXPECT_EQ(RunPass(), kLost);
        EXPECT_EQ(Mark("alt.test"), markAfter);
        EXPECT_EQ(server.Received().find("alt.after"), std::string::npos);
        EXPECT_EQ(HistoryOnDisk().front(), "old.jpg");
    }
};

TEST_F(Lost, OnlyGroupUnansweredIsLostNotComplete) {
    SetGroups({"alt.test"});
    news.SetGroupReply("alt.test", ngtest::Reply("").CloseAfter(0));
    ExpectLost("0");
}

TEST_F(Lost, GroupUnansweredWithGroupsAfterIt) {
    SetGroups({"alt.test", "alt.after"});
    news.SetGroupReply("alt.test", ngtest::Reply("").CloseAfter(0));
    ExpectLost("0");
}

TEST_F(Lost, AfterTheLogin) {
    SetHost("UserAuthentication", "1");
    SetHost("Username", "joe");
    server.OnPrefix("AUTHINFO USER", ngtest::Reply("").CloseAfter(0));
    SetGroups({"alt.test", "alt.after"});
    ExpectLost("0");
    EXPECT_EQ(server.Received(), "AUTHINFO USER joe\r\n");
}

TEST_F(Lost, XoverUnanswered) {
    news.SetXoverReply("alt.test", ngtest::Reply("").CloseAfter(0));
    ExpectLost("0");
}

TEST_F(Lost, PartWayThroughTheOverview) {
    std::string overview = "224 overview follows\r\n" + OverviewLine(1, "l1.jpg", "x", 100) +
                           OverviewLine(2, "l2.jpg", "x", 100);
    news.SetXoverReply("alt.test", ngtest::Reply(overview).ThenClose());
    SetGroups({"alt.test", "alt.after"});
    ExpectLost("0");
    EXPECT_TRUE(news.ArticlesAsked().empty());
}

TEST_F(Lost, InTheMiddleOfAnArticle) {
    TestArticle cut = UUArticle(2, "l2.jpg", RandomBytes(3000, 2));
    std::string whole = "220 2 <2@test>\r\n" + DotStuff(ArticleText(cut)) + ".\r\n";
    cut.reply = ngtest::Reply(whole).CloseAfter(whole.size() / 2);
    news.Add("alt.test", cut);
    SetGroups({"alt.test", "alt.after"});
    ExpectLost("1");
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"old.jpg", "l1.jpg"}));
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2}));
}

TEST_F(Lost, BetweenTwoArticles) {
    TestArticle gone = UUArticle(2, "l2.jpg", "x");
    gone.reply = ngtest::Reply("").CloseAfter(0);
    news.Add("alt.test", gone);
    SetGroups({"alt.test"});
    ExpectLost("1");
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2}));
}

TEST_F(Lost, ServerFallsSilentMidArticle) {
    Set("ReadTimeout", "1");
    TestArticle stuck = UUArticle(2, "l2.jpg", RandomBytes(3000, 2));
    std::string whole = "220 2 <2@test>\r\n" + DotStuff(ArticleText(stuck));  // no end
    stuck.reply = ngtest::Reply(whole);
    news.Add("alt.test", stuck);
    auto started = std::chrono::steady_clock::now();
    ExpectLost("1");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(Lost, OverlongLineDropsTheConnection) {
    TestArticle huge = UUArticle(2, "l2.jpg", "x");
    huge.reply = "220 2 <2@test>\r\nSubject: x\r\n\r\n" +
                 std::string(CNewsSocket::kMaxLineLength + 10, 'A') + "\r\n.\r\n";
    news.Add("alt.test", huge);
    ExpectLost("1");
}

}  // namespace
}  // namespace enginetest
