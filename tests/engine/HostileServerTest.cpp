// A download pass against a news server that lies, stalls, floods and hangs
// up. Whatever it sends, the pass ends in time with a clear status, writes
// nothing outside the download folder, keeps "HistList" whole, never moves
// the group's mark past the articles it dealt with, and stays within a
// memory bound.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ProcessGroups.h"
#include "engine/RecordingDisplay.h"
#include "engine/ServerLink.h"
#include "net/Socket.h"
#include "nntp/Overview.h"
#include "platform/Numbers.h"
#include "platform/TextFile.h"
#include "settings/SettingsStore.h"
#include "store/DownloadHistory.h"
#include "support/Encoders.h"
#include "support/Loopback.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ngtest::Reply;

constexpr char kHost[] = "127.0.0.1";
constexpr char kGroup[] = "alt.binaries.test";
constexpr int64_t kOldMark = 100;
const std::vector<std::string> kOldHistory = {"old-picture-one.jpg", "old-picture-two.jpg"};
const std::string kLost = std::string("Error--connection to ") + kHost + " lost";

using ngtest::kSanitized;
using ngtest::kThreadSanitized;

// Peak memory growth allowed for a pass whose server sends a few megabytes.
// Sanitizers keep freed memory aside for a while and pad every block.
constexpr long kSmallPassMemoryKb = (kSanitized ? 192 : 48) * 1024;

// Bytes whose base64 form starts with "/9j/", where JPEG decoding begins.
std::string PictureBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 3)) & 0xFF);
    }
    bytes[0] = static_cast<char>(0xFF);
    bytes[1] = static_cast<char>(0xD8);
    bytes[2] = static_cast<char>(0xFF);
    return bytes;
}

std::string UUBody(const std::string& beginName, const std::string& bytes) {
    return "Here it is.\r\n\r\n" + ngtest::UUEncode(bytes, beginName);
}

std::string Base64Body(const std::string& disposition, const std::string& bytes) {
    return "This is a multi-part message in MIME format.\r\n"
           "------=_NextPart_000\r\n"
           "Content-Type: image/jpeg\r\n"
           "Content-Transfer-Encoding: base64\r\n" +
           disposition + "\r\n\r\n" + ngtest::Base64Encode(bytes) + "------=_NextPart_000--\r\n";
}

std::string ArticleReply(int number, const std::string& body) {
    std::string n = std::to_string(number);
    return "220 " + n + " <" + n + "@hostile>\r\nFrom: someone@example.com\r\nSubject: picture " +
           n + "\r\nMessage-ID: <" + n + "@hostile>\r\n\r\n" + body + ".\r\n";
}

std::string OverviewLine(const std::string& number, const std::string& subject) {
    return number + "\t" + subject + "\tsomeone@example.com\tMon, 1 Jan 2024 00:00:00 GMT\t<" +
           number + "@hostile>\t\t5000\t100\r\n";
}

long ProcStatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return std::stol(line.substr(prefix.size()));
        }
    }
    return 0;
}

// Every entry under root, relative; folders end in '/', entries that are
// neither plain files nor folders in '?'.
std::set<std::string> Tree(const std::string& root) {
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(entry.path(), root).string();
        auto status = entry.symlink_status();
        if (fs::is_directory(status)) {
            name += '/';
        } else if (!fs::is_regular_file(status)) {
            name += '?';
        }
        entries.insert(name);
    }
    return entries;
}

