// The headless program end to end: newsgleaner-pass run as its own process
// with its settings and working folder in a temporary home, against a
// scripted server and against the bundled sample server.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "platform/TextFile.h"
#include "settings/SettingsStore.h"
#include "support/ChildProcess.h"
#include "support/FakeNews.h"
#include "support/Loopback.h"
#include "support/SampleServerProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using ngtest::FakeNews;
using ngtest::RandomBytes;
using ngtest::UUArticle;

const std::string kBuild = NG_BINARY_DIR;

bool Executable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

class PassProgram : public ::testing::Test {
protected:
    PassProgram() {
        std::filesystem::create_directories(configDir);
        std::filesystem::create_directories(workDir);
        std::filesystem::create_directories(downloadDir);
        Set("NNTPHost", "127.0.0.1");
        Set("NNTPPort", std::to_string(server.Port()));
        Set("DownloadDirectory", downloadDir);
        Set("ReadTimeout", "10");
        Set("NNTPCompress", "0");
        Set("ArticlesInFlight", "1");
        Set("Priority", "3");
        // The old filters, set: the articles served are sized in lines.
        Set("MinLines", "500");
        Set("MaxLines", "3000");
        Set("SubjectIncl", "");
        Set("PicturesOnly", "0");  // the random bytes served are no pictures
        ngtest::WriteFile(workDir + "/Groups.127.0.0.1", "alt.test\n");
        server.SetLifetime(60s);
    }

    ~PassProgram() override { server.Stop(); }

    void SetUp() override {
        if (!Executable(Binary())) {
            GTEST_SKIP() << "newsgleaner-pass is not built at " << Binary();
        }
    }

    static std::string Binary() { return kBuild + "/src/pass/newsgleaner-pass"; }

    void Set(const std::string& key, const std::string& value) {
        settings.WriteProfileString("Newsgleaner", key, value);
    }

    // The test's own home, settings and data; output into files of its own.
    ngtest::ChildProcess::Options Options(const std::string& name) const {
        ngtest::ChildProcess::Options options;
        options.env = {{"HOME", home.Path()},
                       {"XDG_CONFIG_HOME", configDir},
                       {"XDG_DATA_HOME", home.File("data")}};
        options.out = home.File(name + "-out.txt");
        options.err = home.File(name + "-err.txt");
        return options;
    }

    std::unique_ptr<ngtest::ChildProcess> Start(std::vector<std::string> args) {
        args.insert(args.begin(), Binary());
        return std::make_unique<ngtest::ChildProcess>(std::move(args), Options("pass"));
    }
    int Run(const std::vector<std::string>& args) {
        int status = Start(args)->Wait(30s);
        EXPECT_NE(status, -1) << "the program did not end in time";
        return status;
    }

    std::string Out() const { return ngtest::ReadFile(home.File("pass-out.txt")); }
    std::string Err() const { return ngtest::ReadFile(home.File("pass-err.txt")); }
    std::vector<std::string> OutLines() const { return ng::SplitTextLines(Out()); }
    std::string Mark(const std::string& group) const {
        return settings.GetProfileString("127.0.0.1", group, "(none)");
    }
    std::vector<std::string> History() const {
        std::vector<std::string> lines;
        ng::ReadTextLines(workDir + "/HistList", lines);
        return lines;
    }

    ngtest::TempDir home;
    const std::string configDir = home.File("config");
    const std::string workDir = home.File("data") + "/newsgleaner";
    const std::string downloadDir = home.File("pictures") + "/";
    ng::SettingsStore settings{configDir + "/newsgleaner.ini"};
    ngtest::ScriptedServer server;
    FakeNews news{server};
};

TEST_F(PassProgram, HelpVersionAndBadUsage) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_TRUE(Out().starts_with("Usage: newsgleaner-pass [--plain]\n")) << Out();
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(Out(), std::string("newsgleaner-pass ") + NG_VERSION_TEXT + "\n");
    EXPECT_EQ(Run({"--plain", "--bogus"}), 2);
    EXPECT_TRUE(Err().starts_with("newsgleaner-pass: unknown argument '--bogus'\n")) << Err();
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(PassProgram, NoServerSetUpSaysHowToSetOne) {
    Set("NNTPHost", "");
    EXPECT_EQ(Run({"--plain"}), 2);
    EXPECT_TRUE(Err().starts_with("No news server specified -- run 'Setup'\n")) << Err();
    EXPECT_NE(Err().find(configDir + "/newsgleaner.ini"), std::string::npos) << Err();
    EXPECT_NE(Err().find("NNTPHost="), std::string::npos) << Err();
    EXPECT_NE(Err().find(workDir + "/Groups."), std::string::npos) << Err();
    EXPECT_EQ(server.Accepted(), 0);
}

