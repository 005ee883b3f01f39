#pragma once
// What the tools that listen on a port share: the port a socket was bound
// to (port 0 asks the system for a free one) and the file that tells it.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdio>
#include <string>

namespace ngtools {

// The local port of a bound socket (IPv4 or IPv6); 0 when unknown.
inline int BoundPort(int fd) {
    sockaddr_storage actual{};
    socklen_t length = sizeof actual;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&actual), &length) != 0) {
        return 0;
    }
    return actual.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&actual)->sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in*>(&actual)->sin_port);
}

// Written under a temporary name and renamed, so a reader never sees half a number.
inline bool WritePortFile(const std::string& path, int port) {
    std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) {
        return false;
    }
    std::fprintf(f, "%d\n", port);
    bool ok = std::fclose(f) == 0;
    return ok && std::rename(temp.c_str(), path.c_str()) == 0;
}

// Ctrl-C, SIGTERM and SIGHUP call `handler` (which asks the tool to stop);
// a client gone away is an error on its socket, not the end of the tool.
inline void CatchStopSignals(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace ngtools