// A server that answers GROUP and XOVER for one article and then sends that
// article without end: lines of the given size until the client hangs up,
// the byte budget is spent or the time is up.
class FloodingServer {
public:
    FloodingServer(size_t lineLength, int64_t budget) : m_lineLength(lineLength), m_budget(budget) {
        m_listenFd = ngtest::BindLoopback(m_port, 1);
        m_thread = std::thread([this] { Serve(); });
    }
    ~FloodingServer() {
        m_stop = true;
        m_thread.join();
        if (m_listenFd >= 0) {
            ::close(m_listenFd);
        }
    }
    int Port() const { return m_port; }
    int64_t Sent() const { return m_sent; }

private:
    bool Wait(int fd, short events) {
        const auto deadline = std::chrono::steady_clock::now() + 90s;
        while (!m_stop && std::chrono::steady_clock::now() < deadline) {
            pollfd entry{fd, events, 0};
            if (::poll(&entry, 1, 100) > 0) {
                return true;
            }
        }
        return false;
    }
    bool Send(int fd, const std::string& bytes) {
        size_t at = 0;
        while (at < bytes.size()) {
            if (!Wait(fd, POLLOUT)) {
                return false;
            }
            ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            at += static_cast<size_t>(n);
        }
        return true;
    }
    void Serve() {
        if (m_port == 0 || !Wait(m_listenFd, POLLIN)) {
            return;
        }
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        std::string buffer;
        bool ok = Send(fd, "200 flood ready\r\n");
        while (ok) {
            size_t lf = buffer.find('\n');
            if (lf == std::string::npos) {
                char chunk[1024];
                ssize_t n = Wait(fd, POLLIN) ? ::recv(fd, chunk, sizeof chunk, 0) : 0;
                if (n <= 0) {
                    break;
                }
                buffer.append(chunk, static_cast<size_t>(n));
                continue;
            }
            std::string command = buffer.substr(0, lf);
            buffer.erase(0, lf + 1);
            if (command.rfind("GROUP", 0) == 0) {
                ok = Send(fd, std::string("211 1 101 101 ") + kGroup + "\r\n");
            } else if (command.rfind("XOVER", 0) == 0) {
                ok = Send(fd, "224 overview\r\n" + OverviewLine("101", "flood.jpg") + ".\r\n");
            } else if (command.rfind("ARTICLE", 0) == 0) {
                ok = Send(fd, "220 101 <flood>\r\n");
                std::string block;
                std::string line(m_lineLength - 2, 'M');
                line += "\r\n";
                while (block.size() < 256 * 1024) {
                    block += line;
                }
                while (ok && m_sent < m_budget) {
                    ok = Send(fd, block);
                    m_sent += static_cast<int64_t>(block.size());
                }
                break;
            } else {
                ok = Send(fd, "500 what?\r\n");
            }
        }
        ::close(fd);
    }

    size_t m_lineLength;
    int64_t m_budget;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int64_t> m_sent{0};
    std::thread m_thread;
};

// Leaves out the progress bars, which a flood of lines would fill memory with.
class QuietDisplay : public RecordingDisplay {
public:
    void SetProgress(ng::ProgressBar, int, int, bool) override {}
};

// The bytes of a literal, NULs included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// The scripts of the tests below set the replies directly.
class HostileServerTest : public ::testing::Test {
public:
    HostileServerTest() {
        m_downloadDir = sandbox.File("download") + "/";
        fs::create_directory(m_downloadDir);
        server.SetLifetime(90s);
        UsePort(server.Port());
        Set("NNTPHost", kHost);
        Set("DownloadDirectory", m_downloadDir);
        Set("MinLines", "1");
        Set("MaxLines", "1000000");
        Set("SubjectIncl", "");
        Set("ReadTimeout", "5");
        Set("HistSaveFrequency", "1");
        // Each lie ends the pass at once: reconnecting to it has tests of its own.
        Set("ConnectRetries", "0");
        ngtest::WriteFile(sandbox.File(std::string("Groups.") + kHost), std::string(kGroup) + "\n");
        ngtest::WriteFile(sandbox.File("HistList"), kOldHistory[0] + "\n" + kOldHistory[1] + "\n");
        ng::Profile().WriteProfileString(kHost, kGroup, std::to_string(kOldMark));
        server.OnPrefix("GROUP ", [this](const std::string&) {
            std::lock_guard lock(m_scriptMutex);
            return m_groupReply;
        });
        server.OnPrefix("XOVER ", [this](const std::string&) {
            std::lock_guard lock(m_scriptMutex);
            return m_xoverReply;
        });
        server.OnPrefix("ARTICLE ", [this](const std::string& line) -> Reply {
            std::lock_guard lock(m_scriptMutex);
            auto found = m_articles.find(line.substr(8));
            return found == m_articles.end() ? Reply("423 no such article\r\n") : found->second;
        });
    }

    void Set(const std::string& key, const std::string& value) {
        ng::Profile().WriteProfileString("Newsgleaner", key, value);
    }
    void UsePort(int port) { Set("NNTPPort", std::to_string(port)); }

