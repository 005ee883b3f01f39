// The rules the pending files dialog and the thumbnail carry, without a window.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "engine/PendingEditor.h"
#include "engine/ThumbnailRules.h"

namespace {

ng::PendingEntry Entry(const std::string& line) {
    return {*ng::ParseOverviewRecord(line)};
}

ng::PendingEntry Line(int number, const std::string& subject, const std::string& from = "poster",
                      const std::string& lines = "700") {
    return Entry(std::to_string(number) + "\t" + subject + "\t" + from + "\tdate\t<id>\t\t1000\t" +
                 lines + "\r\n");
}

// The parts of one post, in one entry.
ng::PendingEntry operator+(ng::PendingEntry a, const ng::PendingEntry& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> Subjects(const ng::PendingEditor& editor) {
    std::vector<std::string> subjects;
    for (const auto& row : editor.Rows()) {
        subjects.push_back(row.subject);
    }
    return subjects;
}

}  // namespace

TEST(PendingEditor, RowsShowSubjectSenderAndLines) {
    std::deque<ng::PendingEntry> lines = {Line(1, "a & b.jpg", "Tom & Jerry", "812"),
                                          Entry("2\tonly subject"), Line(3, "x", "y", "12abc")};
    bool edited = false;
    int removed = 0;
    ng::PendingEditor editor(lines, edited, removed);
    auto rows = editor.Rows();
    EXPECT_EQ(rows.size(), size_t(3));
    EXPECT_EQ(rows[0].subject, std::string("a & b.jpg"));
    EXPECT_EQ(rows[0].from, std::string("Tom & Jerry"));
    EXPECT_EQ(rows[0].lines, 812);
    EXPECT_EQ(rows[1].from, std::string());
    EXPECT_EQ(rows[1].lines, 0);
    EXPECT_EQ(rows[2].lines, 12);  // leading digits
}

TEST(PendingEditor, APostSplitOverArticlesIsOneRow) {
    std::deque<ng::PendingEntry> lines = {Line(7, "b.jpg (1/3)", "poster", "400") +
                                              Line(9, "b.jpg (2/3)", "poster", "400") +
                                              Line(8, "b.jpg (3/3)", "poster", "150"),
                                          Line(3, "a.jpg (1/1)")};
    bool edited = false;
    int removed = 0;
    ng::PendingEditor editor(lines, edited, removed);
    auto rows = editor.Rows();
    ASSERT_EQ(rows.size(), size_t(2));
    EXPECT_EQ(rows[0].subject, std::string("b.jpg (1/3)"));
    EXPECT_EQ(rows[0].lines, 950);
    editor.SortBySubject();
    EXPECT_EQ(Subjects(editor), (std::vector<std::string>{"a.jpg (1/1)", "b.jpg (1/3)"}));
    EXPECT_EQ(editor.Remove({1}), 1);  // the whole post goes
    EXPECT_EQ(lines.size(), size_t(1));
}

TEST(PendingEditor, RemoveCountsAndMarks) {
    std::deque<ng::PendingEntry> lines;
    for (int i = 1; i <= 6; ++i) {
        lines.push_back(Line(i, "s" + std::to_string(i)));
    }
    bool edited = true;  // removals of an earlier opening not yet taken
    int removed = 2;
    ng::PendingEditor editor(lines, edited, removed);
    EXPECT_EQ(editor.Remove({4, 0, 2, 2, 99}), 3);
    EXPECT_EQ(lines.size(), size_t(3));
    EXPECT_EQ(Subjects(editor), (std::vector<std::string>{"s2", "s4", "s6"}));
    EXPECT_EQ(removed, 5);
    EXPECT_EQ(editor.Remove({}), 0);  // nothing selected still marks the list
    EXPECT_TRUE(edited);

    bool edited2 = false;
    int removed2 = 0;
    std::deque<ng::PendingEntry> none;
    ng::PendingEditor empty(none, edited2, removed2);
    EXPECT_EQ(empty.Remove({}), 0);
    EXPECT_TRUE(edited2);
    EXPECT_EQ(removed2, 0);
}

TEST(PendingEditor, SortIsByteOrderByExchange) {
    std::deque<ng::PendingEntry> lines = {Line(1, "b"),    Line(2, "a", "first"),  Line(3, "B"),
                                          Line(4, "\xE9"), Line(5, "a", "second"), Line(6, "A")};
    bool edited = false;
    int removed = 0;
    ng::PendingEditor editor(lines, edited, removed);
    editor.SortBySubject();
    // Upper case before lower case, bytes above 127 last. The exchange sort
    // swaps "first" out to the end on its way, so the two "a" entries come
    // out in reverse order here, where a stable sort would keep them.
    EXPECT_EQ(Subjects(editor), (std::vector<std::string>{"A", "B", "a", "a", "b", "\xE9"}));
    EXPECT_EQ(editor.Rows()[2].from, std::string("second"));
    EXPECT_EQ(editor.Rows()[3].from, std::string("first"));
    EXPECT_FALSE(edited);  // sorting alone is no removal

    std::deque<ng::PendingEntry> one = {Line(1, "z")};
    ng::PendingEditor single(one, edited, removed);
    single.SortBySubject();
    EXPECT_EQ(one.size(), size_t(1));

    // Distinct subjects have one order only, however the list is sorted.
    std::deque<ng::PendingEntry> many;
    std::vector<std::string> expected;
    for (int n = 0; n < 5000; ++n) {
        const std::string subject = "s" + std::to_string(n * 7919 % 5000);
        many.push_back(Line(n + 1, subject));
        expected.push_back(subject);
    }
    std::sort(expected.begin(), expected.end());
    ng::PendingEditor big(many, edited, removed);
    big.SortBySubject();
    EXPECT_EQ(Subjects(big), expected);
}

TEST(PendingEditor, CancelRestoresListAndMarks) {
    std::deque<ng::PendingEntry> lines = {Line(1, "c"), Line(2, "a"), Line(3, "b")};
    const std::deque<ng::PendingEntry> before = lines;
    {
        bool edited = false;
        int removed = 0;
        ng::PendingEditor editor(lines, edited, removed);
        editor.SortBySubject();
        editor.Remove({0});
        editor.Cancel();
        EXPECT_EQ(lines, before);  // each entry once, in the old order
        EXPECT_FALSE(edited);
        EXPECT_EQ(removed, 0);
    }
    {
        // Removals of an earlier opening still pending: Cancel keeps those
        // and drops only its own.
        bool edited = true;
        int removed = 4;
        ng::PendingEditor editor(lines, edited, removed);
        editor.Remove({1, 2});
        EXPECT_EQ(removed, 6);
        editor.Cancel();
        EXPECT_EQ(lines, before);
        EXPECT_TRUE(edited);
        EXPECT_EQ(removed, 4);
    }
}

TEST(ThumbnailRules, OnlyPicturePathsAreShown) {
    EXPECT_TRUE(ng::ThumbnailTakes(""));
    EXPECT_TRUE(ng::ThumbnailTakes("/pics/cat.jpg"));
    EXPECT_TRUE(ng::ThumbnailTakes("/pics/cat.jpg.part"));  // anywhere in the path
    EXPECT_TRUE(ng::ThumbnailTakes("/x.jpgs/cat"));
    EXPECT_TRUE(ng::ThumbnailTakes("/pics/cat.gif"));
    EXPECT_TRUE(ng::ThumbnailTakes("/pics/cat.png"));
    EXPECT_TRUE(ng::ThumbnailTakes("/pics/cat.webp"));
    EXPECT_FALSE(ng::ThumbnailTakes("/pics/cat.bmp"));
    EXPECT_FALSE(ng::ThumbnailTakes("/pics/cat.JPG"));  // exact case
    EXPECT_FALSE(ng::ThumbnailTakes("/pics/cat.jpeg"));
}

TEST(ThumbnailRules, CaptionIsTheNameAfterTheLastSlash) {
    EXPECT_EQ(ng::ThumbnailCaptionName("/pics/a/cat&dog.jpg"), std::string("cat&dog.jpg"));
    EXPECT_EQ(ng::ThumbnailCaptionName("cat.jpg"), std::string("cat.jpg"));
    EXPECT_EQ(ng::ThumbnailCaptionName("/pics/"), std::string());
    EXPECT_EQ(ng::ThumbnailCaptionName(""), std::string());
}

TEST(ThumbnailRules, FullSizeRoom) {
    // Fits: the picture and 3 pixels, not tall.
    EXPECT_EQ(ng::FullSizeRoomFor(1024, 768, 640, 480), (ng::FullSizeRoom{643, 483, 0}));
    // Taller than the screen allows: cut to the screen less 50, tall.
    EXPECT_EQ(ng::FullSizeRoomFor(1024, 768, 800, 1200), (ng::FullSizeRoom{803, 718, 1}));
    // Wider than the screen: cut across, still not tall.
    EXPECT_EQ(ng::FullSizeRoomFor(1024, 768, 3000, 100), (ng::FullSizeRoom{1014, 103, 0}));
    // Exactly at the edge: room equals the picture and 3, not tall.
    EXPECT_EQ(ng::FullSizeRoomFor(1024, 768, 100, 715), (ng::FullSizeRoom{103, 718, 0}));
    EXPECT_EQ(ng::FullSizeRoomFor(1024, 768, 100, 716), (ng::FullSizeRoom{103, 718, 1}));
    // Nothing loaded.
    EXPECT_EQ(ng::FullSizeRoomFor(1024, 768, 0, 0), (ng::FullSizeRoom{3, 3, 0}));
}
