// Today's picture posts through a whole pass: yEnc, pictures split over
// several articles (joined in one pass or across passes), damaged posts,
// pictures named by their real type, the same picture posted twice, and
// articles with several attachments of which only the pictures are kept.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "PassHarness.h"
#include "platform/ContentHash.h"
#include "store/WorkingFiles.h"

namespace enginetest {
namespace {

using ngtest::YencEncode;
using ngtest::YencEncodePart;

TestArticle Article(int number, const std::string& subject, const std::string& body,
                    int lines = 1000) {
    TestArticle a;
    a.number = number;
    a.subject = subject;
    a.body = "Posted with a newsreader.\r\n\r\n" + body;
    a.lines = lines;
    return a;
}

// The three yEnc parts of `file`, articles first..first+2, listed in the
// overview in the order given.
void AddYencPost(FakeNews& news, const std::string& file, const std::string& name, int first,
                 std::vector<int> order = {1, 2, 3}, int lines = 400) {
    const size_t third = file.size() / 3;
    const size_t ends[] = {third, 2 * third, file.size()};
    for (int part : order) {
        size_t begin = part == 1 ? 1 : ends[part - 2] + 1;
        news.Add("alt.test",
                 Article(first + part - 1, "\"" + name + "\" yEnc (" + std::to_string(part) + "/3)",
                         YencEncodePart(file, name, part, 3, begin, ends[part - 1]), lines));
    }
}

std::set<std::string> WorkFolderEntries(const ngtest::Sandbox& sandbox) {
    std::set<std::string> entries;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(
             sandbox.File(ng::files::kPartsFolder), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        entries.insert(it->path().filename().string());
    }
    return entries;
}

class Posts : public PassTest {
protected:
    Posts() { Set("SubjectIncl2", ""); }  // multi-part posts pass the filter

    std::string RunNextPass() {
        display.Forget();
        return RunPass();
    }
};

TEST_F(Posts, YencWholeAndSplitPicturesAreSavedByteForByte) {
    const std::string single = JpegLikeBytes(20000, 1);
    const std::string split = JpegLikeBytes(90001, 2);
    news.Add("alt.test",
             Article(1, "\"single shot.jpg\" yEnc (1/1)", YencEncode(single, "single shot.jpg")));
    AddYencPost(news, split, "split.jpg", 2, {3, 1, 2});  // listed out of order
    news.Add("alt.test", Article(5, "after.jpg (1/1)", ngtest::UUEncode("after", "after.jpg")));

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("single shot.jpg") == single);
    EXPECT_TRUE(Downloaded("split.jpg") == split);
    EXPECT_EQ(HistoryOnDisk(),
              (std::vector<std::string>{"single shot.jpg", "split.jpg", "after.jpg"}));
    // Three retrievals: the post is one entry, its parts fetched in order.
    EXPECT_TRUE(display.Has("Status: Retrieving 3 files from alt.test"));
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(display.Has("Thumbnail: " + downloadDir + "split.jpg"));
    EXPECT_EQ(Mark("alt.test"), "5");
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, APostAcrossTwoOverviewRangesIsNoCrosspostOfItself) {
    // Parts 9999 and 10000 come in the first range of overview lines, part
    // 10001 in the next one.
    const std::string split = JpegLikeBytes(30000, 3);
    news.Add("alt.test", Article(1, "first.jpg (1/1)", ngtest::UUEncode("first", "first.jpg")));
    AddYencPost(news, split, "across.jpg", 9999);
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("across.jpg") == split);
    EXPECT_FALSE(display.Has("CrosspostsSkipped: 1"));
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, UuSplitOverArticlesIsJoinedInPartOrder) {
    const std::string file = RandomBytes(45 * 100 + 7, 4);
    std::vector<std::string> lines = ngtest::UuFileLines(file, "uu split.jpg");
    std::string bodies[3];
    for (size_t i = 0; i < lines.size(); ++i) {
        bodies[i * 3 / lines.size()] += lines[i];
    }
    // Text around the data in every part, as posting programs write it.
    for (int part = 3; part >= 1; --part) {
        news.Add("alt.test", Article(10 + part, "uu split.jpg (" + std::to_string(part) + "/3)",
                                     "_=_ Part " + std::to_string(part) + " of 3\r\n\r\n" +
                                         bodies[part - 1] + "\r\n-- \r\nposter\r\n"));
    }
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("uu split.jpg") == file);
}

