// newsgleaner-pass killed (SIGKILL) at seeded random moments of a pass
// against the sample news server. Whenever it dies, "HistList", its backup,
// the settings file and the group files hold an old or a new version, never
// a truncated or mixed one; every name in the history has its whole picture
// on disk; and the next pass finishes the job.
//
// NG_KILL_SEED picks other moments (the seed is printed on failure).

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/TextFile.h"
#include "settings/SettingsStore.h"
#include "support/ChildProcess.h"
#include "support/Loopback.h"
#include "support/SampleServerProcess.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kBinary = NG_BINARY_DIR;
const std::string kPass = kBinary + "/src/pass/newsgleaner-pass";
const std::string kServer = kBinary + "/tools/newsgleaner-sample-server";
const std::string kMakeSamples = kBinary + "/tools/newsgleaner-make-samples";
constexpr char kHost[] = "127.0.0.1";
const std::vector<std::string> kGroups = {"alt.binaries.pictures.samples",
                                          "alt.binaries.pictures.more"};
const std::string kOldHistory = "old-picture-one.jpg\nold-picture-two.jpg\n";
constexpr int kKillPoints = 20;

// Keys written by the tests' own store into a copy of `text`, in order,
// giving the text after each write: the versions the pass can leave.
std::vector<std::string> SettingsVersions(
    const std::string& dir, const std::string& text,
    const std::vector<std::pair<std::string, std::string>>& marks) {
    const std::string path = dir + "/versions.ini";
    ngtest::WriteFile(path, text);
    ng::SettingsStore store(path);
    std::vector<std::string> versions = {text};
    for (const auto& [group, mark] : marks) {
        store.WriteProfileString(kHost, group, mark);
        versions.push_back(ngtest::ReadFile(path));
    }
    return versions;
}

class KillTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& program : {kPass, kServer, kMakeSamples}) {
            ASSERT_TRUE(fs::exists(program)) << program << " is not built";
        }
        m_spool = m_root.File("spool");
        ASSERT_EQ(ngtest::RunProgram({kMakeSamples, m_spool, "--quiet"}), 0);
        ReadManifest();

        m_server = std::make_unique<ngtest::SampleServerProcess>(kServer, m_spool,
                                                                 m_root.File("port"), 240);
        m_port = m_server->Port();
        ASSERT_NE(m_port, 0) << "the sample server did not start";
    }

    void ReadManifest() {
        std::ifstream in(m_spool + "/manifest.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::vector<std::string> f = ngtest::SplitFields(line, '\t');
            if (f.size() != 7 || f[0][0] == '#') {
                continue;
            }
            m_last[f[0]] = std::max(m_last[f[0]], std::stoi(f[1]));
            if (f[3] != "-") {
                m_pictures[f[3]] = ngtest::ReadFile(m_spool + "/.originals/" + f[3]);
            }
        }
    }

    // A fresh profile and working folder for one run, under `dir`.
    struct Profile {
        std::string config, data, pictures, settingsText;
        std::map<std::string, std::string> files;  // group files: name -> bytes
    };
    Profile MakeProfile(const std::string& dir) {
        Profile p;
        p.config = dir + "/config";
        p.data = dir + "/data/newsgleaner";
        p.pictures = dir + "/pictures/";
        fs::create_directories(p.config);
        fs::create_directories(p.data);
        fs::create_directories(p.pictures);
        p.settingsText = "[Newsgleaner]\nNNTPHost=127.0.0.1\nNNTPPort=" + std::to_string(m_port) +
                         "\nDownloadDirectory=" + p.pictures +
                         "\nMinLines=1\nMaxLines=100000\nSubjectIncl=\nSubjectIncl2=\n"
                         "HistSaveFrequency=1\nReadTimeout=20\n";
        ngtest::WriteFile(p.config + "/newsgleaner.ini", p.settingsText);
        std::string groups;
        for (const auto& g : kGroups) {
            groups += g + "\n";
        }
        p.files["Groups.127.0.0.1"] = groups;
        p.files["AllGroups.127.0.0.1"] = groups + "misc.test\n";
        p.files["GroupCat.127.0.0.1"] = "[Pictures]\n" + groups + "\n[Text]\nmisc.test\n\n";
        for (const auto& [name, bytes] : p.files) {
            ngtest::WriteFile(p.data + "/" + name, bytes);
        }
        ngtest::WriteFile(p.data + "/HistList", kOldHistory);
        return p;
    }

    std::unique_ptr<ngtest::ChildProcess> StartPass(const Profile& p) {
        const std::string base = fs::path(p.config).parent_path().string();
        ngtest::ChildProcess::Options options;
        options.env = {{"XDG_CONFIG_HOME", p.config}, {"XDG_DATA_HOME", base + "/data"}};
        return std::make_unique<ngtest::ChildProcess>(std::vector<std::string>{kPass, "--plain"},
                                                      options);
    }

    // The checks after a pass ended, however it ended. `order` is the order
    // in which a whole pass adds names to the history.
    // `backup` is what "~HistList" holds when it is there: the history as
    // the pass found it.
    void ExpectWhole(const Profile& p, const std::vector<std::string>& order,
                     const std::vector<std::string>& settingsVersions,
                     const std::string& backup = kOldHistory) {
        // History: the old list, then a prefix of the pass's names, whole lines.
        const std::string history = ngtest::ReadFile(p.data + "/HistList");
        std::string version = kOldHistory;
        bool known = history == version;
        for (size_t k = 0; k < order.size() && !known; ++k) {
            version += order[k] + "\n";
            known = history == version;
        }
        EXPECT_TRUE(known) << "HistList:\n" << history;
        if (ngtest::FileExists(p.data + "/~HistList")) {
            EXPECT_EQ(ngtest::ReadFile(p.data + "/~HistList"), backup);
        }
        // Every name in the history has its picture, whole.
        std::vector<std::string> names = ng::SplitTextLines(history);
        for (size_t i = 2; i < names.size(); ++i) {
            ASSERT_TRUE(m_pictures.count(names[i])) << names[i];
            EXPECT_EQ(ngtest::ReadFile(p.pictures + names[i]), m_pictures[names[i]]) << names[i];
        }

        const std::string settings = ngtest::ReadFile(p.config + "/newsgleaner.ini");
        EXPECT_NE(std::find(settingsVersions.begin(), settingsVersions.end(), settings),
                  settingsVersions.end())
            << "settings:\n"
            << settings;

        for (const auto& [name, bytes] : p.files) {
            EXPECT_EQ(ngtest::ReadFile(p.data + "/" + name), bytes) << name;
        }
    }

    ngtest::TempDir m_root;
    std::string m_spool;
    std::unique_ptr<ngtest::SampleServerProcess> m_server;
    int m_port = 0;
    std::map<std::string, int> m_last;              // group -> last article number
    std::map<std::string, std::string> m_pictures;  // file name -> bytes
};

