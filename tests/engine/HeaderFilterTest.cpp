// The header filter on its own: the settings a pass reads for it, and its
// decisions in the order it makes them.

#include "engine/HeaderFilter.h"

#include <gtest/gtest.h>

#include "engine/PassSettings.h"
#include "settings/SettingsStore.h"
#include "store/DownloadHistory.h"
#include "store/SeenArticles.h"
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

ng::OverviewRecord Record(int64_t number, std::string subject, int lines, int64_t bytes,
                          std::string messageId = {}, std::string xref = {}) {
    ng::OverviewRecord r;
    r.number = number;
    r.subject = std::move(subject);
    r.from = "x@y";
    r.lines = lines;
    r.bytes = bytes;
    r.messageId = std::move(messageId);
    r.xref = std::move(xref);
    return r;
}

// A post split over several articles is judged once, as a whole: lines per
// article (its largest), kilobytes over all its parts.
TEST_F(HeaderFilter, PostsAreJudgedAsAWhole) {
    Configure("jpg", "", "sample");
    history.Add("seen.jpg");
    struct Case {
        std::vector<std::pair<std::string, int>> parts;  // subject, lines
        int64_t keptParts, total;
        Verdict verdict;
    };
    const Case cases[] = {
        // Each article within MinLines..MaxLines: a small last part is no matter.
        {{{"a.jpg (1/3)", 2000}, {"a.jpg (2/3)", 2000}, {"a.jpg (3/3)", 120}},
         0,
         3,
         Verdict::Accept},
        // Lines do not add up: three parts of 400 are three articles too small.
        {{{"a.jpg (1/3)", 400}, {"a.jpg (2/3)", 400}, {"a.jpg (3/3)", 400}},
         0,
         3,
         Verdict::LineCount},
        {{{"a.jpg (1/2)", 3001}}, 0, 2, Verdict::LineCount},
        {{{"a.jpg (2/2)", 1000}}, 1, 2, Verdict::Accept},
        // One part's subject decides for all: an include missed, an exclude hit.
        {{{"a.jpg (1/2)", 1000}, {"a.gif (2/2)", 1000}}, 0, 2, Verdict::NotIncluded},
        {{{"a.jpg (1/2)", 1000}, {"a.jpg sample (2/2)", 1000}}, 0, 2, Verdict::Excluded},
        {{{"x (1/2)", 1000}, {"seen.jpg (2/2)", 1000}}, 0, 2, Verdict::NotIncluded},
        {{{"seen.jpg (1/2)", 1000}, {"seen.jpg (2/2)", 1000}}, 0, 2, Verdict::InHistory},
    };
    for (const Case& c : cases) {
        std::vector<ng::OverviewRecord> records;
        for (const auto& [subject, lines] : c.parts) {
            records.push_back(Record(static_cast<int64_t>(records.size()) + 1, subject, lines, 1));
        }
        ng::HeaderFilter::PostView post;
        for (const auto& record : records) {
            post.parts.push_back(&record);
        }
        post.key = "key";
        post.keptParts = c.keptParts;
        post.total = c.total;
        EXPECT_EQ(filter.AcceptPost(post).verdict, c.verdict) << c.parts.front().first;
    }
    // Accepted once; the same post again (a crosspost) is rejected.
    const std::vector<ng::OverviewRecord> records = {Record(1, "b.jpg (1/2)", 1000, 1),
                                                     Record(2, "b.jpg (2/2)", 1000, 1)};
    ng::HeaderFilter::PostView post;
    post.parts = {&records[0], &records[1]};
    post.key = "b key";
    post.total = 2;
    ASSERT_EQ(filter.AcceptPost(post).verdict, Verdict::Accept);
    filter.NoteAccepted(post);
    EXPECT_EQ(filter.AcceptPost(post).verdict, Verdict::Crosspost);
}

