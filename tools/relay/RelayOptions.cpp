#include "relay/RelayOptions.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/Arguments.h"

namespace ngrelay {

namespace {

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: newsgleaner-relay --target HOST:PORT [--listen HOST] [--port N]\n"
                 "           [--port-file FILE] [--delay-ms N] [--rate BYTES_PER_SECOND]\n"
                 "           [--connection-rate BYTES_PER_SECOND] [--record FILE]\n"
                 "           [--record-replies FILE] [--lifetime SECONDS] [--quiet]\n"
                 "Forwards each connection it accepts to the target, slowed down like a\n"
                 "distant server behind a thin line.\n"
                 "  --target HOST:PORT   where to forward to: a.b.c.d:port or [v6]:port\n"
                 "  --listen HOST        address to listen on (default 127.0.0.1)\n"
                 "  --port N             port to listen on, 0 for any free one (default 0)\n"
                 "  --port-file FILE     write the port there once listening\n"
                 "  --delay-ms N         hold every byte N ms in each direction, so the\n"
                 "                       round trip grows by 2N (default 0)\n"
                 "  --rate R             at most R bytes per second in each direction, shared\n"
                 "                       by all connections like one line; k and M suffixes\n"
                 "                       mean 1000 and 1000000 (default 0: no limit)\n"
                 "  --connection-rate R  at most R bytes per second in each direction on each\n"
                 "                       connection, as providers cap every connection, so N\n"
                 "                       connections together move up to N times R (within\n"
                 "                       --rate, when given); suffixes as for --rate\n"
                 "                       (default 0: no limit)\n"
                 "  --record FILE        append every byte the clients send to FILE\n"
                 "  --record-replies FILE  append every byte the target sends to FILE\n"
                 "  --lifetime S         exit by itself after S seconds (default 0: never)\n"
                 "  --quiet              log nothing but errors\n");
}

bool Fail(const std::string& message) {
    std::fprintf(stderr, "newsgleaner-relay: %s\n", message.c_str());
    return false;
}

bool ParseAddress(const std::string& host, long port, sockaddr_storage* address,
                  socklen_t* length) {
    *address = sockaddr_storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(address);
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        *length = sizeof(sockaddr_in);
        return true;
    }
    if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        *length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

}  // namespace

bool ParseRate(const std::string& text, long long* rate) {
    std::string digits = text;
    long multiplier = 1;
    if (!digits.empty() && (digits.back() == 'k' || digits.back() == 'K')) {
        multiplier = 1000;
        digits.pop_back();
    } else if (!digits.empty() && digits.back() == 'M') {
        multiplier = 1000000;
        digits.pop_back();
    }
    long value = 0;
    // Digits only: strtol would also take blanks and signs.
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
        !ngtools::ParseLong(digits.c_str(), 0, 1000000000000L / multiplier, &value)) {
        return false;
    }
    *rate = static_cast<long long>(value) * multiplier;
    return true;
}

bool ParseTarget(const std::string& text, sockaddr_storage* address, socklen_t* length) {
    std::string host, port;
    if (!text.empty() && text[0] == '[') {
        std::size_t close = text.find("]:");
        if (close == std::string::npos) {
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (host.find(':') == std::string::npos) {
            return false;  // brackets are for IPv6 only
        }
    } else {
        std::size_t colon = text.find(':');
        if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    long number = 0;
    if (port.find_first_not_of("0123456789") != std::string::npos ||
        !ngtools::ParseLong(port.c_str(), 1, 65535, &number)) {
        return false;
    }
    return ParseAddress(host, number, address, length);
}

bool ParseListen(const std::string& text, int port, sockaddr_storage* address, socklen_t* length) {
    std::string host = text;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    return ParseAddress(host, port, address, length);
}

int ParseOptions(int argc, char** argv, RelayOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (i + 1 >= argc) {
            Fail(arg + " needs a value");
            return 2;
        }
        const char* value = argv[++i];
        long number = 0;
        bool good = true;
        if (arg == "--listen") {
            options.listen = value;
        } else if (arg == "--port-file") {
            options.portFile = value;
        } else if (arg == "--record") {
            options.record = value;
        } else if (arg == "--record-replies") {
            options.recordReplies = value;
        } else if (arg == "--target") {
            options.target = value;
            good = ParseTarget(value, &options.targetAddress, &options.targetLength);
        } else if (arg == "--rate") {
            good = ParseRate(value, &options.rate);
        } else if (arg == "--connection-rate") {
            good = ParseRate(value, &options.connectionRate);
        } else if (arg == "--port" && ngtools::ParseLong(value, 0, 65535, &number)) {
            options.port = static_cast<int>(number);
        } else if (arg == "--delay-ms" && ngtools::ParseLong(value, 0, 3600000, &number)) {
            options.delayMs = number;
        } else if (arg == "--lifetime" && ngtools::ParseLong(value, 0, 100000000, &number)) {
            options.lifetimeSeconds = number;
        } else {
            good = false;
        }
        if (!good) {
            Fail("bad option " + arg + " " + value);
            Usage(stderr);
            return 2;
        }
    }
    if (options.targetLength == 0) {
        Fail("--target is required");
        Usage(stderr);
        return 2;
    }
    sockaddr_storage unused{};
    socklen_t unusedLength = 0;
    if (!ParseListen(options.listen, options.port, &unused, &unusedLength)) {
        Fail(options.listen + " is not a numeric address");
        return 2;
    }
    return -1;
}

}  // namespace ngrelay