TEST_F(KillTest, FilesAreOldOrNewWheneverThePassDies) {
    // A whole pass first: how long one takes, and what it writes in which order.
    // The shorter of two: a first run with cold caches or on a busy machine
    // would spread the kills past the end of most passes.
    Profile reference;
    auto passTime = std::chrono::microseconds::max();
    for (const char* name : {"reference-cold", "reference"}) {
        reference = MakeProfile(m_root.File(name));
        const auto started = Clock::now();
        ASSERT_EQ(StartPass(reference)->Wait(), 0);
        passTime =
            std::min(passTime,
                     std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started));
    }
    std::vector<std::string> order =
        ng::SplitTextLines(ngtest::ReadFile(reference.data + "/HistList"));
    ASSERT_GT(order.size(), 4u);
    order.erase(order.begin(), order.begin() + 2);  // the old names

    std::vector<std::pair<std::string, std::string>> marks;
    for (const auto& g : kGroups) {
        marks.emplace_back(g, std::to_string(m_last[g]));
    }
    ExpectWhole(reference, order,
                {SettingsVersions(m_root.Path(), reference.settingsText, marks).back()});

    const char* seedText = std::getenv("NG_KILL_SEED");
    const unsigned seed =
        seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 20240611u;
    std::mt19937 rng(seed);
    // A little past the whole pass too, so that some kills come late or not at all.
    std::uniform_int_distribution<long long> moment(0, passTime.count() * 9 / 8);
    int killed = 0;
    for (int point = 0; point < kKillPoints; ++point) {
        const auto at = std::chrono::microseconds(moment(rng));
        SCOPED_TRACE("seed " + std::to_string(seed) + ", kill point " + std::to_string(point) +
                     " at " + std::to_string(at.count()) + " us of " +
                     std::to_string(passTime.count()));
        Profile p = MakeProfile(m_root.File("run" + std::to_string(point)));
        const std::vector<std::string> versions =
            SettingsVersions(m_root.Path(), p.settingsText, marks);
        auto pass = StartPass(p);
        ASSERT_GT(pass->Pid(), 0);
        std::this_thread::sleep_for(at);
        if (pass->Kill()) {
            ++killed;
        } else {
            EXPECT_EQ(pass->Wait(), 0);
        }
        ExpectWhole(p, order, versions);

        // The next pass carries on from whatever was left and completes.
        const std::string left = ngtest::ReadFile(p.data + "/HistList");
        ASSERT_EQ(StartPass(p)->Wait(), 0);
        ExpectWhole(p, order, {versions.back()}, left);
        EXPECT_EQ(ng::SplitTextLines(ngtest::ReadFile(p.data + "/HistList")).size(),
                  order.size() + 2)
            << "left:\n"
            << left << "now:\n"
            << ngtest::ReadFile(p.data + "/HistList");
        for (const std::string& name : order) {
            EXPECT_EQ(ngtest::ReadFile(p.pictures + name), m_pictures[name]) << name;
        }
        fs::remove_all(m_root.File("run" + std::to_string(point)));
    }
    // Passes take longer or shorter than the first one under load; most
    // kills must still land inside one for the test to mean anything.
    EXPECT_GE(killed, kKillPoints / 4) << "too few kills landed inside a pass";
}

}  // namespace
