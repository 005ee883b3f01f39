#include "net/Socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

#include "platform/Sync.h"
#include "support/Loopback.h"
#include "support/ScriptedServer.h"

using namespace std::chrono_literals;
using ngtest::Reply;
using ngtest::ScriptedServer;

namespace {

using Clock = std::chrono::steady_clock;

bool Open(CNewsSocket& socket, const ScriptedServer& server) {
    return socket.OpenConnection(server.Address(), server.Port());
}

// A loopback port whose connects hang: a listener with a full accept queue
// drops further connection requests.
class HangingPort {
public:
    HangingPort() {
        m_listener = ngtest::BindLoopback(m_port, 0);
        for (int i = 0; i < 3; ++i) {
            int fd = ngtest::ConnectLoopback(m_port, SOCK_NONBLOCK);
            if (fd >= 0) {
                m_fillers.push_back(fd);
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    ~HangingPort() {
        for (int fd : m_fillers) {
            ::close(fd);
        }
        ::close(m_listener);
    }
    int Port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

template <typename F>
double SecondsFor(F&& body) {
    auto start = Clock::now();
    body();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

TEST(NewsSocket, SplitsReceivedBytesIntoLines) {
    ScriptedServer server;
    server.SetGreeting(Reply("200 hello\r\n").Trickled());
    // One line over three receives: "20", "0 split\r", "\n".
    server.On("SPLIT", Reply::Pieces({"20", "0 split\r", "\n"}));
    // Several lines in one write, a bare "\n" line end and an empty line.
    server.On("MANY", "211 one\r\n222 two\r\nbare\n\n.\r\n");
    // NUL bytes are kept and do not cost the rest of the chunk.
    server.On("NUL", std::string("a\0b\r\n\0\r\n.\r\n", 11));
    server.On("TRICKLE", Reply("224 slowly\r\nmore\r\n.\r\n").Trickled());

    CNewsSocket socket;
    socket.SetReadTimeout(5s);  // a lost line fails fast instead of hanging
    EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);
    ASSERT_TRUE(Open(socket, server));
    EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);

    socket.SendLine("SPLIT\r\n");
    EXPECT_EQ(socket.ReadLine(), "200 split\r\n");  // the greeting was dropped

    socket.SendLine("MANY\r\n");
    EXPECT_EQ(socket.ReadLine(), "211 one\r\n");
    EXPECT_EQ(socket.ReadLine(), "222 two\r\n");
    EXPECT_EQ(socket.ReadLine(), "bare\n");
    EXPECT_EQ(socket.ReadLine(), "\n");
    EXPECT_EQ(socket.ReadLine(), ".\r\n");

    socket.SendLine("NUL\r\n");
    EXPECT_EQ(socket.ReadLine(), std::string("a\0b\r\n", 5));
    EXPECT_EQ(socket.ReadLine(), std::string("\0\r\n", 3));
    EXPECT_EQ(socket.ReadLine(), ".\r\n");

    socket.SendLine("TRICKLE\r\n");
    EXPECT_EQ(socket.ReadLine(), "224 slowly\r\n");
    EXPECT_EQ(socket.ReadLine(), "more\r\n");
    EXPECT_EQ(socket.ReadLine(), ".\r\n");
    EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);
    EXPECT_EQ(server.Received(), "SPLIT\r\nMANY\r\nNUL\r\nTRICKLE\r\n");
}

// Runs of lines already received never take a line that starts with "."
// (stuffed or the end of a block) nor anything after it: the next reply
// stays where ReadLine finds it, whatever the pieces the bytes came in.
TEST(NewsSocket, TakesReceivedLinesUpToTheFirstDotLine) {
    const std::string block = "one\r\ntwo\n..stuffed\r\nthree\r\n\r\n.\r\n";
    ScriptedServer server;
    server.On("WHOLE", "220 whole\r\n" + block + "223 next\r\n");
    server.On("PIECES", Reply::Pieces({"220 pieces\r\none\r", "\ntwo\n..st", "uffed\r\nthree\r\n",
                                       "\r\n.\r", "\n223 next\r\n"}));
    CNewsSocket socket;
    socket.SetReadTimeout(5s);
    ASSERT_TRUE(Open(socket, server));
    for (const char* command : {"WHOLE", "PIECES"}) {
        SCOPED_TRACE(command);
        socket.SendLine(std::string(command) + "\r\n");
        EXPECT_TRUE(socket.ReadLine().starts_with("220 "));
        std::string read;
        std::vector<uint32_t> ends;
        for (int i = 0; i < 20 && !read.ends_with("\n.\r\n"); ++i) {
            const std::string_view run = socket.TakeReceivedLines(ends);
            ASSERT_EQ(run.empty(), ends.empty());
            for (size_t k = 0; k < ends.size(); ++k) {
                const size_t start = k == 0 ? 0 : ends[k - 1];
                EXPECT_NE(run[start], '.');
                EXPECT_EQ(run[ends[k] - 1], '\n');
            }
            read += run.empty() ? socket.ReadLine() : std::string(run);
        }
        EXPECT_EQ(read, block);
        EXPECT_EQ(socket.ReadLine(), "223 next\r\n");
    }
}

TEST(NewsSocket, HandsOutCompleteLinesAfterCloseButNeverTheRest) {
    ScriptedServer server;
    server.On("LIST", Reply("215 list\r\nalt.one 2 1 y\r\nalt.tw").ThenClose());
    CNewsSocket socket;
    ASSERT_TRUE(Open(socket, server));
    socket.SendLine("LIST\r\n");
    EXPECT_EQ(socket.ReadLine(), "215 list\r\n");
    EXPECT_EQ(socket.ReadLine(), "alt.one 2 1 y\r\n");
    EXPECT_EQ(socket.ReadLine(), "");
    EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);
    EXPECT_FALSE(socket.InterruptedByStop());
    EXPECT_EQ(socket.ReadLine(), "");
    // Sending after the close neither crashes nor kills the process (no SIGPIPE).
    socket.SendLine("QUIT\r\n");
    EXPECT_EQ(socket.ReadLine(), "");
}

TEST(NewsSocket, LinesAlreadyReceivedSurviveACloseInTheMiddleOfAReply) {
    ScriptedServer server;
    const std::string reply = "220 article\r\nline one\r\nline two\r\n.\r\n";
    server.On("ARTICLE 1", Reply(reply).CloseAfter(reply.find("two")));
    CNewsSocket socket;
    ASSERT_TRUE(Open(socket, server));
    socket.SendLine("ARTICLE 1\r\n");
    EXPECT_EQ(socket.ReadLine(), "220 article\r\n");
    EXPECT_EQ(socket.ReadLine(), "line one\r\n");
    EXPECT_EQ(socket.ReadLine(), "");
    EXPECT_NE(socket.GetState(), CNewsSocket::Connected);
}

TEST(NewsSocket, GreetingDecidesWhetherTheConnectionOpened) {
    {
        ScriptedServer server;
        server.SetGreeting(Reply().ThenClose());  // closes without a greeting
        CNewsSocket socket;
        EXPECT_FALSE(Open(socket, server));
        EXPECT_NE(socket.GetState(), CNewsSocket::Connected);
    }
    {
        ScriptedServer server;
        server.SetGreeting(Reply("502 go away\r\n").ThenClose());
        CNewsSocket socket;
        EXPECT_TRUE(Open(socket, server));  // a refusal is the caller's to see
        EXPECT_EQ(socket.ReadLine(), "");
        EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);
    }
    {
        // A connection object made without a socket still connects.
        ScriptedServer server;
        CNewsSocket socket(false);
        EXPECT_EQ(socket.GetState(), CNewsSocket::NoSocket);
        EXPECT_TRUE(Open(socket, server));
        EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);
    }
}

