#include "engine/GroupListRefresh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RecordingDisplay.h"
#include "engine/Display.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "support/Loopback.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using ng::CGroupListRefresh;
using ng::RefreshUpdate;
using ngtest::Reply;
using ngtest::ScriptedServer;

namespace {

using Clock = std::chrono::steady_clock;

using ngtest::kSlowdown;

// Writes down every update as text ("Status: ...", "Add: name", "Clear",
// "SelectFirst", "Done") and acknowledges names at once, from the refresh
// thread itself: the acknowledgement then always comes before the wait.
class RecordingSink : public ng::IGroupListSink {
public:
    CGroupListRefresh* refresh = nullptr;
    bool acknowledge = true;

    void Deliver(std::vector<RefreshUpdate> updates) override {
        bool names = false;
        {
            std::lock_guard lock(m_mutex);
            ++m_nDeliveries;
            for (const auto& update : updates) {
                m_log.push_back(Describe(update));
                names = names || update.kind == RefreshUpdate::AddGroup;
            }
        }
        m_changed.notify_all();
        if (names && acknowledge) {
            refresh->AcknowledgeGroups();
        }
    }

    std::vector<std::string> Log() const {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    std::vector<std::string> Added() const { return Entries("Add: "); }
    std::vector<std::string> Statuses() const { return Entries("Status: "); }
    bool WaitFor(const std::string& entry, std::chrono::milliseconds limit = 5s) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            return std::find(m_log.begin(), m_log.end(), entry) != m_log.end();
        });
    }
    int Deliveries() const {
        std::lock_guard lock(m_mutex);
        return m_nDeliveries;
    }

private:
    // The entries of one kind, without their prefix.
    std::vector<std::string> Entries(const std::string& prefix) const {
        std::vector<std::string> texts;
        for (const auto& entry : Log()) {
            if (entry.rfind(prefix, 0) == 0) {
                texts.push_back(entry.substr(prefix.size()));
            }
        }
        return texts;
    }
    static std::string Describe(const RefreshUpdate& update) {
        switch (update.kind) {
            case RefreshUpdate::Status:
                return "Status: " + update.text;
            case RefreshUpdate::Clear:
                return "Clear";
            case RefreshUpdate::AddGroup:
                return "Add: " + update.text;
            case RefreshUpdate::SelectFirst:
                return "SelectFirst";
            case RefreshUpdate::Done:
                return "Done";
        }
        return "?";
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_log;
    int m_nDeliveries = 0;
};

std::string ListReply(const std::vector<std::string>& names) {
    std::string reply = "215 list of newsgroups follows\r\n";
    for (const auto& name : names) {
        reply += name + " 0000001234 0000000001 y\r\n";
    }
    return reply + ".\r\n";
}

class GroupListRefreshTest : public ::testing::Test {
protected:
    void PointAt(const ScriptedServer& server) {
        auto& store = ng::Profile();
        store.WriteProfileString("Newsgleaner", "NNTPHost", server.Address());
        store.WriteProfileInt("Newsgleaner", "NNTPPort", server.Port());
        store.WriteProfileInt("Newsgleaner", "ReadTimeout", 5);  // a fault fails, never hangs
        store.WriteProfileInt("Newsgleaner", "NNTPCompress", 0);
    }
    void Login(const std::string& user, const std::string& password, bool prompt = false) {
        auto& store = ng::Profile();
        const std::string host = "127.0.0.1";
        store.WriteProfileInt(host, "UserAuthentication", 1);
        store.WriteProfileString(host, "Username", user);
        store.WriteProfileString(host, "Password", password);
        store.WriteProfileInt(host, "PromptForPasswd", prompt ? 1 : 0);
    }
    // Runs one refresh on its own thread and waits (bounded) for its end,
    // as `into` (the fixture's sink when none is given) sees it.
    void RunRefresh(CGroupListRefresh& refresh, const std::string& filter,
                    RecordingSink* into = nullptr) {
        ASSERT_TRUE(refresh.Start(ng::SplitGroupFilter(filter)));
        ASSERT_TRUE((into ? *into : sink).WaitFor("Done", 20s));
        refresh.Join();
    }

    ngtest::Sandbox sandbox;
    RecordingSink sink;
};

}  // namespace

