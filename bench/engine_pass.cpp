// A whole download pass over loopback: 200 articles of about 500 KB of
// uuencoded random bytes each, fetched, decoded and saved by the engine,
// from two servers: a small server thread in this program, and the bundled
// sample news server (a separate process, as a real server would be). Beside
// each, the same bytes read raw from the same server over a plain socket:
// the most this machine can move.
//
// One pass takes about a second; run with --benchmark_min_time=3 for steady
// figures, and with TMPDIR=/dev/shm to leave the disk out of them.

#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/ProcessGroups.h"
#include "settings/SettingsStore.h"
#include "support/Encoders.h"
#include "support/Loopback.h"
#include "support/NullDisplay.h"
#include "support/SampleServerProcess.h"
#include "support/TempDir.h"

namespace {

constexpr int kArticles = 200;
constexpr size_t kAttachmentBytes = 500 * 1000;
const char kGroup[] = "alt.binaries.bench";

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
            std::string body = ngtest::UUEncode(bytes, name);
            int lines = 0;
            for (char c : body) {
                lines += c == '\n';
            }
            std::string id = std::to_string(n);
            id.insert(0, 1, '<');
            id += "@bench>";
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
        m_listen = ngtest::BindLoopback(m_port, 4);
        if (m_listen < 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
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

    void Serve(int fd) {
        const Spool& spool = TheSpool();
        if (!ngtest::SendAll(fd, "200 bench server ready\r\n")) {
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
                if (!ngtest::SendAll(fd, reply)) {
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
    Workspace(int port, std::string group)
        : m_dir("ngbench-"), m_path(m_dir.Path()), m_port(port), m_group(std::move(group)) {}
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
        set("SubjectIncl", "");    // the articles carry random bytes named .bin
        set("PicturesOnly", "0");  // the random bytes are saved, as any file was
        std::FILE* groups = std::fopen("Groups.127.0.0.1", "w");
        std::fprintf(groups, "%s\n", m_group.c_str());
        std::fclose(groups);
    }

private:
    ngtest::TempDir m_dir;
    const std::string m_path;
    int m_port;
    std::string m_group;
};

// The bundled sample news server (tools/) serving the bench group that its
// generator writes: 200 uuencoded articles of 500 KB, numbers 2 to 201.
class SampleServer {
public:
    static constexpr char kGroup[] = "alt.binaries.pictures.bench";
    static constexpr int kFirst = 2;

    SampleServer() : m_dir("ngsample-"), m_path(m_dir.Path()) {
        const std::string tools = std::string(NG_BINARY_DIR) + "/tools/";
        std::string make = tools + "newsgleaner-make-samples " + m_path + "/spool --large-count " +
                           std::to_string(kArticles) + " --large-size " +
                           std::to_string(kAttachmentBytes) + " --quiet";
        if (std::system(make.c_str()) != 0) {
            throw std::runtime_error("newsgleaner-make-samples failed");
        }
        m_server = std::make_unique<ngtest::SampleServerProcess>(
            tools + "newsgleaner-sample-server", m_path + "/spool", m_path + "/port", 900);
        if (m_server->Port() == 0) {
            throw std::runtime_error("the sample news server did not start");
        }
    }
    int Port() const { return m_server->Port(); }

private:
    ngtest::TempDir m_dir;
    const std::string m_path;
    std::unique_ptr<ngtest::SampleServerProcess> m_server;
};

SampleServer& TheSampleServer() {
    static SampleServer server;
    return server;
}

// Keeps the last status or message and counts the pictures shown.
class CountingDisplay final : public ngtest::NullDisplay {
public:
    void SetStatusText(const std::string& text) override { m_last = text; }
    void ShowThumbnail(const std::string&) override { ++m_files; }
    void ShowMessage(const std::string& text) override { m_last = text; }

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
        CountingDisplay display;
        ng::PendingList pending;
        CProcessGroups worker(ng::Profile(), display, nullptr, pending);
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
        int fd = ngtest::ConnectLoopback(port);
        if (fd < 0) {
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
