// The group list refresh over loopback: a LIST of N groups read, filtered and
// handed over in batches to a receiver that takes them at once. With the
// empty filter every group is handed over; with "pictures" none is.

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/GroupListRefresh.h"
#include "settings/SettingsStore.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

namespace {

// Serves the same LIST reply to every connection until it is destroyed.
class ListServer {
public:
    explicit ListServer(std::string reply) : m_reply(std::move(reply)) {
        m_listener = ngtest::BindLoopback(m_port, 4);
        m_thread = std::thread([this] { Run(); });
    }
    ~ListServer() {
        m_bStop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    int Port() const { return m_port; }

private:
    void Run() {
        while (!m_bStop) {
            int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            Serve(fd);
            ::close(fd);
        }
    }
    void Serve(int fd) {
        ngtest::SendAll(fd, "200 bench server ready\r\n");
        std::string received;
        char buffer[4096];
        while (received.find("LIST\r\n") == std::string::npos) {
            ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;
            }
            received.append(buffer, static_cast<size_t>(got));
        }
        ngtest::SendAll(fd, m_reply);
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    }
    std::string m_reply;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

class TakingSink : public ng::IGroupListSink {
public:
    ng::CGroupListRefresh* refresh = nullptr;
    size_t names = 0;
    void Deliver(std::vector<ng::RefreshUpdate> updates) override {
        bool any = false;
        for (const auto& update : updates) {
            if (update.kind == ng::RefreshUpdate::AddGroup) {
                ++names;
                any = true;
            }
        }
        if (any) {
            refresh->AcknowledgeGroups();
        }
    }
};

std::string ListReply(int groups) {
    std::string reply = "215 list of newsgroups follows\r\n";
    for (int i = 0; i < groups; ++i) {
        reply += "alt.binaries.misc.group" + std::to_string(i) + " 0000012345 0000000001 y\r\n";
    }
    return reply + ".\r\n";
}

void Refresh(benchmark::State& state, const std::string& filter) {
    const int groups = static_cast<int>(state.range(0));
    ListServer server(ListReply(groups));
    ngtest::TempDir folder("ng-bench-");
    std::string previous = ng::Profile().Path();
    ng::Profile().SetPath(folder.File("newsgleaner.ini"));
    ng::Profile().WriteProfileString("Newsgleaner", "NNTPHost", "127.0.0.1");
    ng::Profile().WriteProfileInt("Newsgleaner", "NNTPPort", server.Port());

    TakingSink sink;
    ng::CGroupListRefresh refresh(ng::Profile(), sink, nullptr);
    sink.refresh = &refresh;
    const std::vector<std::string> filters = ng::SplitGroupFilter(filter);
    for (auto _ : state) {
        refresh.GroupListThreadProc(filters);
        if (refresh.Scanned() != groups) {
            state.SkipWithError("the list was not read to its end");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * groups);
    state.counters["handed_over"] = static_cast<double>(sink.names / state.iterations());

    ng::Profile().SetPath(previous);
}

void BM_RefreshEveryGroupKept(benchmark::State& state) {
    Refresh(state, "");
}
void BM_RefreshNoGroupKept(benchmark::State& state) {
    Refresh(state, "pictures");
}

}  // namespace

BENCHMARK(BM_RefreshEveryGroupKept)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshNoGroupKept)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