TEST(GroupFilter, MatchesSubstrings) {
    EXPECT_TRUE(ng::PassesGroupFilter("alt.binaries.pictures.cats", {"pictures"}));
    EXPECT_FALSE(ng::PassesGroupFilter("alt.binaries.Pictures", {"pictures"}));  // case counts
    EXPECT_TRUE(ng::PassesGroupFilter("alt.binaries.x", {"pictures", "binaries"}));
    EXPECT_TRUE(ng::PassesGroupFilter("anything", {"pictures", ""}));
    EXPECT_TRUE(ng::PassesGroupFilter("", {""}));
    EXPECT_FALSE(ng::PassesGroupFilter("", {"pictures"}));

    EXPECT_EQ(ng::GroupNameOfLine("alt.test 12 1 y\r\n"), "alt.test");
    EXPECT_EQ(ng::GroupNameOfLine("no-blank\r\n"), "");
    EXPECT_EQ(ng::GroupNameOfLine(" leading\r\n"), "");
}

TEST_F(GroupListRefreshTest, KeepsFilteredNamesAndReportsProgress) {
    ScriptedServer server;
    std::vector<std::string> names;
    for (int i = 1; i <= 25; ++i) {
        names.push_back((i % 3 == 0 ? "alt.binaries.pictures.g" : "comp.lang.g") +
                        std::to_string(i));
    }
    server.On("LIST", ListReply(names));
    PointAt(server);
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    RunRefresh(refresh, "pictures");

    EXPECT_EQ(server.Received(), "LIST\r\n");  // no login asked for, no quit sent
    EXPECT_EQ(sink.Added(),
              (std::vector<std::string>{"alt.binaries.pictures.g3", "alt.binaries.pictures.g6",
                                        "alt.binaries.pictures.g9", "alt.binaries.pictures.g12",
                                        "alt.binaries.pictures.g15", "alt.binaries.pictures.g18",
                                        "alt.binaries.pictures.g21", "alt.binaries.pictures.g24"}));
    EXPECT_EQ(sink.Statuses(), (std::vector<std::string>{
                                   "  Connecting to 127.0.0.1",
                                   "  Connected to 127.0.0.1",
                                   "     10 groups scanned --     3 added",
                                   "     20 groups scanned --     6 added",
                                   "  Operation complete -- 25 groups scanned; 8 groups added",
                               }));
    auto log = sink.Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "Status:   Connecting to 127.0.0.1");
    EXPECT_EQ(log[1], "Clear");  // emptied before the connection is even tried
    EXPECT_EQ(log[log.size() - 3], "SelectFirst");
    EXPECT_EQ(log.back(), "Done");
    // Every name comes before the progress text that counts it.
    auto at = [&](const std::string& entry) {
        return std::find(log.begin(), log.end(), entry) - log.begin();
    };
    EXPECT_LT(at("Add: alt.binaries.pictures.g9"),
              at("Status:      10 groups scanned --     3 added"));
    EXPECT_GT(at("Add: alt.binaries.pictures.g12"),
              at("Status:      10 groups scanned --     3 added"));
    EXPECT_EQ(refresh.Scanned(), 25);
    EXPECT_EQ(refresh.Added(), 8);
}

TEST_F(GroupListRefreshTest, EmptyFilterTokenKeepsEveryLineEvenWithoutBlank) {
    ScriptedServer server;
    server.On("LIST", "215 list\r\nalt.one 2 1 y\r\nnoblank\r\nalt.two 2 1 y\r\n.\r\n");
    PointAt(server);
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    RunRefresh(refresh, "pictures:");
    // The line without a blank gives an empty name: scanned, handed over,
    // counted as added; the dialog ignores the empty name.
    EXPECT_EQ(sink.Added(), (std::vector<std::string>{"alt.one", "", "alt.two"}));
    EXPECT_EQ(sink.Statuses().back(), "  Operation complete -- 3 groups scanned; 3 groups added");

    // None of ten names passes: one progress text after the tenth line.
    ScriptedServer quiet;
    std::vector<std::string> names(10, "comp.lang.c");
    quiet.On("LIST", ListReply(names));
    PointAt(quiet);
    RecordingSink second;
    CGroupListRefresh again(ng::Profile(), second, nullptr);
    second.refresh = &again;
    ASSERT_TRUE(again.Start(ng::SplitGroupFilter("pictures")));
    ASSERT_TRUE(second.WaitFor("Done", 20s));
    again.Join();
    EXPECT_EQ(second.Statuses(), (std::vector<std::string>{
                                     "  Connecting to 127.0.0.1", "  Connected to 127.0.0.1",
                                     "     10 groups scanned --     0 added",
                                     "  Operation complete -- 10 groups scanned; 0 groups added"}));
}