TEST(NewsSocket, SendsQueuedTextInOrder) {
    ScriptedServer server;
    server.On("SECOND", "200 second\r\n");
    CNewsSocket socket;
    ASSERT_TRUE(Open(socket, server));

    socket.SendLine("");
    EXPECT_EQ(socket.PendingSendBytes(), 0u);

    // Far more than the network takes at once: most of it waits in the queue.
    const std::string big = std::string(32 * 1024 * 1024, 'x') + "\r\n";
    socket.SendLine(big);
    EXPECT_GT(socket.PendingSendBytes(), 0u);
    socket.SendLine("SECOND\r\n");
    EXPECT_EQ(socket.ReadLine(), "500 what?\r\n");  // the big line's answer
    EXPECT_EQ(socket.ReadLine(), "200 second\r\n");
    EXPECT_EQ(socket.PendingSendBytes(), 0u);
    EXPECT_TRUE(server.Received() == big + "SECOND\r\n");
}

TEST(NewsSocket, DestructorClosesTheConnection) {
    ScriptedServer server;
    {
        CNewsSocket socket;
        ASSERT_TRUE(Open(socket, server));
    }
    EXPECT_TRUE(server.WaitForClosed(1));
}

TEST(NewsSocket, FailedLookupsAndConnects) {
    CNewsSocket socket;
    socket.SetReadTimeout(5s);
    EXPECT_FALSE(socket.OpenConnection("no-such-host.invalid", 119));
    EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);
    EXPECT_FALSE(socket.OpenConnection("", 119));
    EXPECT_FALSE(socket.OpenConnection("127.0.0.1", 0));
    EXPECT_FALSE(socket.OpenConnection("127.0.0.1", 70000));
    EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);

    ngtest::RefusingPort refusing;
    EXPECT_FALSE(socket.OpenConnection("127.0.0.1", refusing.Port()));
    EXPECT_EQ(socket.GetState(), CNewsSocket::Failed);
    EXPECT_EQ(socket.LastError(), ECONNREFUSED);
    EXPECT_EQ(socket.ReadLine(), "");
}