TEST_F(Posts, PartsWaitInTheWorkFolderAcrossPasses) {
    const std::string file = JpegLikeBytes(30000, 5);
    AddYencPost(news, file, "late.jpg", 1, {1, 2});
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "late.jpg"));
    EXPECT_EQ(WorkFolderEntries(sandbox).size(), 4u);  // its folder, state, two parts
    EXPECT_EQ(Mark("alt.test"), "2");

    AddYencPost(news, file, "late.jpg", 1, {3});
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("late.jpg") == file);
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2, 3}));  // nothing fetched twice
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());

    // Parts that never became whole are given up after PartialKeepDays.
    AddYencPost(news, JpegLikeBytes(30000, 6), "never.jpg", 4, {1});
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_FALSE(WorkFolderEntries(sandbox).empty());
    Set("PartialKeepDays", "-1");
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

// Subjects that hide everything: each part is known by its own yEnc
// header, waits as any part does (not "damaged"), and the file is joined
// when the last one comes, its number of parts worked out when the headers
// leave it out.
TEST_F(Posts, PartsKnownOnlyByTheirOwnHeadersAreJoined) {
    // Parts of one size, the last one shorter, as posting programs cut them.
    const std::string file = JpegLikeBytes(25000, 9);
    const size_t ends[] = {10000, 20000, 25000};
    auto part = [&](int number, int n, const std::string& subject) {
        std::string body =
            YencEncodePart(file, "hidden.jpg", n, 3, n == 1 ? 1 : ends[n - 2] + 1, ends[n - 1]);
        body.erase(body.find(" total=3"), 8);
        return Article(number, subject, body, 400);
    };
    news.Add("alt.test", part(1, 3, "a8f3e2b1c9d0"));
    news.Add("alt.test", part(2, 1, "77c01e5d2b"));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "hidden.jpg"));
    EXPECT_TRUE(display.CallsStarting("Status: Damaged").empty());
    EXPECT_FALSE(display.CallsStarting("Status: 1 post waits for missing parts").empty());

    news.Add("alt.test", part(3, 2, "e5d2b77c01"));
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("hidden.jpg") == file);
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, ALinkInPlaceOfTheWorkFolderIsNeverFollowed) {
    const std::string elsewhere = sandbox.File("elsewhere");
    MakeDir(elsewhere);
    ASSERT_EQ(::symlink(elsewhere.c_str(), sandbox.File(ng::files::kPartsFolder).c_str()), 0);
    AddYencPost(news, JpegLikeBytes(3000, 20), "linked.jpg", 1);
    // A part that cannot be kept is not dealt with: the mark stays below it,
    // and the pass ends saying why (once on the way, and as its end).
    const std::string refused =
        "Unable to keep parts in .parts (Too many levels of symbolic links)";
    EXPECT_EQ(RunPass(), refused);
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere, ec));
    EXPECT_TRUE(std::filesystem::is_empty(downloadDir, ec));
    EXPECT_EQ(display.CallsStarting("Status: " + refused).size(), 2u);
    EXPECT_EQ(Mark("alt.test"), "0");
}