TEST_F(GroupListRefreshTest, LogsInWithItsOwnRule) {
    {
        // 381 then 281: logged in, the list follows. A blank precedes each CR LF.
        ScriptedServer server;
        server.On("AUTHINFO USER fred", "381 more\r\n");
        server.On("AUTHINFO PASS secret", "281 ok\r\n");
        server.On("LIST", ListReply({"alt.pictures"}));
        PointAt(server);
        Login("fred", "secret");
        CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
        sink.refresh = &refresh;
        RunRefresh(refresh, "");
        EXPECT_EQ(server.Received(), "AUTHINFO USER fred\r\nAUTHINFO PASS secret\r\nLIST\r\n");
        EXPECT_EQ(sink.Added(), std::vector<std::string>{"alt.pictures"});
    }
    {
        // Accepted on the user name alone: straight to LIST.
        ScriptedServer server;
        server.On("AUTHINFO USER fred", "281 welcome\r\n");
        server.On("LIST", ListReply({"alt.pictures"}));
        PointAt(server);
        RecordingSink recorded;
        CGroupListRefresh refresh(ng::Profile(), recorded, nullptr);
        recorded.refresh = &refresh;
        ASSERT_NO_FATAL_FAILURE(RunRefresh(refresh, "", &recorded));
        EXPECT_EQ(server.Received(), "AUTHINFO USER fred\r\nLIST\r\n");
    }
    {
        // Asked for at each session: the typed text; a cancelled prompt
        // still sends the password line, empty.
        ScriptedServer server;
        server.OnPrefix("AUTHINFO USER", Reply("381 more\r\n"));
        server.OnPrefix("AUTHINFO PASS", Reply("281 ok\r\n"));
        server.On("LIST", ListReply({}));
        PointAt(server);
        Login("fred", "stored", true);
        for (std::optional<std::string> answer :
             {std::optional<std::string>("typed"), std::optional<std::string>()}) {
            RecordingSink recorded;
            ScriptedPrompt prompt(answer);
            CGroupListRefresh refresh(ng::Profile(), recorded, &prompt);
            recorded.refresh = &refresh;
            ASSERT_NO_FATAL_FAILURE(RunRefresh(refresh, "", &recorded));
            EXPECT_EQ(prompt.Asked(), 1);
        }
        EXPECT_EQ(server.Received(),
                  "AUTHINFO USER fred\r\nAUTHINFO PASS typed\r\nLIST\r\n"
                  "AUTHINFO USER fred\r\nAUTHINFO PASS \r\nLIST\r\n");
    }
}

TEST_F(GroupListRefreshTest, RefusedLoginEndsWithoutList) {
    // Unlike the download pass, any answer to the password but 281 fails.
    // The tests see no session bus: the password is the file's, and the
    // refresh says so.
    for (const char* refusal : {"481 no\r\n", "482 no\r\n", "502 no\r\n"}) {
        ScriptedServer server;
        server.On("AUTHINFO USER fred", "381 more\r\n");
        server.On("AUTHINFO PASS pw", refusal);
        PointAt(server);
        Login("fred", "pw");
        RecordingSink recorded;
        CGroupListRefresh refresh(ng::Profile(), recorded, nullptr);
        recorded.refresh = &refresh;
        ASSERT_NO_FATAL_FAILURE(RunRefresh(refresh, "", &recorded));
        EXPECT_EQ(server.Received(), "AUTHINFO USER fred\r\nAUTHINFO PASS pw\r\n");
        EXPECT_EQ(
            recorded.Log(),
            (std::vector<std::string>{
                "Status:   Connecting to 127.0.0.1", "Clear", "Status:   Connected to 127.0.0.1",
                "Status:   No keyring answers: using the password in the settings file",
                "Status:   Authentication failed", "Done"}));
    }
}