// Without a line limit, the size of the whole picture in kilobytes: a post
// counts its parts' bytes, and one not yet whole its estimate.
TEST_F(HeaderFilter, TodaysSizesAreKilobytesOfTheWholePicture) {
    Configure("", "");
    ng::Profile().WriteProfileString("Newsgleaner", "MinLines", "");
    ng::Profile().WriteProfileString("Newsgleaner", "MaxLines", "");
    ng::Profile().WriteProfileString("Newsgleaner", "MinKB", "20");
    ng::Profile().WriteProfileString("Newsgleaner", "MaxKB", "1000");
    settings = ng::ReadPassSettings(ng::Profile()).filter;
    const int64_t kKB = 1024;
    EXPECT_EQ(filter.AcceptArticle(Record(1, "tiny.jpg", 10, 19 * kKB), "g").verdict,
              Verdict::LineCount);
    EXPECT_EQ(filter.AcceptArticle(Record(2, "small.jpg", 10, 20 * kKB), "g").verdict,
              Verdict::Accept);
    EXPECT_EQ(filter.AcceptArticle(Record(3, "huge.jpg", 99999, 1000 * kKB + 1), "g").verdict,
              Verdict::LineCount);
    // Two parts of 600 KB: too much together; one of four parts of 4 KB: too little.
    const std::vector<ng::OverviewRecord> big = {Record(4, "b (1/2)", 6000, 600 * kKB),
                                                 Record(5, "b (2/2)", 6000, 600 * kKB)};
    const ng::OverviewRecord quarter = Record(6, "q (1/4)", 60, 4 * kKB);
    ng::HeaderFilter::PostView post;
    post.parts = {&big[0], &big[1]};
    post.key = "b";
    post.total = 2;
    EXPECT_EQ(filter.AcceptPost(post).verdict, Verdict::LineCount);
    post.parts = {&quarter};
    post.key = "q";
    post.total = 4;
    EXPECT_EQ(filter.AcceptPost(post).verdict, Verdict::LineCount);
}

// Crossposts are told by message-id and Xref; distinct posts that share a
// subject are each taken; the subject rule stays for overviews that say
// neither.
TEST_F(HeaderFilter, CrosspostsAreToldByMessageIdAndXref) {
    Configure("", "");
    const ng::OverviewRecord first =
        Record(5, "Sunny afternoon, one more", 1000, 1, "<a@x>", "news a.pics:5 b.pics:9");
    ASSERT_EQ(filter.AcceptArticle(first, "a.pics").verdict, Verdict::Accept);
    filter.NoteAccepted(first, "a.pics");
    struct Case {
        ng::OverviewRecord record;
        Verdict verdict;
    };
    const Case cases[] = {
        // The same subject, another post: taken.
        {Record(6, "Sunny afternoon, one more", 1000, 1, "<b@x>", "news a.pics:6"),
         Verdict::Accept},
        // The copy in the other group: by its message-id, or by its Xref alone.
        {Record(9, "Sunny afternoon", 1000, 1, "<a@x>", "news a.pics:5 b.pics:9"),
         Verdict::Crosspost},
        {Record(9, "Sunny afternoon", 1000, 1, "", "news a.pics:5 b.pics:9"), Verdict::Crosspost},
        // Neither: the subject, as it always was.
        {Record(7, "Sunny afternoon, one more", 1000, 1), Verdict::Accept},
    };
    filter.NoteAccepted(Record(3, "old style", 1000, 1), "a.pics");
    for (const Case& c : cases) {
        EXPECT_EQ(filter.AcceptArticle(c.record, "b.pics").verdict, c.verdict)
            << c.record.messageId << " " << c.record.xref;
    }
    EXPECT_EQ(filter.AcceptArticle(Record(8, "old style", 1000, 1), "b.pics").verdict,
              Verdict::Crosspost);
    // What an earlier pass dealt with counts too.
    ng::SeenArticles seen;
    seen.Note("<old@x>", "a.pics", 1);
    ng::HeaderFilter later(settings, history, &seen);
    EXPECT_EQ(later.AcceptArticle(Record(2, "again", 1000, 1, "<old@x>"), "b.pics").verdict,
              Verdict::Crosspost);
    EXPECT_EQ(
        later.AcceptArticle(Record(2, "again", 1000, 1, "<new@x>", "h a.pics:1"), "b.pics").verdict,
        Verdict::Crosspost);
}

// Today's subjects quote their names: a downloaded name there is a hit too.
TEST_F(HeaderFilter, HistoryFindsNamesAfterQuotesBracketsAndParentheses) {
    Configure("", "");
    history.Add("img_1234.jpg");
    for (const char* subject : {"\"IMG_1234.jpg\" yEnc (1/1)", "[01/10] - (IMG_1234.jpg)",
                                "set [IMG_1234.jpg]", "'img_1234.jpg' 1/1"}) {
        auto hit = filter.AcceptHeader(subject, "x", 1000);
        EXPECT_EQ(hit.verdict, Verdict::InHistory) << subject;
        EXPECT_EQ(hit.matched.substr(1), "IMG_1234.JPG") << subject;
    }
    EXPECT_TRUE(Accept("xIMG_1234.jpg"));
}

}  // namespace