    // The group holds the articles first..last, each with an overview line;
    // the test then gives the article replies.
    void Offer(int first, int last) {
        std::string xover = "224 overview follows\r\n";
        for (int n = first; n <= last; ++n) {
            xover += OverviewLine(std::to_string(n), "picture " + std::to_string(n));
        }
        SetGroupReply("211 " + std::to_string(last - first + 1) + " " + std::to_string(first) +
                      " " + std::to_string(last) + " " + kGroup + "\r\n");
        SetXoverReply(xover + ".\r\n");
    }
    // The script is read on the server's thread.
    void SetGroupReply(Reply reply) {
        std::lock_guard lock(m_scriptMutex);
        m_groupReply = std::move(reply);
    }
    void SetXoverReply(Reply reply) {
        std::lock_guard lock(m_scriptMutex);
        m_xoverReply = std::move(reply);
    }
    std::string XoverText() {
        std::lock_guard lock(m_scriptMutex);
        return m_xoverReply.bytes;
    }
    void Article(int number, Reply reply) {
        std::lock_guard lock(m_scriptMutex);
        m_articles[std::to_string(number)] = std::move(reply);
    }

    struct Outcome {
        std::string status;
        std::chrono::milliseconds took{0};
        long memoryGrowthKb = 0;
        bool ended = false;
    };

    // One pass on the worker's thread; stopped (and failed) when it outlasts
    // the limit.
    Outcome RunPass(std::chrono::seconds limit = 20s, bool quiet = false) {
        m_before = Tree(sandbox.Path());
        {
            std::ofstream reset("/proc/self/clear_refs");
            reset << "5";  // the peak (VmHWM) starts again from here
        }
        const long baseKb = ProcStatusKb("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        Outcome outcome;
        RecordingDisplay recording;
        QuietDisplay quietDisplay;
        RecordingDisplay& display = quiet ? quietDisplay : recording;
        {
            CProcessGroups worker(ng::Profile(), display, &prompt, pending);
            EXPECT_TRUE(worker.Start());
            outcome.ended = display.WaitForPassEnd(limit);
            if (!outcome.ended) {
                worker.RequestStop();
                display.WaitForPassEnd(30s);
            }
        }
        outcome.took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        outcome.memoryGrowthKb = ProcStatusKb("VmHWM") - baseKb;
        outcome.status = display.LastStatus();
        EXPECT_TRUE(outcome.ended) << "the pass did not end within " << limit.count() << " s";
        EXPECT_EQ(display.PassEndCount(), 1);
        return outcome;
    }

    std::string Mark() const { return ng::Profile().GetProfileString(kHost, kGroup, "(none)"); }

    // What every pass must leave, whatever the server did.
    void ExpectSafeAftermath(const Outcome& outcome, int64_t mark,
                             std::chrono::seconds timeLimit = 15s,
                             long memoryLimitKb = kSmallPassMemoryKb) {
        EXPECT_LT(outcome.took, timeLimit);
        EXPECT_LT(outcome.memoryGrowthKb, memoryLimitKb);
        EXPECT_EQ(Mark(), std::to_string(mark));

        // New entries only as plain files directly in the download folder;
        // nothing the sandbox held went away.
        std::set<std::string> after = Tree(sandbox.Path());
        for (const std::string& entry : m_before) {
            EXPECT_TRUE(after.count(entry)) << "gone: " << entry;
        }
        for (const std::string& entry : after) {
            if (m_before.count(entry) || entry == "~HistList" || entry == "HistList.lock" ||
                entry == "PictureHashes" || entry == "PictureHashes.lock" ||
                entry.starts_with("Unfinished.") || entry.starts_with("Missing.") ||
                entry.starts_with("Crossposts.")) {
                continue;
            }
            ASSERT_EQ(entry.rfind("download/", 0), 0u) << "written outside: " << entry;
            std::string leaf = entry.substr(9);
            EXPECT_TRUE(!leaf.empty() && leaf.find('/') == std::string::npos && leaf.back() != '?')
                << "not a plain file in the folder: " << entry;
        }

        // "HistList" whole: the old names as they were, then only plain,
        // lower-cased file names, each on a complete line.
        std::string text = ngtest::ReadFile(sandbox.File("HistList"));
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        std::vector<std::string> lines = ng::SplitTextLines(text);
        ASSERT_GE(lines.size(), kOldHistory.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), kOldHistory);
        for (size_t i = kOldHistory.size(); i < lines.size(); ++i) {
            const std::string& name = lines[i];
            EXPECT_TRUE(name.size() > 3 && name.find('.') != std::string::npos &&
                        name.find_first_of(std::string("/\r\0", 3)) == std::string::npos &&
                        name != "..")
                << "history line " << i << ": " << name;
        }
    }