TEST_F(GroupListRefreshTest, UnreachableServerAndMissingHost) {
    ngtest::RefusingPort refusing;
    auto& store = ng::Profile();
    store.WriteProfileString("Newsgleaner", "NNTPHost", "127.0.0.1");
    store.WriteProfileInt("Newsgleaner", "NNTPPort", refusing.Port());
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    RunRefresh(refresh, "pictures");
    EXPECT_EQ(sink.Log(), (std::vector<std::string>{"Status:   Connecting to 127.0.0.1", "Clear",
                                                    "Status:   Can't connect to server", "Done"}));

    // Without a host there is nothing to do, but the dialog still hears Done
    // and so gets its buttons back.
    store.WriteProfileString("Newsgleaner", "NNTPHost", "");
    RecordingSink recorded;
    CGroupListRefresh idle(ng::Profile(), recorded, nullptr);
    recorded.refresh = &idle;
    ASSERT_TRUE(idle.Start({""}));
    ASSERT_TRUE(recorded.WaitFor("Done"));
    idle.Join();
    EXPECT_EQ(recorded.Log(), std::vector<std::string>{"Done"});
}

TEST_F(GroupListRefreshTest, LostConnectionAndRefusedListEndWithCounts) {
    {
        ScriptedServer server;
        std::string reply = ListReply({"alt.a", "alt.b", "alt.c"});
        reply.resize(reply.size() - 3);  // no end line: the server just goes
        server.On("LIST", Reply(reply).ThenClose());
        PointAt(server);
        CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
        sink.refresh = &refresh;
        RunRefresh(refresh, "");
        EXPECT_EQ(sink.Added(), (std::vector<std::string>{"alt.a", "alt.b", "alt.c"}));
        EXPECT_EQ(sink.Statuses().back(),
                  "  Operation complete -- 3 groups scanned; 3 groups added");
    }
    {
        // No 215: no list follows, so the refresh ends at once instead of
        // waiting for lines that never come.
        ScriptedServer server;
        server.On("LIST", "502 permission denied\r\n");
        PointAt(server);
        RecordingSink recorded;
        CGroupListRefresh refresh(ng::Profile(), recorded, nullptr);
        recorded.refresh = &refresh;
        auto start = Clock::now();
        ASSERT_NO_FATAL_FAILURE(RunRefresh(refresh, "", &recorded));
        EXPECT_LT(Clock::now() - start, 3s);
        auto log = recorded.Log();
        EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
                  (std::vector<std::string>{
                      "SelectFirst",
                      "Status:   Operation complete -- 0 groups scanned; 0 groups added", "Done"}));
    }
}

TEST_F(GroupListRefreshTest, LinesReadAfterTheServerClosedAreDropped) {
    // Lines as a connection hands them out, each with whether the server was
    // still there once it had been read: a connection that has taken in the
    // close along with the last lines still hands those lines out.
    class ClosingLines : public ng::IListLines {
    public:
        std::vector<std::pair<std::string, bool>> lines;
        size_t next = 0;
        std::string ReadLine() override {
            return next < lines.size() ? lines[next++].first : std::string();
        }
        bool IsConnected() const override { return next > 0 && lines[next - 1].second; }
    };
    ClosingLines source;
    source.lines = {{"alt.a 2 1 y\r\n", true},
                    {"alt.b 2 1 y\r\n", true},
                    {"alt.c 2 1 y\r\n", false},
                    {"alt.d 2 1 y\r\n", false},
                    {".\r\n", false}};
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    refresh.WalkList(source, {""});
    EXPECT_EQ(sink.Added(), (std::vector<std::string>{"alt.a", "alt.b"}));
    EXPECT_EQ(refresh.Scanned(), 2);
    EXPECT_EQ(refresh.Added(), 2);
    EXPECT_EQ(source.next, 3u);  // nothing more is read once the close is seen
}

