// One article from ARTICLE to the saved file: uu and base64 attachments byte
// for byte, dot-stuffing, names, the raw copy, the log, the progress of the
// "Lines Decoded" bar, and names from a hostile server.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "PassHarness.h"

namespace enginetest {
namespace {

using ArticleRetrieval = PassTest;

TEST_F(ArticleRetrieval, UuFilesAreSavedByteForByte) {
    const std::string big = RandomBytes(100000, 11);
    // 45 * 20 + 14 bytes: the last line's length character is "." and the
    // server sends that line with its dot doubled.
    const std::string dotted = RandomBytes(45 * 20 + 14, 12);
    news.Add("alt.test", UUArticle(1, "big.jpg", big));
    news.Add("alt.test", UUArticle(2, "dotted.jpg", dotted));
    ASSERT_NE(DotStuff(UUEncode(dotted, "dotted.jpg")).find("\r\n.."), std::string::npos);

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("big.jpg"), big);
    EXPECT_EQ(Downloaded("dotted.jpg"), dotted);
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"big.jpg", "dotted.jpg"}));
    EXPECT_EQ(display.CallsStarting("Thumbnail: "),
              (std::vector<std::string>{"Thumbnail: " + downloadDir + "big.jpg",
                                        "Thumbnail: " + downloadDir + "dotted.jpg"}));
    EXPECT_EQ(display.CallsStarting("SavingTo: "),
              (std::vector<std::string>{"SavingTo: (Looking for binary attachment)",
                                        "SavingTo: " + downloadDir + "big.jpg",
                                        "SavingTo: ", "SavingTo: (Looking for binary attachment)",
                                        "SavingTo: " + downloadDir + "dotted.jpg", "SavingTo: "}));
    EXPECT_TRUE(display.Has("Subject: big.jpg (1/1)"));
}

TEST_F(ArticleRetrieval, BytesTransferredCountWhatCameOverTheWire) {
    TestArticle a = UUArticle(1, "a.jpg", RandomBytes(45 * 3 + 14, 1));
    news.Add("alt.test", a);
    EXPECT_EQ(RunPass(), "Operation complete");
    // Every line of the block as sent (stuffed dots included), without the
    // status line and the terminator.
    const auto sent = static_cast<int64_t>(DotStuff(ArticleText(a)).size());
    EXPECT_TRUE(display.Has("Bytes: " + std::to_string(sent)));
    EXPECT_TRUE(display.Has("Rate1: 0 " + std::to_string(sent)) ||
                display.Has("Rate1: 1 " + std::to_string(sent)));
}

TEST_F(ArticleRetrieval, BeginLineNamesWithEitherLineEnd) {
    TestArticle bare = UUArticle(1, "lf.jpg", RandomBytes(200, 1));
    std::string lf;
    for (char c : bare.body) {
        if (c != '\r') {
            lf += c;
        }
    }
    bare.body = lf;
    news.Add("alt.test", bare);
    news.Add("alt.test", UUArticle(2, "noext", RandomBytes(200, 2)));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("lf.jpg"), RandomBytes(200, 1));
    EXPECT_TRUE(display.Has("SavingTo: " + downloadDir + "noext.jpg"));
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"lf.jpg", "noext.jpg"}));
}

TEST_F(ArticleRetrieval, Base64JpegSavedByteForByteAndNamed) {
    const std::string picture = JpegLikeBytes(40000, 21);
    ASSERT_EQ(Base64Encode(picture).substr(0, 4), "/9j/");
    news.Add("alt.test", Base64Article(1, "dog (1/1)", picture,
                                       "Content-Disposition: attachment; filename=\"dog\"\r\n"));
    const std::string second = JpegLikeBytes(1000, 22);
    news.Add("alt.test",
             Base64Article(2, "cat", second,
                           "Content-Disposition: inline; filename=\"Cat.JPEG\"; size=1000\r\n"));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("dog.jpg"), picture);
    EXPECT_EQ(Downloaded("Cat.JPEG"), second);
    EXPECT_TRUE(display.Has("SavingTo: " + downloadDir + "dog.jpg -- (base64)"));
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"dog.jpg", "cat.jpeg"}));
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "dog.jpga"));  // no raw copy unless asked
}

