#pragma once
// Plain TCP sockets on 127.0.0.1 for the tests, benchmarks and fuzz targets:
// a socket on an ephemeral port, a connection to a port, a send of every
// byte, the port a server program reports. Header-only and free of any test
// framework.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace ngtest {

inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A TCP socket bound to an ephemeral port of 127.0.0.1 and listening with
// `backlog`, or with a negative backlog only bound: connects to it are then
// refused, and no one else can take the port while it is open. Sets `port`;
// gives the socket, or -1 (and port 0) when a step fails.
inline int BindLoopback(int& port, int backlog) {
    port = 0;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        (backlog >= 0 && ::listen(fd, backlog) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// A TCP connection to `port` of 127.0.0.1, from a socket made with the extra
// `flags` (with SOCK_NONBLOCK it may still be under way). The socket, or -1.
inline int ConnectLoopback(int port, int flags = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends every byte, waiting as long as the peer does not read; false when
// the connection fails first.
inline bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

// The port a server started with "--port-file" has written there once it
// listens: read up to `tries` times, `pause` apart; 0 when none came.
inline int WaitForPortFile(const std::string& path, int tries, std::chrono::milliseconds pause) {
    for (int i = 0; i < tries; ++i) {
        std::ifstream in(path);
        int port = 0;
        if (in >> port && port > 0) {
            return port;
        }
        std::this_thread::sleep_for(pause);
    }
    return 0;
}

// A loopback port that refuses connections: bound, never listening, so that
// no one else can take it while it is held.
class RefusingPort {
public:
    RefusingPort() : m_fd(BindLoopback(m_port, -1)) {}
    ~RefusingPort() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return m_port; }

private:
    int m_port = 0;  // before m_fd: set while m_fd is made
    int m_fd = -1;
};

}  // namespace ngtest
