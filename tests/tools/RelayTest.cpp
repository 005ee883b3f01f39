// The relay (tools/newsgleaner-relay) run as a program between a test client
// and a loopback peer: it must pass every byte and every close on, record
// what it is asked to, slow the line down as much as asked, and stop by
// itself. Its rate limits are also checked on their own, on made-up time.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "relay/Link.h"
#include "support/ChildProcess.h"
#include "support/Loopback.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kRelay = std::string(NG_BINARY_DIR) + "/tools/newsgleaner-relay";

// The relay on an ephemeral loopback port, stopped with the object.
class Relay {
public:
    Relay(const std::string& target, std::vector<std::string> extra, int lifetimeSeconds = 60) {
        std::vector<std::string> args = {kRelay,     "--target",   target,
                                         "--port",   "0",          "--port-file",
                                         m_portFile, "--lifetime", std::to_string(lifetimeSeconds),
                                         "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        m_process = std::make_unique<ngtest::ChildProcess>(std::move(args),
                                                           ngtest::ChildOptions{{}, "", ""});
        if (m_process->Pid() > 0) {
            m_port = ngtest::WaitForPortFile(m_portFile, 200, milliseconds(25));
        }
    }
    int Port() const { return m_port; }
    const std::string& PortFile() const { return m_portFile; }
    ngtest::ChildProcess& Process() { return *m_process; }

private:
    ngtest::TempDir m_dir;
    std::string m_portFile = m_dir.File("port");
    std::unique_ptr<ngtest::ChildProcess> m_process;
    int m_port = 0;
};

// Echoes each connection's bytes back and then its half-close; any number of
// connections at once. Stops with the object, or after a minute.
class EchoPeer {
public:
    EchoPeer() : m_listenFd(ngtest::BindLoopback(m_port, 16)), m_thread([this] { Run(); }) {}
    ~EchoPeer() {
        m_bStop = true;
        m_thread.join();
        ::close(m_listenFd);
    }
    std::string Target() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    bool Wait(int fd) const {
        pollfd entry{fd, POLLIN, 0};
        return !m_bStop && Clock::now()<m_end&& ::poll(&entry, 1, 50)> 0;
    }
    void Run() {
        std::vector<std::thread> sessions;
        while (m_listenFd >= 0 && !m_bStop && Clock::now() < m_end) {
            if (Wait(m_listenFd)) {
                int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    sessions.emplace_back([this, fd] { Echo(fd); });
                }
            }
        }
        for (std::thread& session : sessions) {
            session.join();
        }
    }
    void Echo(int fd) {
        timeval limit{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        char buffer[65536];
        while (!m_bStop && Clock::now() < m_end) {
            if (!Wait(fd)) {
                continue;
            }
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0 || !ngtest::SendAll(fd, std::string_view(buffer, n))) {
                break;
            }
        }
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }

    int m_port = 0;
    int m_listenFd;
    std::atomic<bool> m_bStop{false};
    const Clock::time_point m_end = Clock::now() + std::chrono::seconds(60);
    std::thread m_thread;
};

