// newsgleaner-relay: forwards TCP connections to a target with an added
// delay and rate limits (the line's and each connection's), for benchmarks
// and tests on a loopback without traffic shaping. See the usage text in
// RelayOptions.cpp for the options.
//
// One thread serves every connection: poll waits for the sockets and for the
// next time a held chunk, a token or a passed-on close falls due, so there is
// nothing to share between threads and no busy waiting.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Listening.h"
#include "relay/Link.h"
#include "relay/RelayOptions.h"

namespace {

using ngrelay::Clock;
using ngrelay::Connection;
using ngrelay::RelayOptions;

// Further clients wait in the listen backlog until one of these ends.
constexpr std::size_t kMaxConnections = 256;

int g_wakePipe[2] = {-1, -1};

void OnSignal(int) {
    char c = 1;
    ssize_t ignored = ::write(g_wakePipe[1], &c, 1);
    (void)ignored;
}

void Log(const RelayOptions& options, const std::string& text) {
    if (!options.quiet) {
        std::fprintf(stderr, "newsgleaner-relay: %s\n", text.c_str());
    }
}

void Error(const std::string& text) {
    std::fprintf(stderr, "newsgleaner-relay: %s\n", text.c_str());
}

int OpenRecord(const std::string& path) {
    if (path.empty()) {
        return -1;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        Error("cannot open " + path + ": " + std::strerror(errno));
    }
    return fd;
}

int Listen(const RelayOptions& options, int* boundPort) {
    sockaddr_storage address{};
    socklen_t length = 0;
    ngrelay::ParseListen(options.listen, options.port, &address, &length);
    int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        Error(std::string("socket: ") + std::strerror(errno));
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 64) != 0) {
        Error("cannot listen on " + options.listen + " port " + std::to_string(options.port) +
              ": " + std::strerror(errno));
        ::close(fd);
        return -1;
    }
    *boundPort = ngtools::BoundPort(fd);
    return fd;
}

void NoDelay(int fd) {
    // Small replies must leave when they are due, not when Nagle allows.
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

class Relay {
public:
    Relay(const RelayOptions& options, int listenFd, int recordFd, int repliesFd)
        : m_options(options),
          m_listenFd(listenFd),
          m_recordFd(recordFd),
          m_repliesFd(repliesFd),
          m_delay(std::chrono::milliseconds(options.delayMs)),
          m_up(options.rate),
          m_down(options.rate) {}

    // Serves until the lifetime is over or a signal comes; the exit code.
    int Run() {
        const bool limited = m_options.lifetimeSeconds > 0;
        const Clock::time_point end =
            Clock::now() + std::chrono::seconds(m_options.lifetimeSeconds);
        std::vector<pollfd> fds;
        for (;;) {
            Clock::time_point now = Clock::now();
            if (limited && now >= end) {
                Log(m_options, "lifetime over");
                return 0;
            }
            PumpAll(now);

            fds.assign(2, pollfd{});
            fds[0] = {m_connections.size() < kMaxConnections ? m_listenFd : -1, POLLIN, 0};
            fds[1] = {g_wakePipe[0], POLLIN, 0};
            fds.resize(2 + 2 * m_connections.size());
            Clock::time_point next = limited ? end : now + std::chrono::hours(1);
            for (std::size_t i = 0; i < m_connections.size(); ++i) {
                m_connections[i]->Events(&fds[2 + 2 * i]);
                m_connections[i]->Deadline(now, next);
            }
            auto wait = std::chrono::ceil<std::chrono::nanoseconds>(std::max(next - now, {}));
            timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                             static_cast<long>(wait.count() % 1000000000)};
            if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR) {
                Error(std::string("poll: ") + std::strerror(errno));
                return 1;
            }
            now = Clock::now();
            if (fds[1].revents & POLLIN) {
                Log(m_options, "stopped by signal");
                return 0;
            }
            // Only the connections polled above have entries.
            for (std::size_t i = 0; i + 2 < fds.size(); i += 2) {
                m_connections[i / 2]->Handle(&fds[2 + i], now);
            }
            if (fds[0].revents & POLLIN) {
                Accept();
            }
        }
    }