TEST_F(Posts, TheWorkFolderIsTrustedNoMoreThanTheServer) {
    // A name read back from a post's state keeps to the download folder,
    // and a part listed twice whose first copy is damaged gets its second.
    const std::string file = JpegLikeBytes(30000, 30);
    AddYencPost(news, file, "kept.jpg", 1, {1, 2});
    EXPECT_EQ(RunPass(), "Operation complete");
    std::string statePath;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(sandbox.File(ng::files::kPartsFolder))) {
        if (entry.path().filename() == "state") {
            statePath = entry.path().string();
        }
    }
    ASSERT_FALSE(statePath.empty());
    std::string state = ngtest::ReadFile(statePath);
    state.replace(state.find("name kept.jpg"), 13, "name ../outside/evil.jpg");
    ngtest::WriteFile(statePath, state);

    const size_t third = file.size() / 3;
    TestArticle damaged =
        Article(3, "\"kept.jpg\" yEnc (3/3)",
                YencEncodePart(file, "kept.jpg", 3, 3, 2 * third + 1, file.size()));
    damaged.body.replace(damaged.body.find("pcrc32=") + 7, 8, "00000000");
    news.Add("alt.test", damaged);
    news.Add("alt.test",
             Article(4, "\"kept.jpg\" yEnc (3/3)",
                     YencEncodePart(file, "kept.jpg", 3, 3, 2 * third + 1, file.size())));
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("evil.jpg") == file);
    EXPECT_FALSE(std::filesystem::exists(sandbox.File("outside")));
    EXPECT_FALSE(std::filesystem::exists(downloadDir + "../outside"));
    EXPECT_EQ(display.CallsStarting("Status: Damaged post, not saved: ").size(), 1u);
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
    EXPECT_EQ(Mark("alt.test"), "4");
}

TEST_F(Posts, APostWhoseJoinFailedIsJoinedByTheNextPassFromItsKeptParts) {
    // The download folder goes away as the last part comes: every part is
    // kept, nothing is joined, the mark stays below the post. The next pass
    // judges it from its kept parts alone and joins it without a fetch.
    const std::string file = JpegLikeBytes(30000, 40);
    AddYencPost(news, file, "late join.jpg", 1);
    news.OnArticle([this](const std::string&, int number) {
        if (number == 3) {
            std::filesystem::remove_all(downloadDir);
        }
    });
    EXPECT_EQ(RunPass().rfind("Error--cannot write in ", 0), 0u);
    EXPECT_EQ(Mark("alt.test"), "0");
    news.OnArticle(std::function<void(const std::string&, int)>());
    MakeDir(downloadDir);
    const size_t asked = news.ArticlesAsked().size();
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("late join.jpg") == file);
    EXPECT_EQ(news.ArticlesAsked().size(), asked);
    EXPECT_EQ(Mark("alt.test"), "3");
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, DamagedPostsKeepNothingAndAreReported) {
    Set("EnableLogging", "1");
    Set("LogFile", sandbox.File("download.log"));
    const std::string bytes = JpegLikeBytes(5000, 7);
    std::string bad = YencEncode(bytes, "bad.jpg");
    bad.replace(bad.find("crc32=") + 6, 8, "00000000");
    news.Add("alt.test", Article(1, "bad.jpg (1/1)", bad));
    // A split post whose parts do not add up to the file.
    const std::string file = JpegLikeBytes(30000, 8);
    news.Add("alt.test",
             Article(2, "gap.jpg (1/2)", YencEncodePart(file, "gap.jpg", 1, 2, 1, 10000)));
    news.Add("alt.test",
             Article(3, "gap.jpg (2/2)", YencEncodePart(file, "gap.jpg", 2, 2, 20001, 30000)));
    EXPECT_EQ(RunPass(), "Operation complete");

    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(downloadDir, ec));
    EXPECT_TRUE(HistoryOnDisk().empty());  // a repost may still be fetched
    EXPECT_EQ(Mark("alt.test"), "3");
    auto damaged = display.CallsStarting("Status: Damaged post, not saved: ");
    ASSERT_EQ(damaged.size(), 2u);
    EXPECT_NE(damaged[0].find("bad.jpg (CRC"), std::string::npos);
    EXPECT_NE(damaged[1].find("gap.jpg (the parts"), std::string::npos);
    const std::string log = ngtest::ReadFile(sandbox.File("download.log"));
    EXPECT_NE(log.find("damaged post, not saved (CRC"), std::string::npos);
    EXPECT_EQ(log.find(" -> Poster"),
              log.find(downloadDir + "bad.jpg -> Poster") + (downloadDir + "bad.jpg").size());
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, TheDefaultSecondListStillKeepsSplitPostsOut) {
    Set("SubjectIncl2", "1/1:01/01");
    AddYencPost(news, JpegLikeBytes(3000, 9), "parts.jpg", 1);
    news.Add("alt.test", Article(4, "eleven (1/11)", YencEncode("x", "eleven.jpg")));
    news.Add("alt.test", Article(5, "eleven (2/11)", YencEncode("y", "eleven.jpg")));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(news.ArticlesAsked().empty());
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, AFileCounterThatCountsWholePicturesSavesEach) {
    // "[1/3]" numbers files here, each whole in its article; some posters
    // write every yEnc file as part 1 of 1.
    news.Add("alt.test", Article(1, "[1/3] a.jpg", YencEncode("first", "a.jpg")));
    news.Add("alt.test", Article(2, "[2/3] b.jpg", ngtest::UUEncode("second", "b.jpg")));
    news.Add("alt.test", Article(3, "[3/3] c.jpg", YencEncodePart("third", "c.jpg", 1, 1, 1, 5)));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("a.jpg"), "first");
    EXPECT_EQ(Downloaded("b.jpg"), "second");
    EXPECT_EQ(Downloaded("c.jpg"), "third");
    EXPECT_TRUE(WorkFolderEntries(sandbox).empty());
}