TEST_F(PassProgram, CompletePassPrintsPlainLinesAndExitsZero) {
    news.Add("alt.test", UUArticle(1, "a.jpg", RandomBytes(4000, 1)));
    news.Add("alt.test", UUArticle(2, "b.jpg", RandomBytes(5000, 2)));
    EXPECT_EQ(Run({"--plain"}), 0) << Err();
    auto lines = OutLines();
    ASSERT_EQ(lines.size(), 12u) << Out();
    lines.pop_back();  // the summary ends with the elapsed time
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Connecting to 127.0.0.1", "Connected to 127.0.0.1", "Group 1 of 1 (100%)",
                         "Retrieving up to 2 headers in alt.test",
                         "Scanning 2 retrieved headers in alt.test",
                         "Retrieving 2 files from alt.test", "  File 1 of 2 (50%)",
                         "  Saving to " + downloadDir + "a.jpg", "  File 2 of 2 (100%)",
                         "  Saving to " + downloadDir + "b.jpg", "Operation complete"}));
    EXPECT_TRUE(OutLines().back().starts_with(
        "Articles Scanned: 2, Articles Saved: 2, Bytes Transferred: "))
        << Out();
    EXPECT_EQ(ngtest::ReadFile(downloadDir + "a.jpg"), RandomBytes(4000, 1));
    EXPECT_EQ(ngtest::ReadFile(downloadDir + "b.jpg"), RandomBytes(5000, 2));
    EXPECT_EQ(History(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(Mark("alt.test"), "2");
    EXPECT_EQ(server.Received(), "GROUP alt.test\r\nXOVER 1-\r\nARTICLE 1\r\nARTICLE 2\r\n");
}

TEST_F(PassProgram, FailedPassesExitOne) {
    int closedPort = 0;
    {
        ngtest::ScriptedServer gone;
        closedPort = gone.Port();
    }
    Set("NNTPPort", std::to_string(closedPort));
    EXPECT_EQ(Run({"--plain"}), 1);
    EXPECT_NE(Out().find("\nCan't connect to server\n"), std::string::npos) << Out();

    Set("NNTPPort", std::to_string(server.Port()));
    Set("DownloadDirectory", home.File("nowhere") + "/");
    EXPECT_EQ(Run({"--plain"}), 1);
    EXPECT_NE(Out().find("Unable to open download directory: " + home.File("nowhere") + "/\n"),
              std::string::npos)
        << Out();
}

TEST_F(PassProgram, InterruptStopsTheRunWithHistoryAndMarkSaved) {
    news.AddPictures("alt.test", "i", 4, 900);
    std::atomic<pid_t> pid{0};
    news.OnArticle([&](const std::string&, int number) {
        if (number == 2 && pid > 0) {
            ::kill(pid, SIGINT);
            std::this_thread::sleep_for(300ms);  // the stop is in before the reply
        }
    });
    auto child = Start({"--plain"});
    pid = child->Pid();
    // Stopped as Stop would, but a scheduler must see it was interrupted.
    EXPECT_EQ(child->Wait(), 3) << Err();
    EXPECT_NE(Out().find("Stopping... (press Ctrl-C again to end at once)\n"), std::string::npos)
        << Out();
    EXPECT_NE(Out().find("\nOperation complete\n"), std::string::npos) << Out();
    EXPECT_EQ(History(), std::vector<std::string>{"i1.jpg"});
    EXPECT_EQ(Mark("alt.test"), "1");
    EXPECT_EQ(news.ArticlesAsked(), (std::vector<int>{1, 2}));
}

TEST_F(PassProgram, EverySignalOfASchedulerEndsWithItsOwnStatus) {
    // What cron, systemd and a closing terminal send, also while waiting for
    // a greeting that never comes: never the status of a complete pass.
    int port = 0;
    const int listener = ngtest::BindLoopback(port, 8);  // accepts, never greets
    ASSERT_GE(listener, 0);
    Set("NNTPPort", std::to_string(port));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        auto child = Start({"--plain"});
        pollfd waiting{listener, POLLIN, 0};
        ASSERT_EQ(::poll(&waiting, 1, 10000), 1) << "the pass did not connect";
        const int connection = ::accept(listener, nullptr, nullptr);
        child->Signal(signal);
        EXPECT_EQ(child->Wait(10s), 3) << Err();
        ::close(connection);
    }
    ::close(listener);
}

TEST_F(PassProgram, AClosedOutputDoesNotEndThePass) {
    news.AddPictures("alt.test", "i", 3, 900);
    // The reader goes after the first line; the pass must still save what it did.
    ngtest::ChildProcess::Options options = Options("piped");
    const int status = ngtest::RunProgram(
        {"/bin/bash", "-c", Binary() + " --plain | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}"},
        options);
    EXPECT_EQ(status, 0) << ngtest::ReadFile(home.File("piped-err.txt"));
    EXPECT_EQ(History(), (std::vector<std::string>{"i1.jpg", "i2.jpg", "i3.jpg"}));
    EXPECT_EQ(Mark("alt.test"), "3");
}

