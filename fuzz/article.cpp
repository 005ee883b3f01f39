// A whole download pass whose one article is the input: a local news server
// on a loopback port offers one overview line and answers "ARTICLE" with the
// input as the article (no dot-stuffing: raw bytes, then the end line). The
// pass runs on the fuzzing thread. Whatever the article holds, the pass ends
// with "Operation complete", nothing is written outside the download
// folder, the history holds only plain names, and the group's mark is the
// group's last number.

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "FuzzSupport.h"
#include "engine/ProcessGroups.h"
#include "platform/TextFile.h"
#include "settings/SettingsStore.h"
#include "support/NullDisplay.h"

namespace {

const std::string kHost = "127.0.0.1";
const std::string kGroup = "alt.binaries.fuzz";

// Serves one connection at a time: the greeting, then answers to GROUP,
// XOVER and ARTICLE. Each GROUP gives a new last number, so every pass finds
// one new article whatever mark the last pass stored.
class NewsPeer {
public:
    NewsPeer() {
        m_port = fuzzsupport::ServeLoopback([this](int fd) { Talk(fd); });
    }

    int Port() const { return m_port; }
    long long Last() const { return m_last; }

    void SetArticle(std::string bytes) {
        std::lock_guard lock(m_mutex);
        m_article = std::move(bytes);
    }

private:
    void Talk(int fd) {
        if (!ngtest::SendAll(fd, "200 fuzz news ready\r\n")) {
            return;
        }
        std::string buffer;
        for (;;) {
            size_t lf = buffer.find('\n');
            if (lf == std::string::npos) {
                pollfd entry{fd, POLLIN, 0};
                if (::poll(&entry, 1, 20000) <= 0) {
                    return;
                }
                char chunk[4096];
                ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
                if (got <= 0) {
                    return;
                }
                buffer.append(chunk, static_cast<size_t>(got));
                continue;
            }
            std::string command = buffer.substr(0, lf + 1);
            buffer.erase(0, lf + 1);
            if (!ngtest::SendAll(fd, Answer(command))) {
                return;
            }
        }
    }

    std::string Answer(const std::string& command) {
        if (command.rfind("GROUP ", 0) == 0) {
            long long last = ++m_last;
            return "211 1 " + std::to_string(last) + " " + std::to_string(last) + " " + kGroup +
                   "\r\n";
        }
        if (command.rfind("XOVER ", 0) == 0) {
            return "224 overview follows\r\n" + std::to_string(m_last.load()) +
                   "\tpicture (1/1)\tposter@example.com\tMon, 1 Jan 2024 00:00:00 GMT"
                   "\t<1@fuzz>\t\t1000\t20\r\n.\r\n";
        }
        if (command.rfind("ARTICLE ", 0) == 0) {
            std::lock_guard lock(m_mutex);
            std::string reply = "220 " + std::to_string(m_last.load()) + " <1@fuzz>\r\n";
            reply += m_article;
            if (!m_article.empty() && m_article.back() != '\n') {
                reply += "\r\n";
            }
            return reply + ".\r\n";
        }
        return "500 what?\r\n";
    }

    int m_port = 0;
    std::atomic<long long> m_last{1};
    std::mutex m_mutex;
    std::string m_article;
};

class StatusDisplay : public ngtest::NullDisplay {
public:
    void SetStatusText(const std::string& text) override { m_status = text; }
    void ShowMessage(const std::string& text) override { m_message = text; }
    void PassEnded() override { ++m_ended; }

    std::string m_status;
    std::string m_message;
    int m_ended = 0;
};

struct Setup {
    fuzzsupport::ScratchDir scratch;
    NewsPeer peer;
    std::string downloadDir;

    Setup() {
        FUZZ_CHECK(::chdir(scratch.Path().c_str()) == 0);
        downloadDir = scratch.File("download") + "/";
        FUZZ_CHECK(::mkdir(downloadDir.c_str(), 0700) == 0);
        ng::SettingsStore& store = ng::Profile();
        store.SetPath(scratch.File("newsgleaner.ini"));
        auto set = [&](const char* key, const std::string& value) {
            store.WriteProfileString("Newsgleaner", key, value);
        };
        set("NNTPHost", kHost);
        set("NNTPPort", std::to_string(peer.Port()));
        set("DownloadDirectory", downloadDir);
        set("MinLines", "0");
        set("MaxLines", "100000");
        set("HistSaveFrequency", "1");
        set("ReadTimeout", "10");
        set("SaveAscii", "1");
        set("EnableLogging", "1");
        set("LogFile", "DownloadLog");
        fuzzsupport::WriteAll("Groups." + kHost, kGroup + "\n");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup* setup = new Setup;
    const std::string& root = setup->scratch.Path();
    fuzzsupport::RemoveContents(setup->downloadDir);
    for (const char* file : {"HistList", "~HistList", "HistList.lock", "PictureHashes",
                             "PictureHashes.lock", "DownloadLog"}) {
        ::unlink(file);
    }
    const std::set<std::string> before = fuzzsupport::ListTree(root);

    setup->peer.SetArticle(std::string(reinterpret_cast<const char*>(data), size));
    StatusDisplay display;
    ng::PendingList pending;
    {
        CProcessGroups worker(ng::Profile(), display, nullptr, pending);
        worker.InitInstance();
    }
    FUZZ_CHECK(display.m_ended == 1);
    FUZZ_CHECK(display.m_message.empty());
    if (display.m_status != "Operation complete") {
        std::fprintf(stderr, "final status: %s\n", display.m_status.c_str());
        FUZZ_CHECK(display.m_status == "Operation complete");
    }

    // Only the download folder gains files, and only plain files directly in it.
    for (const std::string& entry : fuzzsupport::ListTree(root)) {
        // The working files of a pass, and the locks of those merged on saving.
        static const std::set<std::string> kWorkingFiles = {"HistList",           "~HistList",
                                                            "HistList.lock",      "PictureHashes",
                                                            "PictureHashes.lock", "DownloadLog"};
        if (before.count(entry) != 0 || kWorkingFiles.count(entry) != 0) {
            continue;
        }
        FUZZ_CHECK(entry.rfind("download/", 0) == 0);
        std::string inside = entry.substr(9);
        FUZZ_CHECK(!inside.empty() && inside.find('/') == std::string::npos);
    }

    std::vector<std::string> history;
    if (ng::ReadTextLines("HistList", history)) {
        FUZZ_CHECK(history.size() <= 1);
        for (const std::string& name : history) {
            FUZZ_CHECK(name.size() > 3 && name.find('/') == std::string::npos &&
                       name.find('.') != std::string::npos && name != "..");
        }
    }
    FUZZ_CHECK(ng::Profile().GetProfileString(kHost, kGroup, "") ==
               std::to_string(setup->peer.Last()));
    return 0;
}