    std::vector<std::string> History() const {
        std::vector<std::string> lines;
        ng::ReadTextLines(sandbox.File("HistList"), lines);
        return lines;
    }

    ngtest::Sandbox sandbox;
    // Before the server, which reads them until it is stopped.
    std::mutex m_scriptMutex;
    Reply m_groupReply;
    Reply m_xoverReply;
    std::map<std::string, Reply> m_articles;
    ngtest::ScriptedServer server;
    ScriptedPrompt prompt{std::nullopt};
    ng::PendingList pending;
    std::string m_downloadDir;
    std::set<std::string> m_before;
};

TEST_F(HostileServerTest, AttachmentNamesNeverLeadOutOfTheDownloadFolder) {
    const std::string sandboxParent = fs::path(sandbox.Path()).parent_path().string();
    const std::string tag = fs::path(sandbox.Path()).filename().string();
    const std::string longName(300, 'n');
    const std::string up = "up-" + tag + ".jpg";
    const std::string abs = "abs-" + tag + ".jpg";
    const std::string b64up = "b64up-" + tag + ".jpg";
    Offer(101, 113);
    Article(101, ArticleReply(101, UUBody("../../" + up, PictureBytes(200, 1))));
    Article(102, ArticleReply(102, UUBody(sandbox.File(abs), PictureBytes(200, 2))));
    Article(103, ArticleReply(103, UUBody("..", PictureBytes(100, 3))));
    Article(104, ArticleReply(104, UUBody(".", PictureBytes(100, 4))));
    Article(105, ArticleReply(105, UUBody("", PictureBytes(100, 5))));
    Article(106, ArticleReply(106, UUBody("sub/", PictureBytes(100, 6))));
    Article(107, ArticleReply(107, UUBody(longName + ".jpg", PictureBytes(100, 7))));
    Article(108, ArticleReply(108, Base64Body("Content-Disposition: attachment; filename=\"../" +
                                                  b64up + "\"",
                                              PictureBytes(300, 8))));
    Article(109, ArticleReply(109, Base64Body("Content-Disposition: attachment; filename=\"/\"",
                                              PictureBytes(100, 9))));
    Article(110, ArticleReply(110, Base64Body("Content-Disposition: attachment; filename=\"..\"",
                                              PictureBytes(100, 10))));
    Article(111, ArticleReply(111, Base64Body("Content-Disposition: attachment; filename=\"\"",
                                              PictureBytes(100, 11))));
    Article(112, ArticleReply(112, Base64Body("Content-Disposition: attachment; filename=\"" +
                                                  longName + "\"",
                                              PictureBytes(100, 12))));
    Article(113, ArticleReply(113, UUBody("good.jpg", PictureBytes(150, 13))));

    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, "Operation complete");
    ExpectSafeAftermath(outcome, 113);

    // The names lose their folders and land inside, with the right bytes.
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + up), PictureBytes(200, 1));
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + abs), PictureBytes(200, 2));
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + b64up), PictureBytes(300, 8));
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + "good.jpg"), PictureBytes(150, 13));
    EXPECT_FALSE(fs::exists(sandboxParent + "/" + up));
    EXPECT_FALSE(fs::exists(sandbox.File(up)));
    EXPECT_FALSE(fs::exists(sandboxParent + "/" + b64up));
    for (const auto& entry : fs::directory_iterator(m_downloadDir)) {
        EXPECT_LE(entry.path().filename().string().size(), 255u);
    }
    std::vector<std::string> history = History();
    EXPECT_NE(std::find(history.begin(), history.end(), "good.jpg"), history.end());
    EXPECT_NE(std::find(history.begin(), history.end(), ng::ToLowerAscii(up)), history.end());
}