// Pseudo-random bytes of every value, a different run for each seed.
std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// Reads until the peer closes (or 10 s of silence).
std::string ReadToEnd(int fd) {
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string got;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// Sends `data` to `port` in uneven pieces from a second thread, half-closes,
// and reads the reply to its end; `took` is from the first byte out to the
// end of the reply.
std::string Exchange(int port, const std::string& data, milliseconds* took = nullptr) {
    int fd = ngtest::ConnectLoopback(port);
    if (fd < 0) {
        return "no connection";
    }
    const Clock::time_point start = Clock::now();
    std::thread sender([fd, &data] {
        for (std::size_t at = 0, piece = 1; at < data.size();
             at += piece, piece = piece * 7 % 9001) {
            piece = std::min(piece, data.size() - at);
            if (!ngtest::SendAll(fd, std::string_view(data).substr(at, piece))) {
                break;
            }
        }
        ::shutdown(fd, SHUT_WR);
    });
    std::string got = ReadToEnd(fd);
    if (took) {
        *took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    }
    sender.join();
    ::close(fd);
    return got;
}

TEST(RelayTest, PassesEveryByteBothWaysOnSeveralConnectionsAtOnce) {
    EchoPeer peer;
    // A small delay and a limit, so bytes queue up on the way.
    Relay relay(peer.Target(), {"--delay-ms", "3", "--rate", "20M"});
    ASSERT_NE(0, relay.Port());
    std::vector<std::string> replies(3);
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        clients.emplace_back([&, i] {
            replies[i] = Exchange(relay.Port(), Pattern(1000000, static_cast<unsigned>(i)));
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    for (std::size_t i = 0; i < replies.size(); ++i) {
        // The whole echo arrives before the close that follows the client's.
        EXPECT_TRUE(replies[i] == Pattern(1000000, static_cast<unsigned>(i)))
            << "connection " << i << " got " << replies[i].size() << " bytes";
    }
    EXPECT_TRUE(relay.Process().Running());
}

// The server closes after its last reply; the client sees every reply byte
// first, and the recordings hold exactly what went each way.
TEST(RelayTest, RecordsBothWaysAndPassesTheServersClose) {
    for (const std::string address : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(address);
        ngtest::ScriptedServer server(address);
        if (!server.Listening()) {
            continue;  // no IPv6 here
        }
        server.SetGreeting("200 ready\r\n");
        server.On("GROUP alt.test", "211 2 7 8 alt.test\r\n");
        server.On("QUIT", ngtest::Reply("205 bye\r\n").ThenClose());
        const std::string target = address.find(':') == std::string::npos
                                       ? address + ":" + std::to_string(server.Port())
                                       : "[" + address + "]:" + std::to_string(server.Port());
        ngtest::TempDir dir;
        Relay relay(target, {"--record", dir.File("sent"), "--record-replies", dir.File("got")});
        ASSERT_NE(0, relay.Port());

        int fd = ngtest::ConnectLoopback(relay.Port());
        ASSERT_LE(0, fd);
        const std::string commands = "GROUP alt.test\r\nQUIT\r\n";
        ASSERT_TRUE(ngtest::SendAll(fd, commands));
        const std::string expected = "200 ready\r\n211 2 7 8 alt.test\r\n205 bye\r\n";
        EXPECT_EQ(expected, ReadToEnd(fd));
        ::close(fd);

        EXPECT_TRUE(server.WaitForClosed(1));
        EXPECT_EQ(commands, server.Received());
        EXPECT_EQ(commands, ngtest::ReadFile(dir.File("sent")));
        EXPECT_EQ(expected, ngtest::ReadFile(dir.File("got")));
    }
}

// The one place where timing is what is tested; the upper bounds leave room
// for a loaded machine.
TEST(RelayTest, AddsTheAskedDelayAndKeepsToTheAskedRate) {
    struct Case {
        std::vector<std::string> options;
        std::size_t bytes;  // echoed, so they cross each way once
        milliseconds atLeast;
        milliseconds atMost;
    };
    const Case cases[] = {
        {{"--delay-ms", "40"}, 20, milliseconds(80), milliseconds(200)},
        {{"--rate", "4M"}, 2000000, milliseconds(400), milliseconds(1500)},
        {{"--rate", "400k", "--delay-ms", "25"}, 200000, milliseconds(450), milliseconds(1500)},
    };
    EchoPeer peer;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        Relay relay(peer.Target(), c.options);
        ASSERT_NE(0, relay.Port());
        const std::string data = Pattern(c.bytes, 7);
        milliseconds took{};
        EXPECT_TRUE(Exchange(relay.Port(), data, &took) == data);
        EXPECT_GE(took, c.atLeast);
        EXPECT_LE(took, c.atMost);
    }
}

// Two connections through a cap of their own each get the cap, whatever the
// other does, and so move twice the cap together; through a shared line
// they split it; with both, the tighter one holds. A second of made-up
// time in steps of a millisecond, each connection's sender never short of
// bytes and its receiver drained at every step.
TEST(RelayTest, EachConnectionHasItsOwnCapWithinTheSharedLine) {
    struct Case {
        long long line;
        long long own;
        long long each;  // bytes each connection should move in the second
    };
    const Case cases[] = {
        {0, 1000000, 1000000},
        {1000000, 0, 500000},
        {1000000, 4000000, 500000},
        {4000000, 1000000, 1000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + ", own " + std::to_string(c.own));
        const ngrelay::Clock::time_point start = ngrelay::Clock::now();
        ngrelay::TokenBucket line(c.line, start);
        struct End {
            int fds[2] = {-1, -1};  // the test's end, the relay's end
        };
        End in[2], out[2];
        std::vector<std::unique_ptr<ngrelay::Direction>> directions;
        for (int i = 0; i < 2; ++i) {
            for (End* end : {&in[i], &out[i]}) {
                ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0,
                                          end->fds));
            }
            directions.push_back(std::make_unique<ngrelay::Direction>(
                in[i].fds[1], out[i].fds[1], line, c.own, ngrelay::Clock::duration{}, -1));
        }
        const std::string bytes(65536, 'x');
        char sink[65536];
        // The buckets started full at `start` or a little after it.
        const ngrelay::Clock::time_point first = ngrelay::Clock::now();
        for (int ms = 0; ms <= 1000; ++ms) {
            const ngrelay::Clock::time_point now = first + milliseconds(ms);
            for (int turn = 0; turn < 2; ++turn) {
                const int i = (ms + turn) % 2;  // taking turns first, as the relay does
                while (::send(in[i].fds[0], bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0) {
                }
                directions[i]->Read(now);
                directions[i]->Pump(now);
                while (::recv(out[i].fds[0], sink, sizeof sink, 0) > 0) {
                }
            }
        }
        // A rate plus its burst of about 10 ms, give or take a quantum.
        for (int i = 0; i < 2; ++i) {
            const auto moved = static_cast<long long>(directions[i]->Forwarded());
            EXPECT_GE(moved, c.each * 99 / 100) << "connection " << i;
            EXPECT_LE(moved, c.each * 102 / 100) << "connection " << i;
        }
        directions.clear();
        for (End* end : {&in[0], &in[1], &out[0], &out[1]}) {
            ::close(end->fds[0]);
            ::close(end->fds[1]);
        }
    }
}

// The program itself: two connections echoing 1 MB each through a cap of
// 2 MB/s per connection take about half a second, where a line shared at
// that rate would take a second. The bounds leave room for a loaded machine.
TEST(RelayTest, TwoConnectionsThroughAPerConnectionCapEachGetTheCap) {
    EchoPeer peer;
    Relay relay(peer.Target(), {"--connection-rate", "2M"});
    ASSERT_NE(0, relay.Port());
    std::vector<std::string> replies(2);
    std::vector<milliseconds> took(2);
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < replies.size(); ++i) {
        clients.emplace_back([&, i] {
            replies[i] =
                Exchange(relay.Port(), Pattern(1000000, static_cast<unsigned>(i)), &took[i]);
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    for (std::size_t i = 0; i < replies.size(); ++i) {
        EXPECT_TRUE(replies[i] == Pattern(1000000, static_cast<unsigned>(i)))
            << "connection " << i << " got " << replies[i].size() << " bytes";
        EXPECT_GE(took[i], milliseconds(400)) << "connection " << i;
        EXPECT_LE(took[i], milliseconds(900)) << "connection " << i;
    }
}

long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            user = std::stol(field);
        } else if (i == 15) {
            system = std::stol(field);
        }
    }
    return user + system;
}

