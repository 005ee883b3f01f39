#pragma once
// What the in-process pass tests share: the served news group of
// support/FakeNews.h, and a fixture that sets up a sandbox, a download
// folder and the settings for one pass.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RecordingDisplay.h"
#include "engine/ProcessGroups.h"
#include "settings/SettingsStore.h"
#include "support/FakeNews.h"
#include "support/TestSupport.h"

namespace enginetest {

using namespace std::chrono_literals;

using ngtest::ArticleText;
using ngtest::Base64Article;
using ngtest::Base64Body;
using ngtest::Base64Encode;
using ngtest::DotStuff;
using ngtest::FakeNews;
using ngtest::JpegLikeBytes;
using ngtest::OverviewLine;
using ngtest::RandomBytes;
using ngtest::TestArticle;
using ngtest::UUArticle;
using ngtest::UUEncode;

class PassTest : public ::testing::Test {
protected:
    static constexpr char kHost[] = "127.0.0.1";

    PassTest() {
        downloadDir = sandbox.File("download") + "/";
        MakeDir(downloadDir);
        server.SetLifetime(60s);
        Set("NNTPHost", kHost);
        Set("NNTPPort", std::to_string(server.Port()));
        Set("DownloadDirectory", downloadDir);
        // The filters as the tests of the old filters set them: line
        // limits that take everything, and no subject list.
        Set("MinLines", "1");
        Set("MaxLines", "1000000");
        Set("SubjectIncl", "");
        Set("ReadTimeout", "10");
        // Reconnections at once: the tests script the failures.
        Set("RetryWait", "0");
        // The dialogue as the tests script it, one command at a time:
        // compression and ARTICLE commands sent ahead have tests of their own.
        Set("NNTPCompress", "0");
        Set("ArticlesInFlight", "1");
        // Any attachment is saved, as these tests' random bytes are no
        // pictures; keeping pictures only has tests of its own.
        Set("PicturesOnly", "0");
        SetGroups({"alt.test"});
    }

    // The server's thread may still be in a handler: stop it before the
    // script it reads goes away.
    ~PassTest() override { server.Stop(); }

    static void MakeDir(const std::string& path);

    void Set(const std::string& key, const std::string& value) {
        ng::Profile().WriteProfileString("Newsgleaner", key, value);
    }
    void SetHost(const std::string& key, const std::string& value) {
        ng::Profile().WriteProfileString(kHost, key, value);
    }
    std::string Mark(const std::string& group) const {
        return ng::Profile().GetProfileString(kHost, group, "(none)");
    }
    void SetGroups(const std::vector<std::string>& groups) {
        std::string text;
        for (const auto& g : groups) {
            text += g + "\n";
        }
        ngtest::WriteFile(sandbox.File(std::string("Groups.") + kHost), text);
    }
    std::string Downloaded(const std::string& name) const {
        return ngtest::ReadFile(downloadDir + name);
    }
    std::vector<std::string> HistoryOnDisk() const;

    // Runs one whole pass on the worker's own thread and waits for its end.
    // The final status of the pass, as the last status text shown.
    std::string RunPass();
    // Waits for a pass started by the test itself to end, and checks that it
    // ended exactly once, with PassEnded as its last call.
    std::string FinishPass(CProcessGroups& worker);
    // Asks the worker to stop once article `number` is asked for, as Stop
    // pressed during the pass would.
    void StopAtArticle(CProcessGroups& worker, int number) {
        news.OnArticle([&worker, number](const std::string&, int asked) {
            if (asked == number) {
                worker.RequestStop();
            }
        });
    }

    ngtest::Sandbox sandbox;
    std::string downloadDir;
    ngtest::ScriptedServer server;
    RecordingDisplay display;
    ng::PendingList pending;
    ScriptedPrompt prompt{std::nullopt};
    FakeNews news{server};
};

}  // namespace enginetest