TEST_F(HostileServerTest, NulAndEightBitBytesAreCarriedNotTrusted) {
    const std::string eightBit = "caf\xE9-\xFF\x80.jpg";
    Offer(101, 104);
    // Overview lines with NUL and 8-bit bytes in every field.
    SetXoverReply(
        std::string("224 overview follows\r\n") + OverviewLine("101", Bytes("sub\0ject \xFE\xFF")) +
        OverviewLine("102", "\x80\x81\x82 picture") + OverviewLine("103", Bytes("nul name\0")) +
        OverviewLine("104", "plain") + Bytes("10\0005\tx\ty\r\n") + ".\r\n");
    Article(101,
            ArticleReply(101, Bytes("\0\0\0\xFF\r\n") + UUBody(eightBit, PictureBytes(120, 1))));
    Article(102, ArticleReply(102, UUBody(Bytes("a\0b.jpg"), PictureBytes(90, 2))));
    Article(103, ArticleReply(103, Base64Body(Bytes("Content-Disposition: attachment; "
                                                    "filename=\"x\0y.jpg\""),
                                              PictureBytes(90, 3))));
    Article(104,
            ArticleReply(104, Bytes("\xC3\xA9\0\r\n") + UUBody("plain.jpg", PictureBytes(64, 4))));

    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, "Operation complete");
    ExpectSafeAftermath(outcome, 104);
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + eightBit), PictureBytes(120, 1));
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + "plain.jpg"), PictureBytes(64, 4));
    // A name holding a NUL is refused, not cut short.
    EXPECT_FALSE(fs::exists(m_downloadDir + "a"));
    EXPECT_FALSE(fs::exists(m_downloadDir + "x"));
}

TEST_F(HostileServerTest, EndlessLineInAnArticleFailsTheConnectionAtTheLineCap) {
    Offer(101, 102);
    Article(101, ArticleReply(101, UUBody("first.jpg", PictureBytes(90, 1))));
    Article(102, Reply("220 102 <endless>\r\n" +
                       std::string(CNewsSocket::kMaxLineLength + (2 << 20), 'x')));

    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, kLost);
    ExpectSafeAftermath(outcome, 101);
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + "first.jpg"), PictureBytes(90, 1));
}

TEST_F(HostileServerTest, EndlessOverviewLineFailsTheConnectionAtTheLineCap) {
    Offer(101, 102);
    SetXoverReply("224 overview follows\r\n" + OverviewLine("101", "a") +
                  std::string(CNewsSocket::kMaxLineLength + (1 << 20), '\t'));

    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, kLost);
    ExpectSafeAftermath(outcome, kOldMark);
    EXPECT_EQ(server.Received().find("ARTICLE"), std::string::npos);
}

TEST_F(HostileServerTest, ArticleThatNeverEndsIsCutAtTheArticleCap) {
    if (kThreadSanitized) {
        GTEST_SKIP() << "a memory test, minutes long under ThreadSanitizer; no threads of its own";
    }
    // Lines of 4 KiB without end: the pass holds at most the cap, then drops
    // the connection and ends as for a lost one.
    const int64_t cap = ng::ServerLink::kMaxArticleBytes;
    FloodingServer flood(4096, cap + (64 << 20));
    ASSERT_NE(flood.Port(), 0);
    UsePort(flood.Port());

    Outcome outcome = RunPass(120s);
    EXPECT_EQ(outcome.status, kLost);
    EXPECT_GE(flood.Sent(), cap / 10 * 9);  // the lines held count a little more than their bytes
    EXPECT_LT(flood.Sent(), cap + (64 << 20));
    std::fprintf(stderr, "flood: %lld MB sent, %lld ms, peak growth %ld MB\n",
                 static_cast<long long>(flood.Sent() >> 20),
                 static_cast<long long>(outcome.took.count()), outcome.memoryGrowthKb >> 10);
    const long capKb = static_cast<long>(cap >> 10);
    ExpectSafeAftermath(outcome, kOldMark, 120s, capKb * 2 + (kSanitized ? 512 << 10 : 64 << 10));
}