TEST_F(ArticleRetrieval, WhatCountsAsDealtWith) {
    Set("EnableLogging", "1");
    Set("LogFile", sandbox.File("download.log"));
    TestArticle missing = UUArticle(1, "gone.jpg", "x");
    missing.reply = "430 no such article\r\n";
    news.Add("alt.test", missing);  // dealt with: nothing to save
    news.Add("alt.test", Base64Article(2, "unnamed", JpegLikeBytes(300, 2),
                                       "Content-Disposition: attachment\r\n"));  // not saved
    news.Add("alt.test", UUArticle(3, "third.jpg", "3"));
    CProcessGroups worker(ng::Profile(), display, &prompt, pending);
    StopAtArticle(worker, 3);
    ASSERT_TRUE(worker.Start());
    EXPECT_EQ(FinishPass(worker), "Operation complete");
    // 1 is asked for again later, without holding the mark back; 2 has no
    // name to save it by, which asking again would not change; 3 was
    // stopped before it was read: the mark stops at 2.
    EXPECT_EQ(Mark("alt.test"), "2");
    EXPECT_TRUE(HistoryOnDisk().empty());
    EXPECT_FALSE(ngtest::FileExists(sandbox.File("download.log")));
    EXPECT_TRUE(display.CallsStarting("Thumbnail: ").empty());
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(downloadDir, ec));
    // The counter counts files saved: none.
    EXPECT_EQ(display.CallsStarting("Saved: "), std::vector<std::string>{"Saved: 0"});
}

TEST_F(ArticleRetrieval, RawCopyHoldsTheUnstuffedLines) {
    Set("SaveAscii", "1");
    TestArticle a = Base64Article(1, "x (1/1)", JpegLikeBytes(2000, 5),
                                  "Content-Disposition: attachment; filename=\"x.jpg\"\r\n");
    a.body = ".a line that began with a dot\r\n..and one with two\r\n" + a.body;
    news.Add("alt.test", a);
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("x.jpg"), JpegLikeBytes(2000, 5));
    EXPECT_EQ(Downloaded("x.jpga"), ArticleText(a));
}

TEST_F(ArticleRetrieval, DownloadLogRecordsPathAndSender) {
    Set("EnableLogging", "1");
    Set("LogFile", sandbox.File("download.log"));
    TestArticle a = UUArticle(1, "logged.jpg", RandomBytes(90, 1));
    a.from = "Jane <jane@example.org>";
    news.Add("alt.test", a);
    news.Add("alt.test", UUArticle(2, "second.jpg", RandomBytes(90, 2)));
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(ngtest::ReadFile(sandbox.File("download.log")),
              downloadDir + "logged.jpg -> Jane <jane@example.org>\n" + downloadDir +
                  "second.jpg -> Poster <poster@example.com>\n");
}

TEST_F(ArticleRetrieval, LinesDecodedRestartsAtTheAttachment) {
    TestArticle uu;
    uu.number = 1;
    uu.subject = "uu.jpg";
    for (int i = 0; i < 20; ++i) {
        uu.body += "text line\r\n";
    }
    uu.body += UUEncode(RandomBytes(45 * 35, 1), "uu.jpg");  // begin, 35 lines, `, end
    news.Add("alt.test", uu);

    TestArticle b64 = Base64Article(2, "b64", JpegLikeBytes(57 * 25, 2),
                                    "Content-Disposition: attachment; filename=\"b.jpg\"\r\n");
    std::string preamble;
    for (int i = 0; i < 12; ++i) {
        preamble += "text line\r\n";
    }
    b64.body = preamble + b64.body;
    news.Add("alt.test", b64);

    EXPECT_EQ(RunPass(), "Operation complete");
    // 6 head lines and 20 text lines; then from the begin line 38 more. Then
    // 6 + 12 + 3 lines up to the base64 line, and 29 from it.
    EXPECT_EQ(display.CallsStarting("Progress Lines: "),
              (std::vector<std::string>{
                  "Progress Lines: reset", "Progress Lines: 10/1000", "Progress Lines: 20/1000",
                  "Progress Lines: 10/1000", "Progress Lines: 20/1000", "Progress Lines: 30/1000",
                  "Progress Lines: 1000/1000", "Progress Lines: reset", "Progress Lines: 10/1000",
                  "Progress Lines: 20/1000", "Progress Lines: 10/1000", "Progress Lines: 20/1000",
                  "Progress Lines: 1000/1000", "Progress Lines: reset"}));
    EXPECT_EQ(Downloaded("b.jpg"), JpegLikeBytes(57 * 25, 2));
}