TEST(NewsSocket, ConnectsByNameAndOverIPv6) {
    ScriptedServer server;
    server.On("NAME", "200 by name\r\n");
    {
        // "localhost" may name ::1 first, where nobody listens: the next
        // address is tried.
        CNewsSocket socket;
        ASSERT_TRUE(socket.OpenConnection("localhost", server.Port()));
        socket.SendLine("NAME\r\n");
        EXPECT_EQ(socket.ReadLine(), "200 by name\r\n");
    }

    ScriptedServer server6("::1");
    if (!server6.Listening()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    server6.On("SIX", "200 six\r\n");
    for (const char* host : {"::1", "[::1]"}) {
        CNewsSocket socket;
        ASSERT_TRUE(socket.OpenConnection(host, server6.Port())) << host;
        socket.SendLine("SIX\r\n");
        EXPECT_EQ(socket.ReadLine(), "200 six\r\n");
    }
}

TEST(NewsSocket, OverlongLineFailsTheConnection) {
    ScriptedServer server;
    const std::string atCap = std::string(CNewsSocket::kMaxLineLength - 1, 'a') + "\n";
    server.On("CAP", Reply(atCap));
    server.On("OVER", Reply("200 fine\r\n" + std::string(CNewsSocket::kMaxLineLength + 1, 'b')));
    CNewsSocket socket;
    ASSERT_TRUE(Open(socket, server));
    socket.SendLine("CAP\r\n");
    EXPECT_TRUE(socket.ReadLine() == atCap);
    socket.SendLine("OVER\r\n");
    EXPECT_EQ(socket.ReadLine(), "200 fine\r\n");
    EXPECT_EQ(socket.ReadLine(), "");
    EXPECT_EQ(socket.GetState(), CNewsSocket::Failed);
    EXPECT_EQ(socket.LastError(), EMSGSIZE);
}

TEST(NewsSocket, SilenceCountsAsALostConnection) {
    ScriptedServer server;
    server.On("SILENT", "");
    // Slow but steady: no gap is as long as the time limit, and more than
    // the minimum rate (32 bytes a second) comes.
    server.On("SLOW",
              Reply::Pieces({"200 slow ", "but steady, ", "and enough ", "of it\r\n"}, 250ms));
    CNewsSocket socket;
    socket.SetReadTimeout(600ms);
    ASSERT_TRUE(Open(socket, server));

    socket.SendLine("SLOW\r\n");
    EXPECT_EQ(socket.ReadLine(), "200 slow but steady, and enough of it\r\n");
    // Short answers, each well within the limit: the waits of several
    // commands do not add up to a trickle.
    server.On("LATE", Reply("430 no\r\n").After(400ms));
    for (int i = 0; i < 4; ++i) {
        socket.SendLine("LATE\r\n");
        EXPECT_EQ(socket.ReadLine(), "430 no\r\n") << i;
    }

    socket.SendLine("SILENT\r\n");
    double seconds = SecondsFor([&] { EXPECT_EQ(socket.ReadLine(), ""); });
    EXPECT_EQ(socket.GetState(), CNewsSocket::Failed);
    EXPECT_EQ(socket.LastError(), ETIMEDOUT);
    EXPECT_FALSE(socket.InterruptedByStop());
    EXPECT_GE(seconds, 0.5);
    EXPECT_LT(seconds, 3.0);

    // A server that never greets.
    ScriptedServer mute;
    mute.SetGreeting("");
    CNewsSocket other;
    other.SetReadTimeout(300ms);
    EXPECT_FALSE(Open(other, mute));
    EXPECT_EQ(other.GetState(), CNewsSocket::Failed);
}

TEST(NewsSocket, ConnectHasATimeLimitAndHonoursStop) {
    HangingPort hanging;
    {
        CNewsSocket socket;
        socket.SetReadTimeout(2s);
        // Check that this machine really leaves such a connect hanging.
        std::atomic<bool> stop{false};
        socket.SetInterrupt(&stop, nullptr);
        std::thread stopper([&] {
            std::this_thread::sleep_for(300ms);
            stop = true;
        });
        bool opened = true;
        double seconds =
            SecondsFor([&] { opened = socket.OpenConnection("127.0.0.1", hanging.Port()); });
        stopper.join();
        if (opened || !socket.InterruptedByStop()) {
            GTEST_SKIP() << "connects to a full listener do not hang here";
        }
        EXPECT_LT(seconds, 1.5);
        EXPECT_EQ(socket.GetState(), CNewsSocket::Idle);
    }
    CNewsSocket socket;
    socket.SetReadTimeout(400ms);
    double seconds =
        SecondsFor([&] { EXPECT_FALSE(socket.OpenConnection("127.0.0.1", hanging.Port())); });
    EXPECT_EQ(socket.GetState(), CNewsSocket::Failed);
    EXPECT_EQ(socket.LastError(), ETIMEDOUT);
    EXPECT_LT(seconds, 2.0);
}

TEST(NewsSocket, StopCutsWaitsShortAndLeavesTheConnection) {
    ScriptedServer server;
    server.On("SILENT", "");
    server.On("NEXT", "200 still here\r\n");
    server.SetLifetime(30s);
    std::atomic<bool> stop{false};
    CNewsSocket socket;
    socket.SetInterrupt(&stop, nullptr);
    ASSERT_TRUE(Open(socket, server));

    socket.SendLine("SILENT\r\n");
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        stop = true;
    });
    double seconds = SecondsFor([&] { EXPECT_EQ(socket.ReadLine(), ""); });
    stopper.join();
    EXPECT_TRUE(socket.InterruptedByStop());
    EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);
    EXPECT_LT(seconds, 1.2);

    stop = false;
    socket.SendLine("NEXT\r\n");
    EXPECT_EQ(socket.ReadLine(), "200 still here\r\n");
    EXPECT_FALSE(socket.InterruptedByStop());

    // A stop while the greeting is awaited.
    ScriptedServer mute;
    mute.SetGreeting("");
    CNewsSocket other;
    other.SetInterrupt(&stop, nullptr);
    stop = true;
    seconds = SecondsFor([&] { EXPECT_FALSE(Open(other, mute)); });
    EXPECT_TRUE(other.InterruptedByStop());
    EXPECT_LT(seconds, 1.2);
}

