#pragma once
// A scripted news server for tests: listens on a loopback address with an
// ephemeral port, serves one connection at a time on its own thread and
// answers each command line from a script.
//
//   ngtest::ScriptedServer server;                      // 127.0.0.1:<port>
//   server.SetGreeting("200 news.example.com ready\r\n");
//   server.On("GROUP alt.test", "211 2 7 8 alt.test\r\n");
//   server.OnPrefix("XOVER ", ngtest::Reply("224 data\r\n...\r\n.\r\n").Trickled());
//   server.OnPrefix("ARTICLE ", [](const std::string& line) -> ngtest::Reply {
//       return line == "ARTICLE 7" ? "430 no such article\r\n" : "220 ...";
//   });
//   ... point the client at server.Address() and server.Port() ...
//   ASSERT_TRUE(server.WaitForText("ARTICLE 8\r\n"));
//   EXPECT_EQ(server.Received(), "GROUP alt.test\r\nXOVER 7-\r\nARTICLE 7\r\n...");
//
// Rules are tried in the order they were added against the command line
// without its line end ("\r\n" or "\n"); the first that matches answers.
// Unmatched commands get the default reply ("500 what?\r\n"). An empty reply
// means silence. Handlers run on the server's thread.
//
// Received() holds every byte the client sent, exactly. The server serves
// connections one after another (SetMaxConnections limits how many; the port
// then refuses further connects) and stops by itself: the destructor closes
// everything and joins, and after its lifetime (60 s unless set) it closes
// all and accepts nothing more.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ngtest {

// What the server sends for one command (or as its greeting).
struct Reply {
    static constexpr size_t kKeepOpen = static_cast<size_t>(-1);

    Reply() = default;
    Reply(std::string text) : bytes(std::move(text)) {}
    Reply(const char* text) : bytes(text) {}

    // Send as separate writes of these pieces, pausing between them, so the
    // client sees them arrive apart.
    static Reply Pieces(const std::vector<std::string>& pieces,
                        std::chrono::milliseconds pause = std::chrono::milliseconds(30));
    // Send in writes of 1 to 3 bytes with a short pause after each.
    Reply& Trickled();
    // Close the connection after this many bytes of the reply (0: at once,
    // sending nothing).
    Reply& CloseAfter(size_t count);
    // Close the connection once the whole reply is sent.
    Reply& ThenClose() { return CloseAfter(bytes.size()); }
    // Wait this long before the first byte.
    Reply& After(std::chrono::milliseconds wait);

    std::string bytes;          // any bytes at all; empty: no reply
    std::vector<size_t> sizes;  // sizes of separate writes; empty: one write
    std::chrono::milliseconds pause{0};
    std::chrono::milliseconds delay{0};
    size_t closeAfter = kKeepOpen;
};

class ScriptedServer {
public:
    using Handler = std::function<Reply(const std::string& line)>;

    // Listens on `address` ("127.0.0.1" or "::1") at an ephemeral port.
    explicit ScriptedServer(const std::string& address = "127.0.0.1");
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // False when the address could not be bound (no IPv6, for instance).
    bool Listening() const { return m_port != 0; }
    int Port() const { return m_port; }
    const std::string& Address() const { return m_address; }

    // The script may be changed at any time; a connection takes the greeting
    // when it is accepted and each rule when its command arrives.
    void SetGreeting(Reply greeting);  // default "200 scripted news server ready\r\n"
    // The greeting of each connection (numbered from 0), instead of one for all.
    void SetGreetings(std::function<Reply(int connection)> greeting);
    void SetDefaultReply(Reply reply);
    void On(const std::string& command, Reply reply);
    void OnPrefix(const std::string& prefix, Reply reply);
    void OnPrefix(const std::string& prefix, Handler handler);
    void OnAny(Handler handler);
    // Serve this many connections, then refuse further ones.
    void SetMaxConnections(int count);
    // Counted from construction.
    void SetLifetime(std::chrono::milliseconds lifetime);

    // Every byte received, over all connections in order, or on one
    // (numbered from 0).
    std::string Received() const;
    std::string Received(int connection) const;
    int Accepted() const;  // connections accepted so far
    int Closed() const;    // connections finished (by either side)

    // Bounded waits; true when the condition was met in time.
    bool WaitForBytes(size_t count, std::chrono::milliseconds limit = kWaitLimit) const;
    bool WaitForText(const std::string& text, std::chrono::milliseconds limit = kWaitLimit) const;
    bool WaitForAccepted(int count, std::chrono::milliseconds limit = kWaitLimit) const;
    bool WaitForClosed(int count, std::chrono::milliseconds limit = kWaitLimit) const;

    // Closes everything and joins the thread; the destructor does it too.
    void Stop();

private:
    static constexpr std::chrono::milliseconds kWaitLimit{5000};
    struct Rule {
        enum Kind { Exact, Prefix } kind;
        std::string text;
        Reply reply;
        Handler handler;
    };

    void Run();
    void Serve(int fd);
    bool ShouldStop() const;
    // False when the connection is to be closed (by the reply, the client or a stop).
    bool SendReply(int fd, const Reply& reply);
    bool SendAll(int fd, const char* data, size_t length);
    bool Sleep(std::chrono::milliseconds span);
    // Reads and records what arrives within one slice: the number of bytes,
    // 0 when nothing came, -1 once the client has closed or the connection
    // has failed.
    ssize_t ReceiveSlice(int fd, int connection, std::vector<char>& buffer);
    void Finish(int fd, int connection);
    void Record(int connection, const char* data, size_t length);
    Reply ReplyFor(const std::string& line);
    bool WaitUntil(std::chrono::milliseconds limit, const std::function<bool()>& done) const;

    std::string m_address;
    int m_port = 0;
    int m_listenFd = -1;
    std::chrono::steady_clock::time_point m_started;
    std::atomic<bool> m_bStopping{false};
    std::atomic<long long> m_lifetimeMs{60000};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Reply m_greeting{"200 scripted news server ready\r\n"};
    std::function<Reply(int)> m_greetingFor;
    Reply m_defaultReply{"500 what?\r\n"};
    std::vector<Rule> m_rules;
    int m_nMaxConnections = 0;  // 0: no limit
    std::vector<std::string> m_received;
    size_t m_nReceivedBytes = 0;
    int m_nClosed = 0;

    std::thread m_thread;
};

}  // namespace ngtest