TEST_F(HostileServerTest, ArticleOfEmptyLinesIsCutByTheMemoryItHolds) {
    if (kThreadSanitized) {
        GTEST_SKIP() << "a memory test, minutes long under ThreadSanitizer; no threads of its own";
    }
    // Blank lines cost two bytes on the wire but a whole string each in
    // memory: the cap counts what is held, not just what arrived.
    const int64_t cap = ng::ServerLink::kMaxArticleBytes;
    FloodingServer flood(2, cap / 4);
    ASSERT_NE(flood.Port(), 0);
    UsePort(flood.Port());

    Outcome outcome = RunPass(120s, /*quiet=*/true);
    EXPECT_EQ(outcome.status, kLost);
    EXPECT_LT(flood.Sent(), cap / 4);
    std::fprintf(stderr, "blank-line flood: %lld MB sent, %lld ms, peak growth %ld MB\n",
                 static_cast<long long>(flood.Sent() >> 20),
                 static_cast<long long>(outcome.took.count()), outcome.memoryGrowthKb >> 10);
    const long capKb = static_cast<long>(cap >> 10);
    ExpectSafeAftermath(outcome, kOldMark, 120s, capKb * 2 + (kSanitized ? 512 << 10 : 64 << 10));
}

TEST_F(HostileServerTest, ReplyCodeWithoutItsBlockEndsThePass) {
    // "220" and then the server hangs up.
    Offer(101, 102);
    Article(101, ArticleReply(101, UUBody("first.jpg", PictureBytes(90, 1))));
    Article(102, Reply("220 102 <x>\r\n").ThenClose());
    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, kLost);
    ExpectSafeAftermath(outcome, 101);
}

TEST_F(HostileServerTest, ReplyCodeAndThenSilenceEndsAtTheReadTimeout) {
    // "224" and then nothing at all, on an open connection.
    Set("ReadTimeout", "1");
    Offer(101, 102);
    SetXoverReply("224 overview follows\r\n");
    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, kLost);
    ExpectSafeAftermath(outcome, kOldMark, 6s);
    EXPECT_GE(outcome.took, 900ms);
}

TEST_F(HostileServerTest, ATricklingServerIsALostConnection) {
    // A byte every 400 ms never lets the silence limit of a second run out;
    // the minimum rate over that limit still ends it.
    Set("ReadTimeout", "1");
    Offer(101, 102);
    Reply trickle("224 overview follows\r\n" + std::string(300, 'x'));
    trickle.sizes.assign(trickle.bytes.size(), 1);
    trickle.pause = 400ms;
    SetXoverReply(trickle);
    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, kLost);
    ExpectSafeAftermath(outcome, kOldMark, 8s);
}

TEST_F(HostileServerTest, OverviewLinesWithoutAProperNumberGoIntoNoCommand) {
    // A line count that reads as 0 passes the size test: only the number
    // check stands between these lines and an ARTICLE command.
    Set("MinLines", "0");
    SetGroupReply(std::string("211 3 101 103 ") + kGroup + "\r\n");
    SetXoverReply("224 overview follows\r\n101\r\n102 no fields at all\r\n+103\tsigned\r\n" +
                  OverviewLine("103", "picture 103") + ".\r\n");
    Article(103, ArticleReply(103, UUBody("good.jpg", PictureBytes(150, 1))));
    Outcome outcome = RunPass();
    EXPECT_EQ(outcome.status, "Operation complete");
    std::vector<std::string> commands;
    for (const std::string& line : ng::SplitTextLines(server.Received())) {
        if (line.starts_with("ARTICLE")) {
            commands.push_back(line);
        }
    }
    EXPECT_EQ(commands, std::vector<std::string>{"ARTICLE 103"});
    EXPECT_NE(server.Received().find("ARTICLE 103\r\n"), std::string::npos);
    EXPECT_EQ(ngtest::ReadFile(m_downloadDir + "good.jpg"), PictureBytes(150, 1));
    ExpectSafeAftermath(outcome, 103);
}