TEST(RelayTest, EndsAfterItsLifetimeOrOnSigtermAndRefusesBadUsage) {
    EchoPeer peer;
    {
        // Held bytes, then an idle connection, must not keep it busy. Its
        // lifetime runs from its start, before the port shows.
        const Clock::time_point start = Clock::now();
        Relay relay(peer.Target(), {"--delay-ms", "300"}, 2);
        ASSERT_NE(0, relay.Port());
        int fd = ngtest::ConnectLoopback(relay.Port());
        ASSERT_TRUE(ngtest::SendAll(fd, "ping"));
        std::this_thread::sleep_for(milliseconds(1500));
        EXPECT_LT(CpuTicks(relay.Process().Pid()), ::sysconf(_SC_CLK_TCK) * 3 / 10);
        EXPECT_EQ(0, relay.Process().Wait(std::chrono::seconds(10)));
        EXPECT_GE(Clock::now() - start, milliseconds(1900));
        EXPECT_FALSE(ngtest::FileExists(relay.PortFile()));
        EXPECT_EQ("ping", ReadToEnd(fd));  // then closed with the relay
        ::close(fd);
    }
    {
        Relay relay(peer.Target(), {});
        ASSERT_NE(0, relay.Port());
        relay.Process().Signal(SIGTERM);
        EXPECT_EQ(0, relay.Process().Wait(std::chrono::seconds(5)));
    }
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--target", "127.0.0.1"},
        {"--target", "[::1]:70000"},
        {"--target", "news.example.com:119"},
        {"--target", peer.Target(), "--rate", "4X"},
        {"--target", peer.Target(), "--connection-rate", "-4M"},
        {"--target", peer.Target(), "--delay-ms", "-1"},
        {"--target", peer.Target(), "--listen", "localhost"},
    };
    for (const auto& args : bad) {
        std::vector<std::string> command = {kRelay};
        command.insert(command.end(), args.begin(), args.end());
        EXPECT_EQ(2, ngtest::RunProgram(command, ngtest::ChildOptions{}, std::chrono::seconds(10)))
            << testing::PrintToString(args);
    }
}

}  // namespace
