// What files in the folders a pass writes to must not make it do: write
// through a planted link, replace or empty a user's own file, leave a
// broken download under a picture's name, hang on a FIFO, report a folder it
// cannot write as success, or lose history saved by another program.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>

#include "PassHarness.h"
#include "platform/TextFile.h"

namespace enginetest {
namespace {

namespace fs = std::filesystem;
using LocalFiles = PassTest;

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST_F(LocalFiles, PlantedLinksAreNeverWrittenThrough) {
    const std::string outside = sandbox.File("outside");
    MakeDir(outside);
    ngtest::WriteFile(outside + "/secret", "keep me");
    ngtest::WriteFile(outside + "/shared", "also mine");
    ngtest::WriteFile(outside + "/log", "old log\n");
    ASSERT_EQ(::symlink((outside + "/secret").c_str(), (downloadDir + "cat.jpg").c_str()), 0);
    ASSERT_EQ(::link((outside + "/shared").c_str(), (downloadDir + "dog.jpg").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/secret").c_str(), (downloadDir + "pic.jpga").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/log").c_str(), sandbox.File("DownloadLog").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/log").c_str(), sandbox.File("HistLog.txt").c_str()), 0);
    Set("EnableLogging", "1");
    Set("LogFile", "DownloadLog");
    Set("SaveAscii", "1");
    Set("LogHistAct", "yes");
    ngtest::WriteFile("HistList", "seen.jpg\n");
    news.Add("alt.test", UUArticle(1, "cat.jpg", RandomBytes(500, 1)));
    news.Add("alt.test", UUArticle(2, "dog.jpg", RandomBytes(500, 2)));
    news.Add("alt.test", Base64Article(3, "pic (1/1)", JpegLikeBytes(900, 3),
                                       "Content-Disposition: inline; filename=\"pic.jpg\""));
    news.Add("alt.test", UUArticle(4, "seen.jpg", "x"));

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(ngtest::ReadFile(outside + "/secret"), "keep me");
    EXPECT_EQ(ngtest::ReadFile(outside + "/shared"), "also mine");
    EXPECT_EQ(ngtest::ReadFile(outside + "/log"), "old log\n");
    EXPECT_TRUE(IsLink(downloadDir + "cat.jpg"));
    EXPECT_TRUE(IsLink(downloadDir + "pic.jpga"));
    // The pictures went beside what was there, under free names.
    EXPECT_EQ(Downloaded("cat-1.jpg"), RandomBytes(500, 1));
    EXPECT_EQ(Downloaded("dog-1.jpg"), RandomBytes(500, 2));
    EXPECT_EQ(Downloaded("pic.jpg"), JpegLikeBytes(900, 3));
    EXPECT_TRUE(display.Has("Thumbnail: " + downloadDir + "cat-1.jpg"));
    EXPECT_TRUE(display.Has("SavingTo: " + downloadDir + "cat-1.jpg"));
    EXPECT_TRUE(
        display.Has("Status: Unable to write to DownloadLog (not a plain file of its own)"));
    // The history keeps the names the subjects carry.
    EXPECT_EQ(HistoryOnDisk(),
              (std::vector<std::string>{"seen.jpg", "cat.jpg", "dog.jpg", "pic.jpg"}));
}

TEST_F(LocalFiles, AUsersFileIsNeverReplacedOrEmptied) {
    ngtest::WriteFile(downloadDir + "cat.jpg", "my own cat");
    ngtest::WriteFile(downloadDir + "cat-1.jpg", "and another");
    ngtest::WriteFile(downloadDir + "same.jpg", RandomBytes(700, 5));
    ngtest::WriteFile(downloadDir + "photo.png", "a real photo");
    Set("EnableLogging", "1");
    Set("LogFile", "DownloadLog");
    news.Add("alt.test", UUArticle(1, "cat.jpg", RandomBytes(500, 1)));
    news.Add("alt.test", UUArticle(2, "same.jpg", RandomBytes(700, 5)));
    // A base64 part that is no JPEG decodes to nothing.
    news.Add("alt.test", Base64Article(3, "photo (1/1)", RandomBytes(300, 3),
                                       "Content-Disposition: inline; filename=\"photo.png\""));

    EXPECT_EQ(RunPass(), "Operation complete");
    EXPECT_EQ(Downloaded("cat.jpg"), "my own cat");
    EXPECT_EQ(Downloaded("cat-1.jpg"), "and another");
    EXPECT_EQ(Downloaded("cat-2.jpg"), RandomBytes(500, 1));
    EXPECT_EQ(Downloaded("photo.png"), "a real photo");
    // The identical picture is there already: a history skip, no copy.
    EXPECT_FALSE(ngtest::FileExists(downloadDir + "same-1.jpg"));
    EXPECT_TRUE(display.Has("HistorySkipped: 1"));
    EXPECT_EQ(ngtest::ReadFile("DownloadLog"),
              downloadDir + "cat-2.jpg -> Poster <poster@example.com>\n" + downloadDir +
                  "photo-1.png -> Poster <poster@example.com>\n");
    EXPECT_EQ(HistoryOnDisk(), (std::vector<std::string>{"cat.jpg", "same.jpg", "photo.png"}));
}

TEST_F(LocalFiles, HiddenNamesAndBrokenDownloadsLeaveNothing) {
    ngtest::WriteFile(downloadDir + ".bashrc", "my shell");
    news.Add("alt.test", UUArticle(1, ".bashrc", "echo owned\n"));
    news.Add("alt.test", Base64Article(2, "profile (1/1)", JpegLikeBytes(300, 2),
                                       "Content-Disposition: inline; filename=\".profile\""));
    // The connection drops half way through the third article.
    TestArticle cut = UUArticle(3, "cut.jpg", RandomBytes(20000, 3));
    std::string text = DotStuff(ArticleText(cut));
    cut.reply = ngtest::Reply("220 3 <3@test>\r\n" + text.substr(0, text.size() / 2)).ThenClose();
    news.Add("alt.test", cut);

    EXPECT_EQ(RunPass(), "Error--connection to 127.0.0.1 lost");
    EXPECT_EQ(Downloaded(".bashrc"), "my shell");
    // Nothing at all in the folder beside the user's file: no picture, no
    // half file, no leftover of the writing.
    EXPECT_EQ(Names(downloadDir), std::set<std::string>{".bashrc"});
    // Refused names are given up (asking again would bring the same name);
    // the broken one is offered again.
    EXPECT_EQ(Mark("alt.test"), "2");
}

TEST_F(LocalFiles, FifosNeverHoldThePass) {
    ASSERT_EQ(::mkfifo((downloadDir + "cat.jpg").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(sandbox.File("DownloadLog").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(sandbox.File("HistList").c_str(), 0600), 0);
    Set("EnableLogging", "1");
    Set("LogFile", "DownloadLog");
    news.Add("alt.test", UUArticle(1, "cat.jpg", RandomBytes(500, 1)));

    // Each would block an open for ever; the pass ends in time instead.
    RunPass();
    EXPECT_EQ(Downloaded("cat-1.jpg"), RandomBytes(500, 1));
    EXPECT_EQ(display.LastStatus(), "Unable to open HistList");
    EXPECT_TRUE(
        display.Has("Status: Unable to write to DownloadLog (not a plain file of its own)"));
    struct stat st {};
    ASSERT_EQ(::lstat(sandbox.File("HistList").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(LocalFiles, SenderExcludesThatCannotBeReadStopThePass) {
    // No pass without the excludes the user set, and no server asked.
    ASSERT_EQ(::mkfifo(sandbox.File("FromExcludes").c_str(), 0600), 0);
    EXPECT_EQ(RunPass(), "Unable to open FromExcludes");
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(LocalFiles, AFolderThatCannotBeWrittenEndsThePass) {
    news.AddPictures("alt.test", "p", 3, 300);
    // The download folder goes away while the pass runs (a removed disk, a
    // folder deleted by hand): no later article would fare better.
    news.OnArticle([this](const std::string&, int number) {
        if (number == 2) {
            fs::remove_all(downloadDir);
        }
    });
    EXPECT_EQ(RunPass(), "Error--cannot write in " + downloadDir + " (No such file or directory)");
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Mark("alt.test"), "1");
    EXPECT_EQ(HistoryOnDisk(), std::vector<std::string>{"p1.jpg"});
}

TEST_F(LocalFiles, ASettingsWriteThatFailsEndsThePass) {
    // The settings' folder turns into a file under the pass: the group's
    // mark cannot be stored, and the pass must not end as if it had been.
    const std::string config = sandbox.File("config");
    MakeDir(config);
    const std::string settings = config + "/newsgleaner.ini";
    fs::copy_file(sandbox.SettingsPath(), settings);
    ng::Profile().SetPath(settings);
    news.Add("alt.test", UUArticle(1, "p.jpg", RandomBytes(300, 1)));
    news.OnArticle([&](const std::string&, int) {
        fs::rename(config, sandbox.File("config-gone"));
        ngtest::WriteFile(config, "");
    });
    EXPECT_EQ(RunPass(), "Error--cannot save the settings in " + settings + " (Not a directory)");
    ng::Profile().SetPath(sandbox.SettingsPath());
}

TEST_F(LocalFiles, TwoPassesAtOnceKeepEveryName) {
    // Two programs on one profile: each saves the history it holds; the
    // names the other saved meanwhile must survive either order of saving.
    ngtest::WriteFile("HistList", "old-name.jpg\n");
    ngtest::ScriptedServer otherServer;
    otherServer.SetLifetime(60s);
    FakeNews otherNews(otherServer);
    ng::SettingsStore otherSettings(sandbox.File("other.ini"));
    for (const char* key :
         {"DownloadDirectory", "MinLines", "MaxLines", "ReadTimeout", "PicturesOnly"}) {
        otherSettings.WriteProfileString("Newsgleaner", key,
                                         ng::Profile().GetProfileString("Newsgleaner", key, ""));
    }
    otherSettings.WriteProfileString("Newsgleaner", "NNTPHost", "localhost");
    otherSettings.WriteProfileString("Newsgleaner", "NNTPPort", std::to_string(otherServer.Port()));
    otherSettings.WriteProfileString("Newsgleaner", "HistSaveFrequency", "1");
    Set("HistSaveFrequency", "1");
    ngtest::WriteFile("Groups.localhost", "alt.other\n");
    for (int n = 1; n <= 6; ++n) {
        news.Add("alt.test", UUArticle(n, "a" + std::to_string(n) + ".jpg", RandomBytes(200, n)));
        otherNews.Add("alt.other",
                      UUArticle(n, "b" + std::to_string(n) + ".jpg", RandomBytes(200, 10 + n)));
    }
    RecordingDisplay otherDisplay;
    ng::PendingList otherPending;
    CProcessGroups first(ng::Profile(), display, &prompt, pending);
    CProcessGroups second(otherSettings, otherDisplay, nullptr, otherPending);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(FinishPass(first), "Operation complete");
    EXPECT_TRUE(otherDisplay.WaitForPassEnd(30s));
    second.Join();
    otherServer.Stop();

    std::vector<std::string> history = HistoryOnDisk();
    std::set<std::string> names(history.begin(), history.end());
    EXPECT_EQ(names.size(), history.size()) << "a name twice";
    for (const char* name : {"old-name.jpg", "a1.jpg", "a6.jpg", "b1.jpg", "b6.jpg"}) {
        EXPECT_TRUE(names.count(name)) << name;
    }
    EXPECT_EQ(names.size(), 13u);
}

}  // namespace
}  // namespace enginetest
