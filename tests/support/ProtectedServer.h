#pragma once
// A news server for TLS and compression tests: one connection at a time, TLS
// from the first byte or after STARTTLS, compression after COMPRESS DEFLATE
// (zlib on its own, apart from the program's code), any other command
// answered by the test. It records every command line as it read it (after
// decrypting and inflating) and ends by itself after its lifetime.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ngtest {

class ProtectedServer {
public:
    struct Script {
        bool tlsFirst = false;   // TLS from the first byte
        std::string chain, key;  // the certificate (PEM chain) it shows, and its key
        bool offerStartTls = false;
        std::string startTlsReply = "382 Begin TLS negotiation now\r\n";
        bool offerCompress = false;
        // When set: sent raw after the 206 instead of turning compression on.
        std::string afterCompress;
        // Any other command (without its line end); the reply to send.
        std::function<std::string(const std::string&)> answer;
    };

    explicit ProtectedServer(Script script,
                             std::chrono::milliseconds lifetime = std::chrono::seconds(20));
    ~ProtectedServer();
    ProtectedServer(const ProtectedServer&) = delete;
    ProtectedServer& operator=(const ProtectedServer&) = delete;

    int Port() const { return m_port; }
    std::vector<std::string> Commands() const;

private:
    class Connection;
    void Run();
    void Serve(int fd);
    void Record(const std::string& command);

    Script m_script;
    int m_listen = -1;
    int m_port = 0;
    std::chrono::steady_clock::time_point m_until;
    std::atomic<bool> m_bStop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::thread m_thread;
};

}  // namespace ngtest