TEST_F(GroupListRefreshTest, StopEndsTheWalkEvenWhileWaitingForTheServer) {
    ScriptedServer server;
    // Five lines, then silence far longer than the test waits.
    std::string firstPart = ListReply({"a.1", "a.2", "a.3", "a.4", "a.5"});
    firstPart.resize(firstPart.size() - 3);
    server.On("LIST", Reply::Pieces({firstPart, "b.1 1 1 y\r\n.\r\n"}, 4000ms));
    PointAt(server);
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    ASSERT_TRUE(refresh.Start({""}));
    ASSERT_TRUE(server.WaitForText("LIST\r\n"));
    std::this_thread::sleep_for(300ms);
    auto stopped = Clock::now();
    refresh.Stop();
    ASSERT_TRUE(sink.WaitFor("Done", 3s));
    EXPECT_LT(Clock::now() - stopped, 1500ms);
    refresh.Join();
    EXPECT_EQ(sink.Statuses().back(), "  Operation complete -- 5 groups scanned; 5 groups added");
    EXPECT_EQ(sink.Log().back(), "Done");
}

TEST_F(GroupListRefreshTest, StopCountsNoLineAfterItAndDoesNotOutliveItsRefresh) {
    ScriptedServer server;
    server.On("LIST", ListReply({"a.1", "a.2", "a.3"}));
    PointAt(server);
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;

    // A Stop given to a refresh run directly is seen at the first list line.
    refresh.Stop();
    refresh.GroupListThreadProc({""});
    EXPECT_TRUE(sink.Added().empty());
    EXPECT_EQ(sink.Statuses().back(), "  Operation complete -- 0 groups scanned; 0 groups added");

    // A Stop left over (pressed after a refresh read its last line) does not
    // end the next refresh that is started.
    refresh.Stop();
    RecordingSink next;
    CGroupListRefresh again(ng::Profile(), next, nullptr);
    next.refresh = &again;
    again.Stop();
    ASSERT_TRUE(again.Start({""}));
    ASSERT_TRUE(next.WaitFor("Done", 20s));
    again.Join();
    EXPECT_EQ(next.Added(), (std::vector<std::string>{"a.1", "a.2", "a.3"}));
}

TEST_F(GroupListRefreshTest, WaitsForTheDialogAndStopsWaitingOnStop) {
    ScriptedServer server;
    std::vector<std::string> names;
    for (int i = 0; i < 3 * static_cast<int>(CGroupListRefresh::kBatchNames); ++i) {
        names.push_back("alt.g" + std::to_string(i));
    }
    server.On("LIST", ListReply(names));
    PointAt(server);
    sink.acknowledge = false;  // a dialog that never takes the names
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    ASSERT_TRUE(refresh.Start({""}));
    ASSERT_TRUE(sink.WaitFor("Add: alt.g0"));
    std::this_thread::sleep_for(300ms);
    // Only the first batch went out: the refresh waits for its acknowledgement.
    EXPECT_EQ(sink.Added().size(), CGroupListRefresh::kBatchNames);

    // The second batch whole, then a Stop while the refresh waits again.
    refresh.AcknowledgeGroups();
    ASSERT_TRUE(
        sink.WaitFor("Add: alt.g" + std::to_string(2 * CGroupListRefresh::kBatchNames - 1)));
    refresh.Stop();
    ASSERT_TRUE(sink.WaitFor("Done", 2s));
    refresh.Join();
    EXPECT_EQ(sink.Added().size(), 2 * CGroupListRefresh::kBatchNames);
    EXPECT_EQ(sink.Log().back(), "Done");
}

TEST_F(GroupListRefreshTest, HundredThousandGroupsInAFewSeconds) {
    ScriptedServer server;
    constexpr int kGroups = 100000;
    std::vector<std::string> names;
    names.reserve(kGroups);
    for (int i = 0; i < kGroups; ++i) {
        names.push_back("alt.binaries.pictures.group" + std::to_string(i));
    }
    server.On("LIST", ListReply(names));
    PointAt(server);
    CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    auto start = Clock::now();
    RunRefresh(refresh, "");
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("[ figure ] refresh of %d groups: %.3f s in %d deliveries\n", kGroups, seconds,
                sink.Deliveries());
    EXPECT_LT(seconds, 5.0 * kSlowdown);
    EXPECT_EQ(sink.Added(), names);
    EXPECT_EQ(sink.Statuses().back(),
              "  Operation complete -- 100000 groups scanned; 100000 groups added");
    EXPECT_EQ(sink.Statuses().size(), 2u + kGroups / 10 + 1);
}