TEST_F(Posts, NamesWithoutExtensionGetTheirRealType) {
    const std::string png = "\x89PNG\r\n\x1A\n" + RandomBytes(3000, 10);
    const std::string gif = "GIF89a" + RandomBytes(3000, 11);
    const std::string jpeg = JpegLikeBytes(3000, 12);
    news.Add("alt.test", Base64Article(1, "dog (1/1)", png,
                                       "Content-Disposition: attachment; filename=\"dog\"\r\n"));
    news.Add("alt.test", Article(2, "anim (1/1)", YencEncode(gif, "anim")));
    news.Add("alt.test", Article(3, "photo (1/1)", ngtest::UUEncode(jpeg, "photo")));
    news.Add("alt.test", Article(4, "odd (1/1)", ngtest::UUEncode("no picture", "odd")));
    const std::string gif2 = "GIF87a" + RandomBytes(3000, 14);
    news.Add("alt.test", Article(5, "kept (1/1)", YencEncode(gif2, "kept.JPG")));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("dog.png") == png);
    EXPECT_TRUE(Downloaded("anim.gif") == gif);
    EXPECT_TRUE(Downloaded("photo.jpg") == jpeg);
    EXPECT_EQ(Downloaded("odd.jpg"), "no picture");  // unknown: ".jpg" as always
    EXPECT_TRUE(Downloaded("kept.JPG") == gif2);     // a name's own extension stays
    EXPECT_TRUE(display.Has("SavingTo: " + downloadDir + "dog.png"));
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"dog.png", "anim.gif", "photo.jpg",
                                                         "odd.jpg", "kept.jpg"}));
}

TEST_F(Posts, TheSamePictureUnderAnotherNameIsNotSavedTwice) {
    Set("LogHistAct", "yes");
    const std::string picture = JpegLikeBytes(8000, 13);
    news.Add("alt.test", Article(1, "first.jpg (1/1)", YencEncode(picture, "first.jpg")));
    news.Add("alt.test", Article(2, "again.jpg (1/1)", ngtest::UUEncode(picture, "again.jpg")));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("first.jpg") == picture);
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "again.jpg"));
    EXPECT_TRUE(display.Has("HistorySkipped: 1"));
    EXPECT_EQ(ngtest::ReadFile(sandbox.File("HistLog.txt")),
              "again.jpg -- duplicate of first.jpg\n");
    // The hash taken while the file was written is the SHA-256 of its bytes,
    // as the lists of earlier versions (which read the file back) hold it.
    EXPECT_NE(
        ngtest::ReadFile(sandbox.File(ng::files::kPictureHashes)).find(ng::Sha256OfText(picture)),
        std::string::npos);

    // Known across passes through the hash file, also when joined from
    // parts; off, both are saved.
    news.Add("alt.test", Article(3, "third.jpg (1/1)", YencEncode(picture, "third.jpg")));
    AddYencPost(news, picture, "split.jpg", 10);
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "third.jpg"));
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "split.jpg"));
    EXPECT_TRUE(display.Has("HistorySkipped: 2"));
    Set("SkipDuplicates", "0");
    news.Add("alt.test", Article(20, "fourth.jpg (1/1)", YencEncode(picture, "fourth.jpg")));
    EXPECT_EQ(RunNextPass(), "Operation complete");
    EXPECT_TRUE(Downloaded("fourth.jpg") == picture);
}