TEST(NewsSocket, PauseParksReadsAndSends) {
    ScriptedServer server;
    server.On("TWO", "200 one\r\n200 two\r\n");
    server.On("SILENT", "");
    std::atomic<bool> stop{false};
    ng::PauseGate pause;
    CNewsSocket socket;
    socket.SetInterrupt(&stop, &pause);
    ASSERT_TRUE(Open(socket, server));

    // A line already received is not handed out while paused.
    socket.SendLine("TWO\r\n");
    EXPECT_EQ(socket.ReadLine(), "200 one\r\n");
    pause.Pause();
    auto read = std::async(std::launch::async, [&] { return socket.ReadLine(); });
    EXPECT_EQ(read.wait_for(300ms), std::future_status::timeout);
    pause.Resume();
    ASSERT_EQ(read.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(read.get(), "200 two\r\n");

    // Nothing is sent while paused.
    pause.Pause();
    auto send = std::async(std::launch::async, [&] { socket.SendLine("SILENT\r\n"); });
    EXPECT_FALSE(server.WaitForText("SILENT", 300ms));
    pause.Resume();
    EXPECT_TRUE(server.WaitForText("SILENT\r\n"));
    send.get();

    // A stop while paused waits for the resume.
    pause.Pause();
    read = std::async(std::launch::async, [&] { return socket.ReadLine(); });
    std::this_thread::sleep_for(100ms);
    stop = true;
    EXPECT_EQ(read.wait_for(1200ms), std::future_status::timeout);
    pause.Resume();
    ASSERT_EQ(read.wait_for(1500ms), std::future_status::ready);
    EXPECT_EQ(read.get(), "");
    EXPECT_TRUE(socket.InterruptedByStop());
    EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);
}