TEST_F(HostileServerTest, ServerNumbersStayWithinTheGroupAndCostNoMemory) {
    // An overview line above the group's last article goes into no command
    // and no mark; a group claiming a billion billion articles costs a few
    // dozen overview commands, not one per ten thousand numbers.
    struct Case {
        const char* groupReply;
        const char* mark;
        size_t maxOverviewCommands;
    };
    const Case cases[] = {
        {"211 3 101 103", "103", 1},
        // The far line is in the group here, and fetched as any other.
        {"211 3 1 999999999999999999", "999999999999999999", 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.groupReply);
        ng::Profile().WriteProfileString(kHost, kGroup, std::to_string(kOldMark));
        SetGroupReply(std::string(c.groupReply) + " " + kGroup + "\r\n");
        SetXoverReply("224 overview follows\r\n" + OverviewLine("101", "picture 101") +
                      OverviewLine("103", "picture 103") + OverviewLine("99999", "far.jpg") +
                      ".\r\n");
        Article(101, ArticleReply(101, UUBody("p101.jpg", PictureBytes(300, 1))));
        Article(103, ArticleReply(103, UUBody("p103.jpg", PictureBytes(300, 3))));
        Article(99999, ArticleReply(99999, UUBody("far.jpg", PictureBytes(300, 9))));
        const size_t before = server.Received().size();
        Outcome outcome = RunPass();
        EXPECT_EQ(outcome.status, "Operation complete");
        const std::string asked = server.Received().substr(before);
        EXPECT_EQ(asked.find("ARTICLE 99999") == std::string::npos, std::string(c.mark) == "103");
        size_t overviews = 0;
        for (size_t at = asked.find("XOVER "); at != std::string::npos;
             at = asked.find("XOVER ", at + 1)) {
            ++overviews;
        }
        EXPECT_LE(overviews, c.maxOverviewCommands);
        EXPECT_EQ(ngtest::ReadFile(m_downloadDir + "p103.jpg"), PictureBytes(300, 3));
        ExpectSafeAftermath(outcome, std::stoll(c.mark));
        fs::remove(m_downloadDir + "far.jpg");
        fs::remove(m_downloadDir + "p101.jpg");
        fs::remove(m_downloadDir + "p103.jpg");
        fs::remove(sandbox.File("PictureHashes"));
        fs::remove(sandbox.File(std::string("Crossposts.") + kHost));
        ngtest::WriteFile(sandbox.File("HistList"), kOldHistory[0] + "\n" + kOldHistory[1] + "\n");
    }
}

TEST_F(HostileServerTest, GroupNumbersThatMakeNoSense) {
    // Only a reply of plain numbers that fit, for a group that does not end
    // before it begins, leads to XOVER; any other keeps the old mark.
    struct Case {
        std::string reply;
        bool asksForOverview;
    };
    const std::vector<Case> cases = {
        {"211 3 101 103", true},
        {"211 -5 -10 -1", false},
        {"211 3 200 150", false},  // last below first
        {"211 99999999999999999999999 1 99999999999999999999999", false},
        {"211 3 -9223372036854775808 9223372036854775807", false},
        {"211 3 9223372036854775807 -9223372036854775808", false},
        {"211 3 +101 103", false},
        {"211 abc def ghi", false},
        {"211", false},
        {"211 0 101 103", false},
        {"211 3 90 100", false},  // nothing after the mark
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        ng::Profile().WriteProfileString(kHost, kGroup, std::to_string(kOldMark));
        Offer(101, 103);
        SetGroupReply(c.reply + " " + kGroup + "\r\n");
        for (int n = 101; n <= 103; ++n) {
            Article(n, ArticleReply(n, "no attachment\r\n"));
        }
        const size_t receivedBefore = server.Received().size();

        Outcome outcome = RunPass();
        EXPECT_EQ(outcome.status, "Operation complete");
        const std::string asked = server.Received().substr(receivedBefore);
        EXPECT_EQ(asked.find("XOVER ") != std::string::npos, c.asksForOverview) << asked;
        if (c.asksForOverview) {
            EXPECT_NE(asked.find("XOVER 101-\r\n"), std::string::npos) << asked;
        }
        EXPECT_EQ(Mark(), c.asksForOverview ? "103" : std::to_string(kOldMark));
        ExpectSafeAftermath(outcome, std::stoll(Mark()));
    }
}