private:
    // Starting with a different connection each round shares a limited
    // line fairly between connections.
    void PumpAll(Clock::time_point now) {
        const std::size_t count = m_connections.size();
        for (std::size_t i = 0; i < count; ++i) {
            m_connections[(m_turn + i) % count]->Pump(now);
        }
        ++m_turn;
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            const Connection& connection = **it;
            if (!connection.Finished()) {
                ++it;
                continue;
            }
            const std::string name = "connection " + std::to_string(connection.Id());
            if (connection.Failed()) {
                Error(name + ": cannot connect to " + m_options.target + ": " +
                      std::strerror(connection.ConnectError()));
            } else {
                Log(m_options, name + " closed: " + std::to_string(connection.Sent()) +
                                   " bytes sent, " + std::to_string(connection.Received()) +
                                   " received");
            }
            it = m_connections.erase(it);
        }
    }

    void Accept() {
        while (m_connections.size() < kMaxConnections) {
            int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client < 0) {
                return;  // none left, or the client gave up meanwhile
            }
            NoDelay(client);
            const int id = ++m_lastId;
            int server = ::socket(m_options.targetAddress.ss_family,
                                  SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            int result = -1;
            if (server >= 0) {
                NoDelay(server);
                result =
                    ::connect(server, reinterpret_cast<const sockaddr*>(&m_options.targetAddress),
                              m_options.targetLength);
            }
            if (result != 0 && errno != EINPROGRESS) {
                Error("connection " + std::to_string(id) + ": cannot connect to " +
                      m_options.target + ": " + std::strerror(errno));
                if (server >= 0) {
                    ::close(server);
                }
                ::close(client);
                continue;
            }
            Log(m_options, "connection " + std::to_string(id) + " opened");
            m_connections.push_back(std::make_unique<Connection>(
                id, client, server, result == 0, m_up, m_down, m_options.connectionRate, m_delay,
                m_recordFd, m_repliesFd));
        }
    }

    const RelayOptions& m_options;
    int m_listenFd;
    int m_recordFd;
    int m_repliesFd;
    Clock::duration m_delay;
    ngrelay::TokenBucket m_up;    // clients to target
    ngrelay::TokenBucket m_down;  // target to clients
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::size_t m_turn = 0;
    int m_lastId = 0;
};

}  // namespace

int main(int argc, char** argv) {
    RelayOptions options;
    if (int code = ngrelay::ParseOptions(argc, argv, options); code >= 0) {
        return code;
    }
    const int recordFd = OpenRecord(options.record);
    const int repliesFd = OpenRecord(options.recordReplies);
    if ((!options.record.empty() && recordFd < 0) ||
        (!options.recordReplies.empty() && repliesFd < 0)) {
        return 1;
    }

    if (::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        Error(std::string("pipe: ") + std::strerror(errno));
        return 1;
    }
    ngtools::CatchStopSignals(OnSignal);

    int port = 0;
    const int listenFd = Listen(options, &port);
    if (listenFd < 0) {
        return 1;
    }
    if (!options.portFile.empty() && !ngtools::WritePortFile(options.portFile, port)) {
        Error("cannot write " + options.portFile);
        return 1;
    }
    Log(options, "relaying " + options.listen + " port " + std::to_string(port) + " to " +
                     options.target + ", " + std::to_string(options.delayMs) + " ms each way, " +
                     (options.rate > 0 ? std::to_string(options.rate) + " bytes/s each way"
                                       : std::string("no rate limit")) +
                     (options.connectionRate > 0 ? ", " + std::to_string(options.connectionRate) +
                                                       " bytes/s each way on each connection"
                                                 : std::string()));

    int code = 0;
    {
        Relay relay(options, listenFd, recordFd, repliesFd);
        code = relay.Run();
    }  // closes every connection
    if (!options.portFile.empty()) {
        ::unlink(options.portFile.c_str());
    }
    return code;
}
