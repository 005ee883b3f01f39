#include "platform/Numbers.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "settings/SettingsKeys.h"
#include "support/TestSupport.h"

using ng::SettingsStore;

TEST(SettingsStore, MissingFileSectionOrKeyGivesTheDefault) {
    ngtest::TempDir dir;
    SettingsStore store(dir.File("s.ini"));
    EXPECT_EQ(store.GetProfileString("Newsgleaner", "NNTPHost", "dflt"), "dflt");
    EXPECT_EQ(store.GetProfileInt("Newsgleaner", "MaxLines", 3000), 3000);
    store.WriteProfileString("Newsgleaner", "MaxLines", "2500");
    EXPECT_EQ(store.GetProfileInt("Newsgleaner", "MaxLines", 3000), 2500);
    EXPECT_EQ(store.GetProfileInt("Other", "MaxLines", 7), 7);
    EXPECT_EQ(store.GetProfileInt("Newsgleaner", "MinLines", 500), 500);
}

TEST(SettingsStore, IntegerRule) {
    EXPECT_EQ(ng::LeadingInt("2500"), 2500);
    EXPECT_EQ(ng::LeadingInt("abc"), 0);
    EXPECT_EQ(ng::LeadingInt("-3"), -3);
    EXPECT_EQ(ng::LeadingInt("12abc"), 12);
    EXPECT_EQ(ng::LeadingInt(""), 0);
    EXPECT_EQ(ng::LeadingInt("99999999999999"), 2147483647);
    EXPECT_EQ(ng::LeadingInt("-99999999999999"), -2147483647 - 1);
    ngtest::TempDir dir;
    SettingsStore store(dir.File("s.ini"));
    store.WriteProfileString("Newsgleaner", "MinLines", "abc");
    EXPECT_EQ(store.GetProfileInt("Newsgleaner", "MinLines", 500), 0);
    store.WriteProfileInt("Newsgleaner", "Priority", -3);
    EXPECT_EQ(store.GetProfileString("Newsgleaner", "Priority", ""), "-3");
}

TEST(SettingsStore, NamesCompareExactly) {
    ngtest::TempDir dir;
    SettingsStore store(dir.File("s.ini"));
    store.WriteProfileString("news.example.com", "alt.binaries.pictures", "42");
    EXPECT_EQ(store.GetProfileInt("News.Example.com", "alt.binaries.pictures", 0), 0);
    EXPECT_EQ(store.GetProfileInt("news.example.com", "Alt.binaries.pictures", 0), 0);
    EXPECT_EQ(store.GetProfileInt("news.example.com", "alt.binaries.pictures", 0), 42);
}

TEST(SettingsStore, ValuesSurviveAsWritten) {
    ngtest::TempDir dir;
    SettingsStore store(dir.File("s.ini"));
    for (std::string value : {" pass word ", "\"quoted\"", "a=b", "", "[x]", "; not a comment"}) {
        store.WriteProfileString("srv", "Password", value);
        EXPECT_EQ(store.GetProfileString("srv", "Password", "?"), value);
    }
    // A line break cannot live in one line: it becomes a blank, and the file stays whole.
    store.WriteProfileString("srv", "Password", "one\r\ntwo\n[evil]\nNNTPHost=x");
    EXPECT_EQ(store.GetProfileString("srv", "Password", ""), "one  two [evil] NNTPHost=x");
    EXPECT_EQ(store.GetProfileString("evil", "NNTPHost", "none"), "none");
    EXPECT_EQ(store.GetProfileString("srv", "NNTPHost", "none"), "none");
}

