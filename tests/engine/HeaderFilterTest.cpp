// The header filter on its own: the settings a pass reads for it, and its
// decisions in the order it makes them.

#include "engine/HeaderFilter.h"

#include <gtest/gtest.h>

#include "engine/PassSettings.h"
#include "settings/SettingsStore.h"
#include "store/DownloadHistory.h"
#include "support/TestSupport.h"

namespace {

using Verdict = ng::HeaderFilter::Verdict;

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
        settings = ng::ReadPassSettings(store).filter;
    }
    Verdict Judge(const std::string& subject, int lines = 1000, const std::string& from = "x@y") {
        return filter.AcceptHeader(subject, from, lines).verdict;
    }
    bool Accept(const std::string& subject, int lines = 1000, const std::string& from = "x@y") {
        return Judge(subject, lines, from) == Verdict::Accept;
    }

    ngtest::Sandbox sandbox;
    ng::FilterSettings settings;
    ng::DownloadHistory history;
    ng::HeaderFilter filter{settings, history};
};

TEST_F(HeaderFilter, LineRangeIsInclusive) {
    Configure("", "");
    EXPECT_TRUE(Accept("a", 500));
    EXPECT_TRUE(Accept("b", 3000));
    EXPECT_EQ(Judge("c", 499), Verdict::LineCount);
    EXPECT_EQ(Judge("d", 3001), Verdict::LineCount);
}

TEST_F(HeaderFilter, IncludeListsAreAnAndOfTwoOrs) {
    Configure("jpg:gif", "1/1:01/01");
    EXPECT_TRUE(Accept("Cat.JPG (1/1)"));
    EXPECT_EQ(Judge("Cat.jpg (1/2)"), Verdict::NotIncluded);
    EXPECT_TRUE(Accept("dog.gif (01/01)"));
    Configure(":zzz", "");  // an empty token matches everything
    EXPECT_TRUE(Accept("anything"));
    Configure("", "", "porn:spam");
    EXPECT_EQ(Judge("SPAM here"), Verdict::Excluded);
    EXPECT_TRUE(Accept("ham here"));
}

TEST_F(HeaderFilter, SenderExcludesAreSubstrings) {
    ngtest::WriteFile("FromExcludes", "@Spammer.example\r\nbadguy\n");
    Configure("", "");
    EXPECT_EQ(Judge("a", 1000, "Joe <joe@spammer.EXAMPLE>"), Verdict::SenderExcluded);
    EXPECT_EQ(Judge("b", 1000, "BadGuy <x@y>"), Verdict::SenderExcluded);
    EXPECT_TRUE(Accept("c", 1000, "Good <g@ok.example>"));
}

TEST_F(HeaderFilter, HistoryHitsSayWhatMatchedAndCrosspostsAreExact) {
    Configure("", "");
    history.Add("abc");  // three characters never match
    history.Add("cat.jpg");
    EXPECT_TRUE(Accept("abc.png"));
    auto start = filter.AcceptHeader("cat.jpg (1/1)", "x", 1000);
    EXPECT_EQ(start.verdict, Verdict::InHistory);
    EXPECT_EQ(start.matched, "CAT.JPG");
    auto later = filter.AcceptHeader("Nice cat.jpg (1/1)", "x", 1000);
    EXPECT_EQ(later.verdict, Verdict::InHistory);
    EXPECT_EQ(later.matched, " CAT.JPG");
    EXPECT_TRUE(Accept("bobcat.jpg"));

    filter.NoteAccepted("dup.jpg");
    EXPECT_EQ(Judge("dup.jpg"), Verdict::Crosspost);
    EXPECT_TRUE(Accept("DUP.jpg"));  // differs in case: not a crosspost
}

TEST_F(HeaderFilter, HistoryLogNeedsExactlyYes) {
    for (auto [value, on] : {std::pair{"yes", true}, {"Yes", false}, {"YES", false}, {"", false}}) {
        ng::Profile().WriteProfileString("Newsgleaner", "LogHistAct", value);
        EXPECT_EQ(ng::ReadPassSettings(ng::Profile()).filter.logHistoryHits, on) << value;
    }
}

}  // namespace

namespace {

// A post split over several articles is judged once, as a whole.
TEST_F(HeaderFilter, PostsAreJudgedAsAWhole) {
    Configure("jpg", "", "sample");
    history.Add("seen.jpg");
    struct Case {
        std::vector<std::string_view> subjects;
        int64_t lines, known, total;
        Verdict verdict;
    };
    const Case cases[] = {
        // Lines add up: 3 x 400 passes MinLines 500 though each part is below it.
        {{"a.jpg (1/3)", "a.jpg (2/3)", "a.jpg (3/3)"}, 1200, 3, 3, Verdict::Accept},
        {{"a.jpg (1/3)", "a.jpg (2/3)", "a.jpg (3/3)"}, 3600, 3, 3, Verdict::LineCount},
        // Not all known yet: MaxLines counts what is known, MinLines the estimate.
        {{"a.jpg (1/4)"}, 200, 1, 4, Verdict::Accept},
        {{"a.jpg (1/4)"}, 100, 1, 4, Verdict::LineCount},
        {{"a.jpg (1/2)"}, 3001, 1, 2, Verdict::LineCount},
        // One part's subject decides for all: an include missed, an exclude hit.
        {{"a.jpg (1/2)", "a.gif (2/2)"}, 1000, 2, 2, Verdict::NotIncluded},
        {{"a.jpg (1/2)", "a.jpg sample (2/2)"}, 1000, 2, 2, Verdict::Excluded},
        {{"x (1/2)", "seen.jpg (2/2)"}, 1000, 2, 2, Verdict::NotIncluded},
        {{"seen.jpg (1/2)", "seen.jpg (2/2)"}, 1000, 2, 2, Verdict::InHistory},
    };
    for (const Case& c : cases) {
        ng::HeaderFilter::PostView post{c.subjects, "x@y", "key", c.lines, c.known, c.total};
        EXPECT_EQ(filter.AcceptPost(post).verdict, c.verdict)
            << c.subjects.front() << " " << c.lines;
    }
    // Accepted once; the same post again (a crosspost) is rejected once.
    ng::HeaderFilter::PostView post{{"b.jpg (1/2)", "b.jpg (2/2)"}, "x@y", "b key", 1000, 2, 2};
    ASSERT_EQ(filter.AcceptPost(post).verdict, Verdict::Accept);
    filter.NoteAccepted(post.key);
    EXPECT_EQ(filter.AcceptPost(post).verdict, Verdict::Crosspost);
}

}  // namespace