TEST_F(PassProgram, ServerTextReachesTheTerminalAndTheLogWithoutControls) {
    const std::string name =
        "a\x1b]0;owned\x07"
        "b\x1b[2J\x9b"
        "31mc.jpg";
    news.Add("alt.test", UUArticle(1, name, RandomBytes(900, 1)));
    Set("EnableLogging", "1");
    Set("LogFile", "DownloadLog");
    EXPECT_EQ(Run({"--plain"}), 0) << Err();
    const std::string shown = "a?]0;owned?b?[2J?31mc.jpg";
    EXPECT_NE(Out().find("  Saving to " + downloadDir + shown + "\n"), std::string::npos) << Out();
    EXPECT_EQ(Out().find('\x1b'), std::string::npos);
    EXPECT_EQ(ngtest::ReadFile(workDir + "/DownloadLog"),
              downloadDir + shown + " -> Poster <poster@example.com>\n");
}

// The bundled sample server, serving what the sample generator wrote.
class SampleServerPass : public PassProgram {
protected:
    void SetUp() override {
        PassProgram::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (!Executable(kBuild + "/tools/newsgleaner-sample-server") ||
            !Executable(kBuild + "/tools/newsgleaner-make-samples")) {
            GTEST_SKIP() << "the sample server and generator are not built in " << kBuild
                         << "/tools";
        }
    }

    // Runs a tool to its end; its exit status.
    int Tool(const std::vector<std::string>& args) {
        return ngtest::RunProgram(args, Options("tool"));
    }
};

// With today's defaults, alone and over four connections to a server that
// takes two (the extra ones refused as providers refuse them): the same
// pictures, byte for byte.
TEST_F(SampleServerPass, SavesTheGeneratedPicturesByteForByte) {
    const std::string samples = home.File("samples");
    ASSERT_EQ(Tool({kBuild + "/tools/newsgleaner-make-samples", samples, "--quiet"}), 0)
        << ngtest::ReadFile(home.File("tool-err.txt"));
    ngtest::SampleServerProcess sampleServer(kBuild + "/tools/newsgleaner-sample-server", samples,
                                             home.File("port"), 60, {"--max-connections", "2"});
    const int port = sampleServer.Port();
    ASSERT_GT(port, 0) << "the sample server did not start";

    // What should be saved with today's defaults (a profile that names only
    // the server and the folder): every picture of 20 KB or more, once (a
    // repeat is a history skip).
    std::map<std::string, long> bytes;
    std::set<std::string> groups;
    std::istringstream manifest(ngtest::ReadFile(samples + "/manifest.txt"));
    for (std::string row; std::getline(manifest, row);) {
        std::vector<std::string> f = ngtest::SplitFields(row, '\t');
        if (f.size() != 7 || row.starts_with("#") || f[2] == "text") {
            continue;
        }
        groups.insert(f[0]);
        bytes[f[3]] = std::atol(f[4].c_str());
    }
    std::set<std::string> expected;
    for (const auto& [name, size] : bytes) {
        if (size >= 20 * 1024) {
            expected.insert(name);
        }
    }
    ASSERT_TRUE(expected.count("panorama-05.jpg") && expected.count("tiles-06.jpg"));
    ASSERT_FALSE(expected.count("checkers-07.jpg"));
    ASSERT_GE(expected.size(), 5u);
    std::string groupList;
    for (const auto& g : groups) {
        groupList += g + "\n";
    }

    for (const char* connections : {"", "4"}) {
        SCOPED_TRACE(std::string("Connections=") + connections);
        std::filesystem::remove_all(workDir);
        std::filesystem::remove_all(downloadDir);
        std::filesystem::create_directories(workDir);
        std::filesystem::create_directories(downloadDir);
        ngtest::WriteFile(
            configDir + "/newsgleaner.ini",
            "[Newsgleaner]\nNNTPHost=127.0.0.1\nNNTPPort=" + std::to_string(port) +
                "\nDownloadDirectory=" + downloadDir + "\n\n[127.0.0.1]\n" +
                (*connections ? std::string("Connections=") + connections + "\n" : std::string()));
        ngtest::WriteFile(workDir + "/Groups.127.0.0.1", groupList);

        EXPECT_EQ(Run({"--plain"}), 0) << Out() << Err();
        std::set<std::string> saved;
        for (const auto& entry : std::filesystem::directory_iterator(downloadDir)) {
            saved.insert(entry.path().filename().string());
        }
        EXPECT_EQ(saved, expected);
        for (const auto& name : expected) {
            EXPECT_EQ(ngtest::ReadFile(downloadDir + name),
                      ngtest::ReadFile(samples + "/.originals/" + name))
                << name;
        }
        EXPECT_EQ(History().size(), expected.size());
        const bool refused =
            Out().find("The server took 2 of 4 connections; going on with 2") != std::string::npos;
        EXPECT_EQ(refused, *connections != 0) << Out();
    }
    EXPECT_EQ(sampleServer.Stop(), 0);
}

}  // namespace
