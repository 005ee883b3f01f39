#include <gtest/gtest.h>

#include "RecordingDisplay.h"
#include "engine/ProcessGroups.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

namespace {

class HeaderFilter : public ::testing::Test {
protected:
    void Configure(const std::string& incl, const std::string& incl2,
                   const std::string& excl = "") {
        auto& store = ng::Profile();
        store.WriteProfileString("Newsgleaner", "SubjectIncl", incl);
        store.WriteProfileString("Newsgleaner", "SubjectIncl2", incl2);
        store.WriteProfileString("Newsgleaner", "SubjectExcl", excl);
        store.WriteProfileString("Newsgleaner", "MinLines", "500");
        store.WriteProfileString("Newsgleaner", "MaxLines", "3000");
        worker.ReadFilterSettings();
    }
    bool Accept(const std::string& subject, int lines = 1000, const std::string& from = "x@y") {
        return worker.AcceptHeader("1", subject, from, lines);
    }

    ngtest::Sandbox sandbox;
    RecordingDisplay display;
    ng::PendingList pending;
    CProcessGroups worker{ng::Profile(), display, nullptr, pending};
};

TEST_F(HeaderFilter, LineRangeIsInclusive) {
    Configure("", "");
    EXPECT_TRUE(Accept("a", 500));
    EXPECT_TRUE(Accept("b", 3000));
    EXPECT_FALSE(Accept("c", 499));
    EXPECT_FALSE(Accept("d", 3001));
    EXPECT_EQ(worker.m_expectedLines, 3001);  // set even for a rejected header
}

TEST_F(HeaderFilter, IncludeListsAreAnAndOfTwoOrs) {
    Configure("jpg:gif", "1/1:01/01");
    EXPECT_TRUE(Accept("Cat.JPG (1/1)"));
    EXPECT_FALSE(Accept("Cat.jpg (1/2)"));
    EXPECT_TRUE(Accept("dog.gif (01/01)"));
    Configure(":zzz", "");  // an empty token matches everything
    EXPECT_TRUE(Accept("anything"));
    Configure("", "", "porn:spam");
    EXPECT_FALSE(Accept("SPAM here"));
    EXPECT_TRUE(Accept("ham here"));
}

TEST_F(HeaderFilter, SenderExcludesAreSubstrings) {
    ngtest::WriteFile("FromExcludes", "@Spammer.example\r\nbadguy\n");
    Configure("", "");
    EXPECT_FALSE(Accept("a", 1000, "Joe <joe@spammer.EXAMPLE>"));
    EXPECT_FALSE(Accept("b", 1000, "BadGuy <x@y>"));
    EXPECT_TRUE(Accept("c", 1000, "Good <g@ok.example>"));
}

TEST_F(HeaderFilter, HistoryAndCrosspostsCountAndLog) {
    ng::Profile().WriteProfileString("Newsgleaner", "LogHistAct", "yes");
    Configure("", "");
    worker.m_history.Add("abc");  // three characters never match
    worker.m_history.Add("cat.jpg");
    EXPECT_TRUE(Accept("abc.png"));
    EXPECT_FALSE(Accept("cat.jpg (1/1)"));
    EXPECT_FALSE(Accept("Nice cat.jpg (1/1)"));
    EXPECT_TRUE(Accept("bobcat.jpg"));
    EXPECT_EQ(worker.HistorySkipped(), 2);
    EXPECT_TRUE(display.Has("HistorySkipped: 1"));
    EXPECT_EQ(ngtest::ReadFile("HistLog.txt"),
              "cat.jpg -- cat.jpg (1/1)\n cat.jpg -- nice cat.jpg (1/1)\n");

    worker.m_acceptedSubjects.insert("dup.jpg");
    EXPECT_FALSE(Accept("dup.jpg"));
    EXPECT_TRUE(Accept("DUP.jpg"));  // differs in case: not a crosspost
    EXPECT_EQ(worker.CrosspostsSkipped(), 1);
}

TEST_F(HeaderFilter, HistoryLogNeedsExactlyYes) {
    ng::Profile().WriteProfileString("Newsgleaner", "LogHistAct", "Yes");
    Configure("", "");
    worker.m_history.Add("cat.jpg");
    EXPECT_FALSE(Accept("cat.jpg"));
    EXPECT_FALSE(ngtest::FileExists("HistLog.txt"));
}

}  // namespace
