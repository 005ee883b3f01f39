#pragma once
// The relay's command line: where it listens, where it forwards to, and what
// it does to the bytes on the way.

#include <sys/socket.h>

#include <string>

namespace ngrelay {

struct RelayOptions {
    std::string listen = "127.0.0.1";
    int port = 0;
    std::string portFile;
    std::string target;  // as given, for messages
    sockaddr_storage targetAddress{};
    socklen_t targetLength = 0;
    long delayMs = 0;              // added in each direction
    long long rate = 0;            // bytes per second in each direction, all connections
                                   // together; 0: no limit
    long long connectionRate = 0;  // the same for each connection on its own
    std::string record;            // client-to-server bytes are appended here
    std::string recordReplies;     // server-to-client bytes are appended here
    long lifetimeSeconds = 0;      // 0: until a signal
    bool quiet = false;
};

// Fills `options` from the arguments. Returns -1 when they are fine, else the
// exit code to use (0 after --help, 2 for bad usage, with a message).
int ParseOptions(int argc, char** argv, RelayOptions& options);

// "250000", "64k" or "10M": bytes per second; false for anything else.
bool ParseRate(const std::string& text, long long* rate);

// "a.b.c.d:port" or "[v6]:port" with numeric addresses and a port above 0.
bool ParseTarget(const std::string& text, sockaddr_storage* address, socklen_t* length);

// A numeric IPv4 or IPv6 address (brackets allowed) with `port`.
bool ParseListen(const std::string& text, int port, sockaddr_storage* address, socklen_t* length);

}  // namespace ngrelay