TEST(NewsSocket, PauseDoesNotCountAsSilence) {
    ScriptedServer server;
    server.On("LATE", Reply("200 late\r\n").After(1700ms));
    ng::PauseGate pause;
    CNewsSocket socket;
    socket.SetInterrupt(nullptr, &pause);
    socket.SetReadTimeout(600ms);
    ASSERT_TRUE(Open(socket, server));
    socket.SendLine("LATE\r\n");
    auto read = std::async(std::launch::async, [&] { return socket.ReadLine(); });
    std::this_thread::sleep_for(100ms);
    pause.Pause();  // the read is parked inside its wait
    std::this_thread::sleep_for(1400ms);
    pause.Resume();  // the reply is 200 ms away: within the limit counted from now
    EXPECT_EQ(read.get(), "200 late\r\n");
    EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);
}

TEST(NewsSocket, CarriesLargeTransfers) {
    // 50 MB of overview-like lines, then a 3 MB line arriving in 1 KiB writes.
    std::string bulk;
    const std::string filler(80, 'z');
    size_t lines = 0;
    while (bulk.size() < 50u * 1024 * 1024) {
        bulk += std::to_string(lines++) + "\t" + filler + "\r\n";
    }
    bulk += ".\r\n";
    const std::string longLine = std::string(3 * 1024 * 1024, 'q') + "\r\n";
    std::vector<std::string> pieces;
    for (size_t at = 0; at < longLine.size(); at += 1024) {
        pieces.push_back(longLine.substr(at, 1024));
    }

    ScriptedServer server;
    server.On("BULK", Reply(bulk));
    server.On("LONG", Reply::Pieces(pieces, 0ms));
    CNewsSocket socket;
    ASSERT_TRUE(Open(socket, server));

    socket.SendLine("BULK\r\n");
    size_t got = 0;
    size_t bytes = 0;
    bool inOrder = true;
    double seconds = SecondsFor([&] {
        for (std::string line = socket.ReadLine(); line != ".\r\n" && !line.empty();
             line = socket.ReadLine()) {
            inOrder = inOrder && line.starts_with(std::to_string(got) + "\t");
            ++got;
            bytes += line.size();
        }
    });
    EXPECT_EQ(got, lines);
    EXPECT_EQ(bytes + 3, bulk.size());
    EXPECT_TRUE(inOrder);
    std::printf("[ info     ] %.1f MB in %.2f s\n", bulk.size() / 1e6, seconds);

    socket.SendLine("LONG\r\n");
    seconds = SecondsFor([&] { EXPECT_TRUE(socket.ReadLine() == longLine); });
    std::printf("[ info     ] 3 MB line in 1 KiB writes: %.2f s\n", seconds);
    EXPECT_EQ(socket.GetState(), CNewsSocket::Connected);
}