// Every attachment of an article is saved under its own name, but only
// pictures: the rest is said once, logged and counted. A cut-short uu
// picture is damaged, kept out of the history, so its repost is saved.
TEST_F(Posts, EachPictureOfAnArticleIsSavedAndNothingElse) {
    Set("PicturesOnly", "1");
    Set("EnableLogging", "1");
    Set("LogFile", sandbox.File("download.log"));
    // Python's email package: a PNG and a GIF under its own boundary.
    const std::string mime =
        ngtest::ReadFile(NG_SOURCE_DIR "/tests/decode/articles/own/email-two-pictures.eml");
    TestArticle email = Article(1, "Two pictures (1/1)", "");
    email.reply = ngtest::Reply("220 1 <1@test>\r\n" + DotStuff(mime) + ".\r\n");
    news.Add("alt.test", email);
    const std::string jpeg = JpegLikeBytes(4000, 30);
    const std::string zip = "PK\x03\x04" + RandomBytes(3000, 31);
    news.Add("alt.test",
             Article(2, "pic.jpg and x.zip (1/1)",
                     ngtest::UUEncode(jpeg, "pic.jpg") + ngtest::UUEncode(zip, "x.zip")));
    const std::string cut = JpegLikeBytes(5000, 32);
    const std::string whole = ngtest::UUEncode(cut, "cut.jpg");
    news.Add("alt.test", Article(3, "cut.jpg (1/1)",
                                 whole.substr(0, whole.find("\r\n", whole.size() / 2) + 2)));
    news.Add("alt.test", Article(4, "cut.jpg (1/1) repost", whole));
    // A split post joins into no picture either.
    std::vector<std::string> lines = ngtest::UuFileLines(RandomBytes(45 * 40, 33), "parts.zip");
    std::string halves[2];
    for (size_t i = 0; i < lines.size(); ++i) {
        halves[i * 2 / lines.size()] += lines[i];
    }
    news.Add("alt.test", Article(5, "parts.zip (1/2)", halves[0]));
    news.Add("alt.test", Article(6, "parts.zip (2/2)", halves[1]));

    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    EXPECT_TRUE(Downloaded("python.png") ==
                ngtest::ReadFile(NG_SOURCE_DIR "/tests/decode/articles/pictures/python.png"));
    EXPECT_TRUE(Downloaded("python.gif") ==
                ngtest::ReadFile(NG_SOURCE_DIR "/tests/decode/articles/pictures/python.gif"));
    EXPECT_TRUE(Downloaded("pic.jpg") == jpeg);
    EXPECT_TRUE(Downloaded("cut.jpg") == cut);
    std::error_code ec;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(downloadDir, ec), {}), 4);
    EXPECT_EQ(display.CallsStarting("Status: Not a picture, not saved: "),
              (std::vector<std::string>{"Status: Not a picture, not saved: x.zip",
                                        "Status: Not a picture, not saved: parts.zip"}));
    EXPECT_EQ(worker.NotPictures(), 2);
    EXPECT_TRUE(display.Has(
        "Status: Damaged post, not saved: cut.jpg (the data stops without an end line)"));
    EXPECT_EQ(HistoryOnDisk(),
              (std::vector<std::string>{"python.png", "python.gif", "pic.jpg", "cut.jpg"}));
    const std::string log = ngtest::ReadFile(sandbox.File("download.log"));
    EXPECT_NE(log.find("not a picture, not saved: " + downloadDir + "x.zip -> Poster"),
              std::string::npos)
        << log;
    EXPECT_EQ(Mark("alt.test"), "6");
}

}  // namespace
}  // namespace enginetest
