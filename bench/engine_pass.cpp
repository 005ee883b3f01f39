// A whole download pass over loopback: 200 articles of about 500 KB of
// uuencoded random bytes each, fetched, decoded and saved by the engine,
// from two servers: a small server thread in this program, and the bundled
// sample news server (a separate process, as a real server would be). Beside
// each, the same bytes read raw from the same server over a plain socket:
// the most this machine can move.
//
// One pass takes about a second; run with --benchmark_min_time=3 for steady
// figures, and with TMPDIR=/dev/shm to leave the disk out of them.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/Display.h"
#include "engine/ProcessGroups.h"
#include "settings/SettingsStore.h"

namespace {

constexpr int kArticles = 200;
constexpr size_t kAttachmentBytes = 500 * 1000;
const char kGroup[] = "alt.binaries.bench";

// uuencode's layout: 45 bytes a line, "`" for zero, CR LF line ends.
std::string UUEncode(const std::string& bytes, const std::string& name) {
    auto put = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
    std::string text = "begin 644 " + name + "\r\n";
    text.reserve(bytes.size() * 62 / 45 + 64);
    for (size_t at = 0; at < bytes.size(); at += 45) {
        size_t count = std::min<size_t>(45, bytes.size() - at);
        text += put(static_cast<unsigned>(count));
        for (size_t i = 0; i < count; i += 3) {
            unsigned char b[3] = {0, 0, 0};
            for (size_t k = 0; k < 3 && i + k < count; ++k) {
                b[k] = static_cast<unsigned char>(bytes[at + i + k]);
            }
            text += put(b[0] >> 2);
            text += put(((b[0] & 3) << 4) | (b[1] >> 4));
            text += put(((b[1] & 15) << 2) | (b[2] >> 6));
            text += put(b[2] & 63);
        }
        text += "\r\n";
    }
    return text + "`\r\nend\r\n";
}

// The server's replies, made once: ARTICLE n for 1..kArticles, and XOVER.
struct Spool {
    std::vector<std::string> articles;  // index n-1: "220 ..." up to ".\r\n"
    std::string overview;
    int64_t articleBytes = 0;  // everything the ARTICLE replies carry
};

const Spool& TheSpool() {
    static const Spool spool = [] {
        Spool s;
        std::mt19937_64 random(7);
        s.overview = "224 overview follows\r\n";
        for (int n = 1; n <= kArticles; ++n) {
            std::string bytes(kAttachmentBytes, '\0');
            for (size_t i = 0; i < bytes.size(); i += 8) {
                uint64_t v = random();
                std::memcpy(&bytes[i], &v, std::min<size_t>(8, bytes.size() - i));
            }
            char name[32];
            std::snprintf(name, sizeof name, "bench-%03d.jpg", n);
            std::string body = UUEncode(bytes, name);
            int lines = 0;
            for (char c : body) {
                lines += c == '\n';
            }
            std::string id = "<" + std::to_string(n) + "@bench>";
            std::string article = "220 " + std::to_string(n) + " " + id +
                                  "\r\nFrom: Bench <bench@example.com>\r\nSubject: " + name +
                                  " (1/1)\r\nMessage-ID: " + id + "\r\n\r\n" + body + ".\r\n";
            s.articleBytes += static_cast<int64_t>(article.size());
            s.articles.push_back(std::move(article));
            s.overview += std::to_string(n) + "\t" + name +
                          " (1/1)\tBench <bench@example.com>\tdate\t" + id + "\t\t" +
                          std::to_string(body.size()) + "\t" + std::to_string(lines) + "\r\n";
        }
        s.overview += ".\r\n";
        return s;
    }();
    return spool;
}

// A news server on 127.0.0.1 that answers GROUP, XOVER and ARTICLE from
// the spool, one connection at a time, until it is destroyed.
class BenchServer {
public:
    BenchServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listen, 4) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~BenchServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int Port() const { return m_port; }

private:
    void Run() {
        while (!m_stop) {
            pollfd entry{m_listen, POLLIN, 0};
            if (::poll(&entry, 1, 100) <= 0) {
                continue;
            }
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Serve(fd);
                ::close(fd);
            }
        }
    }

    bool Send(int fd, const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t sent = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            done += static_cast<size_t>(sent);
        }
        return true;
    }

    void Serve(int fd) {
        const Spool& spool = TheSpool();
        if (!Send(fd, "200 bench server ready\r\n")) {
            return;
        }
        std::string pending;
        char buffer[4096];
        while (!m_stop) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 100) <= 0) {
                continue;
            }
            ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;
            }
            pending.append(buffer, static_cast<size_t>(got));
            size_t end;
            while ((end = pending.find("\r\n")) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 2);
                std::string reply;
                if (line.starts_with("GROUP ")) {
                    reply = "211 " + std::to_string(kArticles) + " 1 " + std::to_string(kArticles) +
                            " " + line.substr(6) + "\r\n";
                } else if (line.starts_with("XOVER ")) {
                    reply = spool.overview;
                } else if (line.starts_with("ARTICLE ")) {
                    int n = std::atoi(line.c_str() + 8);
                    reply = n >= 1 && n <= kArticles ? spool.articles[n - 1]
                                                     : "423 no such article\r\n";
                } else {
                    reply = "500 what?\r\n";
                }
                if (!Send(fd, reply)) {
                    return;
                }
            }
        }
    }

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

