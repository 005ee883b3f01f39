// The connection's line splitting: a local peer on a loopback port sends a
// greeting and then the input, in pieces, and closes. Whatever the bytes,
// the lines handed out are exactly the input up to its last line feed, each
// ending in its own '\n', and then the connection reads as closed.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "FuzzSupport.h"
#include "net/Socket.h"

namespace {

const std::string kGreeting = "200 fuzz peer ready\r\n";

// Accepts one connection at a time and sends it the greeting and the
// payload set for it, then closes. Lives for the whole process.
class Peer {
public:
    Peer() {
        m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        FUZZ_CHECK(::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length) == 0);
        FUZZ_CHECK(::listen(m_listenFd, 4) == 0);
        FUZZ_CHECK(::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        m_port = ntohs(address.sin_port);
        std::thread([this] { Serve(); }).detach();
    }

    int Port() const { return m_port; }

    void SetPayload(std::string bytes) {
        std::lock_guard lock(m_mutex);
        m_payload = std::move(bytes);
    }

private:
    void Serve() {
        for (;;) {
            int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            std::string payload;
            {
                std::lock_guard lock(m_mutex);
                payload = m_payload;
            }
            SendAll(fd, kGreeting);
            // Pieces of varying size, so that lines also arrive split.
            size_t step = 1 + payload.size() % 61;
            for (size_t at = 0; at < payload.size(); at += step, step = step * 7 % 1021 + 1) {
                SendAll(fd, std::string_view(payload).substr(at, step));
            }
            ::close(fd);
        }
    }

    static void SendAll(int fd, std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                return;
            }
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
    }

    int m_listenFd = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::string m_payload;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Peer* peer = new Peer;
    const std::string payload(reinterpret_cast<const char*>(data), size);
    peer->SetPayload(payload);

    CNewsSocket socket(true);
    socket.SetReadTimeout(std::chrono::seconds(10));
    FUZZ_CHECK(socket.OpenConnection("127.0.0.1", peer->Port()));

    std::string received;
    for (;;) {
        std::string line = socket.ReadLine();
        if (line.empty()) {
            break;
        }
        FUZZ_CHECK(line.back() == '\n');
        FUZZ_CHECK(line.find('\n') == line.size() - 1);
        received += line;
    }
    FUZZ_CHECK(!socket.InterruptedByStop());
    FUZZ_CHECK(socket.m_nState == CNewsSocket::Idle);
    size_t lastLineFeed = payload.rfind('\n');
    FUZZ_CHECK(
        received ==
        (lastLineFeed == std::string::npos ? std::string() : payload.substr(0, lastLineFeed + 1)));
    return 0;
}