TEST(SettingsStore, ReadsHandWrittenFiles) {
    ngtest::TempDir dir;
    ngtest::WriteFile(dir.File("s.ini"),
                      "; comment\r\n[Newsgleaner]\r\n  NNTPHost = news.example.com \r\n"
                      "broken line\r\n[DownloadDirs]\r\nEnable=1\r\n[Newsgleaner]\r\nX=dup");
    SettingsStore store(dir.File("s.ini"));
    EXPECT_EQ(store.GetProfileString("Newsgleaner", "NNTPHost", ""), "news.example.com");
    EXPECT_EQ(store.GetProfileInt("DownloadDirs", "Enable", 0), 1);
    EXPECT_EQ(store.GetProfileString("Newsgleaner", "X", ""), "dup");
    store.WriteProfileString("DownloadDirs", "alt.pics", "pics/");
    std::string text = ngtest::ReadFile(dir.File("s.ini"));
    EXPECT_NE(text.find("; comment\n"), std::string::npos);  // comments are kept
    EXPECT_NE(text.find("broken line\n"), std::string::npos);
    EXPECT_EQ(store.GetProfileString("DownloadDirs", "alt.pics", ""), "pics/");
}

TEST(SettingsStore, AByteOrderMarkAndALinkedFileAreKept) {
    ngtest::TempDir dir;
    // Some editors begin the file with a byte order mark.
    ngtest::WriteFile(dir.File("real.ini"), "\xEF\xBB\xBF[Newsgleaner]\r\nNNTPHost=news\r\n");
    // A settings file kept in a dotfile repository is a link to it.
    ASSERT_EQ(::symlink("real.ini", dir.File("s.ini").c_str()), 0);
    SettingsStore store(dir.File("s.ini"));
    EXPECT_EQ(store.GetProfileString("Newsgleaner", "NNTPHost", ""), "news");
    EXPECT_TRUE(store.WriteProfileString("Newsgleaner", "MaxLines", "2500"));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("s.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ngtest::ReadFile(dir.File("real.ini")),
              "[Newsgleaner]\nNNTPHost=news\nMaxLines=2500\n");
}

TEST(SettingsStore, FileIsPrivate) {
    ngtest::TempDir dir;
    SettingsStore store(dir.File("cfg/sub/s.ini"));  // folders are made as needed
    ASSERT_TRUE(store.WriteProfileString("srv", "Password", "secret"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("cfg/sub/s.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsStore, SeesWritesOfAnotherStoreObject) {
    ngtest::TempDir dir;
    SettingsStore reader(dir.File("s.ini"));
    SettingsStore writer(dir.File("s.ini"));
    EXPECT_EQ(reader.GetProfileString("a", "k", "none"), "none");
    for (int i = 0; i < 50; ++i) {
        writer.WriteProfileInt("a", "k", i);
        ASSERT_EQ(reader.GetProfileInt("a", "k", -1), i);
    }
}

TEST(SettingsStore, ConcurrentWritersLoseNothing) {
    ngtest::TempDir dir;
    std::string path = dir.File("s.ini");
    constexpr int kProcesses = 3;
    constexpr int kThreads = 3;
    constexpr int kWrites = 20;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            SettingsStore store(path);
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&store, p, t] {
                    for (int i = 0; i < kWrites; ++i) {
                        store.WriteProfileInt("s",
                                              "k" + std::to_string(p) + "_" + std::to_string(t) +
                                                  "_" + std::to_string(i),
                                              i);
                        store.GetProfileInt("s", "k0_0_0", 0);
                    }
                });
            }
            for (auto& th : threads) {
                th.join();
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    SettingsStore store(path);
    for (int p = 0; p < kProcesses; ++p) {
        for (int t = 0; t < kThreads; ++t) {
            for (int i = 0; i < kWrites; ++i) {
                std::string key =
                    "k" + std::to_string(p) + "_" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_EQ(store.GetProfileInt("s", key, -1), i) << key;
            }
        }
    }
}

TEST(SettingsStore, ProcessWideStoreFollowsItsPath) {
    ngtest::Sandbox sandbox;
    ng::Profile().WriteProfileString(ng::keys::kProductSection, ng::keys::kNNTPHost, "h");
    EXPECT_TRUE(ngtest::FileExists(sandbox.SettingsPath()));
    EXPECT_EQ(ng::Profile().GetProfileString("Newsgleaner", "NNTPHost", ""), "h");
}