BenchServer& Server() {
    static BenchServer server;
    return server;
}

// Settings, lists and pictures of the pass, in a folder under $TMPDIR.
class Workspace {
public:
    Workspace(int port, std::string group) : m_port(port), m_group(std::move(group)) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/ngbench-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~Workspace() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    // As before the first pass: no history, no mark, no pictures; this
    // folder current and its settings in use.
    void Reset() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
        std::filesystem::create_directories(m_path + "/pictures");
        std::filesystem::current_path(m_path);
        ng::Profile().SetPath(m_path + "/newsgleaner.ini");
        auto set = [](const char* key, const std::string& value) {
            ng::Profile().WriteProfileString("Newsgleaner", key, value);
        };
        set("NNTPHost", "127.0.0.1");
        set("NNTPPort", std::to_string(m_port));
        set("DownloadDirectory", m_path + "/pictures/");
        set("MinLines", "1");
        set("MaxLines", "1000000");
        std::FILE* groups = std::fopen("Groups.127.0.0.1", "w");
        std::fprintf(groups, "%s\n", m_group.c_str());
        std::fclose(groups);
    }

private:
    int m_port;
    std::string m_group;
    std::string m_path;
};

// The bundled sample news server (tools/) serving the bench group that its
// generator writes: 200 uuencoded articles of 500 KB, numbers 2 to 201.
class SampleServer {
public:
    static constexpr char kGroup[] = "alt.binaries.pictures.bench";
    static constexpr int kFirst = 2;

    SampleServer() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/ngsample-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
        const std::string tools = std::string(NG_BINARY_DIR) + "/tools/";
        std::string make = tools + "newsgleaner-make-samples " + m_path + "/spool --large-count " +
                           std::to_string(kArticles) + " --large-size " +
                           std::to_string(kAttachmentBytes) + " --quiet";
        if (std::system(make.c_str()) != 0) {
            throw std::runtime_error("newsgleaner-make-samples failed");
        }
        std::string server = tools + "newsgleaner-sample-server";
        std::string root = m_path + "/spool";
        std::string portFile = m_path + "/port";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(server.c_str(), server.c_str(), "--root", root.c_str(), "--port", "0",
                    "--port-file", portFile.c_str(), "--lifetime", "900", "--quiet", nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 200 && m_port == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (std::FILE* f = std::fopen(portFile.c_str(), "r")) {
                if (std::fscanf(f, "%d", &m_port) != 1) {
                    m_port = 0;
                }
                std::fclose(f);
            }
        }
        if (m_port == 0) {
            throw std::runtime_error("the sample news server did not start");
        }
    }
    ~SampleServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    int Port() const { return m_port; }

private:
    std::string m_path;
    pid_t m_pid = -1;
    int m_port = 0;
};

SampleServer& TheSampleServer() {
    static SampleServer server;
    return server;
}