TEST_F(ArticleRetrieval, EveryLineNamingBase64RestartsTheCount) {
    TestArticle a;
    a.number = 1;
    a.subject = "no attachment";
    auto lines = [](int n, const std::string& text) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            out += text + "\r\n";
        }
        return out;
    };
    // 6 head lines, then: 3 | restart | 8, a near miss (10) | 9 | restart | 9 (10) |
    // restart | 20 (10, 20).
    a.body = lines(3, "a") + "BASE64\r\n" + lines(8, "x") + "not base 64, nor base6\r\n" +
             lines(9, "x") + "a line ending in bAsE64\r\n" + lines(9, "x") + "Zbase64z\r\n" +
             lines(20, "y");
    news.Add("alt.test", a);
    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(display.CallsStarting("Progress Lines: "),
              (std::vector<std::string>{"Progress Lines: reset", "Progress Lines: 10/1000",
                                        "Progress Lines: 10/1000", "Progress Lines: 10/1000",
                                        "Progress Lines: 20/1000", "Progress Lines: 1000/1000"}));
    EXPECT_TRUE(display.CallsStarting("Thumbnail: ").empty());  // nothing to save
}

// Every regular file under `root`, as paths relative to it.
std::set<std::string> FilesUnder(const std::string& root) {
    std::set<std::string> found;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) {
            found.insert(std::filesystem::relative(it->path(), root).string());
        }
    }
    return found;
}

TEST_F(ArticleRetrieval, HostileNamesNeverLeaveTheDownloadFolder) {
    const std::string escape = "ngescape-" + std::to_string(::getpid());
    const std::string longName = std::string(300, 'n') + ".jpg";
    news.Add("alt.test", UUArticle(1, "../" + escape + "-up.jpg", RandomBytes(100, 1)));
    news.Add("alt.test", UUArticle(2, sandbox.File(escape + "-abs.jpg"), RandomBytes(100, 2)));
    news.Add("alt.test", UUArticle(3, "..", RandomBytes(100, 3)));
    news.Add("alt.test", UUArticle(4, longName, RandomBytes(100, 4)));
    news.Add("alt.test", Base64Article(5, "b", JpegLikeBytes(300, 5),
                                       "Content-Disposition: attachment; filename=\"../../" +
                                           escape + "-b64.jpg\"\r\n"));
    news.Add("alt.test", Base64Article(6, "c", JpegLikeBytes(300, 6),
                                       "Content-Disposition: attachment; filename=\"..\"\r\n"));
    news.Add("alt.test",
             Base64Article(7, "d", JpegLikeBytes(300, 7),
                           "Content-Disposition: attachment; filename=\"" + longName + "\"\r\n"));
    news.Add("alt.test", Base64Article(8, "e", JpegLikeBytes(300, 8),
                                       "Content-Disposition: attachment; filename=\"sub/\"\r\n"));
    news.Add("alt.test", UUArticle(9, "ok.jpg", RandomBytes(100, 9)));

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(news.ArticlesAsked().size(), 9u);  // refused names do not stop the pass
    EXPECT_EQ(FilesUnder(downloadDir),
              (std::set<std::string>{escape + "-up.jpg", escape + "-abs.jpg", escape + "-b64.jpg",
                                     "ok.jpg"}));
    EXPECT_EQ(Downloaded(escape + "-up.jpg"), RandomBytes(100, 1));
    EXPECT_EQ(Downloaded(escape + "-abs.jpg"), RandomBytes(100, 2));
    EXPECT_EQ(Downloaded(escape + "-b64.jpg"), JpegLikeBytes(300, 5));
    EXPECT_EQ(Downloaded("ok.jpg"), RandomBytes(100, 9));
    for (const auto& file : FilesUnder(sandbox.Path())) {
        EXPECT_TRUE(file.starts_with("download/") || file == "newsgleaner.ini" ||
                    file == "newsgleaner.ini.lock" || file == "Groups.127.0.0.1" ||
                    file == "HistList" || file == "HistList.lock" || file == "PictureHashes" ||
                    file == "PictureHashes.lock" || file.starts_with("Crossposts."))
            << file;
    }
    const std::string parent = sandbox.Path() + "/..";
    EXPECT_FALSE(ngtest::FileExists(parent + "/" + escape + "-up.jpg"));
    EXPECT_FALSE(ngtest::FileExists(parent + "/" + escape + "-b64.jpg"));
    EXPECT_EQ(Mark("alt.test"), "9");
}

}  // namespace
}  // namespace enginetest