struct DropCase {
    const char* name;
    std::function<void(HostileServerTest&)> script;
    std::vector<std::string> statuses;  // any of these
    int64_t mark;
};

void PrintTo(const DropCase& c, std::ostream* out) {
    *out << c.name;
}

const std::string kCantConnect = "Can't connect to server";

Reply FirstBytes(const std::string& text, size_t count) {
    return Reply(text).CloseAfter(count);
}

// Three articles, each a uuencoded picture p<n>.jpg.
void Three(HostileServerTest& t) {
    t.Offer(101, 103);
    for (int n = 101; n <= 103; ++n) {
        t.Article(n, ArticleReply(n, UUBody("p" + std::to_string(n) + ".jpg",
                                            PictureBytes(900, static_cast<unsigned>(n)))));
    }
}

// Drops at every stage of the dialogue: the mark stays at what was dealt
// with, and the pass says the connection was lost.
class ConnectionDropTest : public HostileServerTest,
                           public ::testing::WithParamInterface<DropCase> {};

TEST_P(ConnectionDropTest, MarkStaysAtWhatWasDealtWith) {
    const DropCase& c = GetParam();
    Set("ReadTimeout", "2");
    c.script(*this);
    Outcome outcome = RunPass();
    EXPECT_TRUE(std::find(c.statuses.begin(), c.statuses.end(), outcome.status) != c.statuses.end())
        << outcome.status;
    ExpectSafeAftermath(outcome, c.mark, 10s);
    for (int n = 101; n < 101 + (c.mark - kOldMark) && c.mark > kOldMark; ++n) {
        EXPECT_EQ(ngtest::ReadFile(m_downloadDir + "p" + std::to_string(n) + ".jpg"),
                  PictureBytes(900, static_cast<unsigned>(n)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStage, ConnectionDropTest,
    ::testing::Values(DropCase{"GreetingNone",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.server.SetGreeting(Reply("").CloseAfter(0));
                               },
                               {kCantConnect},
                               kOldMark},
                      DropCase{"GreetingHalf",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.server.SetGreeting(Reply("200 hel").ThenClose());
                               },
                               {kCantConnect},
                               kOldMark},
                      DropCase{"GreetingSilent",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.server.SetGreeting(Reply(""));
                               },
                               {kCantConnect},
                               kOldMark},
                      DropCase{"GroupReplyNone",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.SetGroupReply(Reply("").CloseAfter(0));
                               },
                               {kLost},
                               kOldMark},
                      DropCase{"GroupReplyHalf",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.SetGroupReply(FirstBytes("211 3 101 103 alt", 9));
                               },
                               {kLost},
                               kOldMark},
                      DropCase{"OverviewReplyNone",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.SetXoverReply(Reply("").CloseAfter(0));
                               },
                               {kLost},
                               kOldMark},
                      DropCase{"OverviewBlockHalf",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   std::string block = t.XoverText();
                                   t.SetXoverReply(FirstBytes(block, block.find("102\t") + 20));
                               },
                               {kLost},
                               kOldMark},
                      DropCase{"ArticleReplyNone",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.Article(102, Reply("").CloseAfter(0));
                               },
                               {kLost},
                               101},
                      DropCase{"ArticleBodyHalf",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   std::string whole = ArticleReply(
                                       102, UUBody("p102.jpg", PictureBytes(900, 102)));
                                   t.Article(102, FirstBytes(whole, whole.size() / 2));
                               },
                               {kLost},
                               101},
                      DropCase{"LastArticleReplyNone",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.Article(103, Reply("").CloseAfter(0));
                               },
                               {kLost},
                               102},
                      DropCase{"LastArticleEndLineHalf",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   std::string whole = ArticleReply(
                                       103, UUBody("p103.jpg", PictureBytes(900, 103)));
                                   t.Article(103, FirstBytes(whole, whole.size() - 2));
                               },
                               {kLost},
                               102},
                      DropCase{"AfterTheLastArticle",
                               [](HostileServerTest& t) {
                                   Three(t);
                                   t.Article(
                                       103, Reply(ArticleReply(103, UUBody("p103.jpg",
                                                                           PictureBytes(900, 103))))
                                                .ThenClose());
                               },
                               {kLost, "Operation complete"},
                               103}),
    [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

}  // namespace