class NullDisplay final : public ng::IDisplay {
public:
    void SetStatusText(const std::string& text) override { m_last = text; }
    void SetSubjectText(const std::string&) override {}
    void SetSavingToText(const std::string&) override {}
    void SetFromText(const std::string&) override {}
    void ShowThumbnail(const std::string&) override { ++m_files; }
    void SetBytesTransferred(int64_t) override {}
    void SetArticlesScanned(int) override {}
    void SetArticlesSaved(int) override {}
    void SetRate(ng::RateField, int64_t, int64_t) override {}
    void SetRateSince(ng::RateField, int64_t, int64_t, int64_t) override {}
    void SetHistorySkipped(int) override {}
    void SetCrosspostsSkipped(int) override {}
    void SetProgress(ng::ProgressBar, int, int, bool) override {}
    void SetStatusProgress(int, int) override {}
    void EnablePending(bool) override {}
    void ShowMessage(const std::string& text) override { m_last = text; }
    void PassEnded() override {}

    std::string m_last;
    int m_files = 0;
};

void MegabytesPerSecond(benchmark::State& state, int64_t bytesPerIteration) {
    state.SetBytesProcessed(state.iterations() * bytesPerIteration);
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * bytesPerIteration) / 1e6,
                           benchmark::Counter::kIsRate);
}

// The whole pass: connect, GROUP, XOVER, 200 ARTICLEs, decode, save, history.
void RunPasses(benchmark::State& state, Workspace& workspace) {
    int64_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        workspace.Reset();
        state.ResumeTiming();
        NullDisplay display;
        ng::PendingList pending;
        CProcessGroups worker(display, nullptr, pending);
        worker.InitInstance();
        if (display.m_last != "Operation complete" || display.m_files != kArticles) {
            state.SkipWithError(("the pass ended with: " + display.m_last).c_str());
            return;
        }
        bytes = worker.BytesTransferred();
    }
    MegabytesPerSecond(state, bytes);
}

void BM_Pass(benchmark::State& state) {
    static Workspace workspace(Server().Port(), kGroup);
    RunPasses(state, workspace);
}
BENCHMARK(BM_Pass)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PassFromSampleServer(benchmark::State& state) {
    static Workspace workspace(TheSampleServer().Port(), SampleServer::kGroup);
    RunPasses(state, workspace);
}
BENCHMARK(BM_PassFromSampleServer)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same article bytes through a plain socket: select the group, send
// each ARTICLE line and read until the reply's terminating line, nothing else.
void RawRead(benchmark::State& state, int port, const std::string& group, int first) {
    std::vector<char> buffer(256 * 1024);
    int64_t total = 0;
    for (auto _ : state) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            state.SkipWithError("cannot connect");
            return;
        }
        auto readUntil = [&](const char* end) {
            std::string tail;
            const size_t endLength = std::strlen(end);
            for (;;) {
                ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
                if (got <= 0) {
                    return false;
                }
                total += got;
                tail.append(buffer.data(), static_cast<size_t>(got));
                if (tail.size() >= endLength &&
                    tail.compare(tail.size() - endLength, endLength, end) == 0) {
                    return true;
                }
                if (tail.size() > 64) {
                    tail.erase(0, tail.size() - 64);
                }
            }
        };
        auto ask = [&](const std::string& command, const char* end) {
            ::send(fd, command.data(), command.size(), MSG_NOSIGNAL);
            return readUntil(end);
        };
        readUntil("\r\n");  // greeting
        ask("GROUP " + group + "\r\n", "\r\n");
        total = 0;
        for (int n = first; n < first + kArticles; ++n) {
            if (!ask("ARTICLE " + std::to_string(n) + "\r\n", "\r\n.\r\n")) {
                state.SkipWithError("the server went away");
                break;
            }
        }
        ::close(fd);
    }
    MegabytesPerSecond(state, total);
}

void BM_RawRead(benchmark::State& state) {
    RawRead(state, Server().Port(), kGroup, 1);
    if (TheSpool().articleBytes <= 0) {
        state.SkipWithError("no spool");
    }
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RawReadFromSampleServer(benchmark::State& state) {
    RawRead(state, TheSampleServer().Port(), SampleServer::kGroup, SampleServer::kFirst);
}
BENCHMARK(BM_RawReadFromSampleServer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
