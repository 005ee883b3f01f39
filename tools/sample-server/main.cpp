// newsgleaner-sample-server: serves a folder of articles over NNTP, for demos,
// benchmarks and tests. See Usage() for the options.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "common/Arguments.h"
#include "common/Listening.h"
#include "sample-server/ArticleStore.h"
#include "sample-server/NntpSession.h"

namespace {

using ngsample::ServerOptions;

// More clients than this at once are turned away with 400.
constexpr int kMaxClients = 64;
// How long a blocked send may wait on a client that does not read.
constexpr int kSendTimeoutSeconds = 120;

std::atomic<int> g_clients{0};
int g_wakePipe[2] = {-1, -1};

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: newsgleaner-sample-server --root DIR [--port N] [--bind ADDR]\n"
                 "           [--port-file FILE] [--user U --password P]\n"
                 "           [--lifetime SECONDS] [--max-connections N] [--no-posting]\n"
                 "           [--quiet]\n"
                 "Serves ROOT/<group>/<number> article files over NNTP.\n"
                 "  --port N          port to listen on, 0 for any free one (default 119)\n"
                 "  --bind ADDR       address to listen on (default 127.0.0.1)\n"
                 "  --port-file FILE  write the port there once listening\n"
                 "  --user U --password P  require this login before other commands\n"
                 "  --lifetime S      exit by itself after S seconds (default 0: never)\n"
                 "  --max-connections N  serve N clients at once (default 64); more are\n"
                 "                    greeted \"502 too many connections\", as providers do\n"
                 "  --no-posting      greet with 201 instead of 200\n"
                 "  --quiet           log nothing but errors\n");
}

void OnSignal(int) {
    if (g_wakePipe[1] >= 0) {
        char c = 1;
        ssize_t ignored = ::write(g_wakePipe[1], &c, 1);
        (void)ignored;
    }
}

// Returns 0 when the options are fine, else the exit code to use.
int ParseOptions(int argc, char** argv, ServerOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg == "--no-posting") {
            options.noPosting = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "newsgleaner-sample-server: %s needs a value\n", arg.c_str());
            return 2;
        }
        const char* value = argv[++i];
        long number = 0;
        if (arg == "--root") {
            options.root = value;
        } else if (arg == "--bind") {
            options.bind = value;
        } else if (arg == "--port-file") {
            options.portFile = value;
        } else if (arg == "--user") {
            options.user = value;
        } else if (arg == "--password") {
            options.password = value;
        } else if (arg == "--port" && ngtools::ParseLong(value, 0, 65535, &number)) {
            options.port = static_cast<int>(number);
        } else if (arg == "--lifetime" && ngtools::ParseLong(value, 0, 100000000, &number)) {
            options.lifetimeSeconds = number;
        } else if (arg == "--max-connections" &&
                   ngtools::ParseLong(value, 1, kMaxClients, &number)) {
            options.maxConnections = static_cast<int>(number);
        } else {
            std::fprintf(stderr, "newsgleaner-sample-server: bad option %s %s\n", arg.c_str(),
                         value);
            Usage(stderr);
            return 2;
        }
    }
    if (options.root.empty()) {
        std::fprintf(stderr, "newsgleaner-sample-server: --root is required\n");
        Usage(stderr);
        return 2;
    }
    struct stat st {};
    if (::stat(options.root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "newsgleaner-sample-server: %s is not a folder\n",
                     options.root.c_str());
        return 2;
    }
    if (!options.password.empty() && options.user.empty()) {
        std::fprintf(stderr, "newsgleaner-sample-server: --password needs --user\n");
        return 2;
    }
    return 0;
}

int Listen(const ServerOptions& options, int* boundPort) {
    sockaddr_storage addr{};
    socklen_t addrLen = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&addr);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&addr);
    if (::inet_pton(AF_INET, options.bind.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(options.port));
        addrLen = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, options.bind.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(options.port));
        addrLen = sizeof(sockaddr_in6);
    } else {
        std::fprintf(stderr, "newsgleaner-sample-server: %s is not a numeric address\n",
                     options.bind.c_str());
        return -1;
    }
    int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::perror("newsgleaner-sample-server: socket");
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), addrLen) != 0 || ::listen(fd, 64) != 0) {
        std::fprintf(stderr, "newsgleaner-sample-server: cannot listen on %s port %d: %s%s\n",
                     options.bind.c_str(), options.port, std::strerror(errno),
                     options.port > 0 && options.port < 1024 ? " (try --port 0)" : "");
        ::close(fd);
        return -1;
    }
    *boundPort = ngtools::BoundPort(fd);
    return fd;
}

void ServeClient(int fd, int id, ngsample::ArticleStore* store, const ServerOptions* options) {
    {
        ngsample::NntpSession session(fd, id, *store, *options);
        session.Run();
    }
    --g_clients;
}

void Finish(const ServerOptions& options, int code) {
    if (!options.portFile.empty()) {
        ::unlink(options.portFile.c_str());
    }
    std::fflush(stderr);
    std::fflush(stdout);
    // Client threads may still be running; leave without running destructors.
    std::_Exit(code);
}

}  // namespace

int main(int argc, char** argv) {
    static ServerOptions options;
    if (int code = ParseOptions(argc, argv, options)) {
        return code;
    }
    static ngsample::ArticleStore store(options.root);

    if (::pipe(g_wakePipe) != 0) {
        std::perror("newsgleaner-sample-server: pipe");
        return 1;
    }
    ::fcntl(g_wakePipe[1], F_SETFL, O_NONBLOCK);
    ngtools::CatchStopSignals(OnSignal);

    int port = 0;
    int listenFd = Listen(options, &port);
    if (listenFd < 0) {
        return 1;
    }
    if (!options.portFile.empty() && !ngtools::WritePortFile(options.portFile, port)) {
        std::fprintf(stderr, "newsgleaner-sample-server: cannot write %s\n",
                     options.portFile.c_str());
        return 1;
    }
    ngsample::LogLine(options, "newsgleaner-sample-server: serving " + options.root + " on " +
                                   options.bind + " port " + std::to_string(port));

    using Clock = std::chrono::steady_clock;
    const bool limited = options.lifetimeSeconds > 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(options.lifetimeSeconds);
    int nextId = 1;
    for (;;) {
        int timeoutMs = -1;
        if (limited) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                ngsample::LogLine(options, "newsgleaner-sample-server: lifetime over");
                Finish(options, 0);
            }
            timeoutMs = static_cast<int>(std::min<long long>(left.count() + 1, 60000));
        }
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
        int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            std::perror("newsgleaner-sample-server: poll");
            Finish(options, 1);
        }
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            ngsample::LogLine(options, "newsgleaner-sample-server: stopped by signal");
            Finish(options, 0);
        }
        if (ready <= 0 || !(fds[0].revents & POLLIN)) {
            continue;
        }
        int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;  // the client gave up meanwhile, or out of descriptors for now
        }
        int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval sendTimeout{kSendTimeoutSeconds, 0};
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        if (g_clients.load() >= options.maxConnections) {
            // A provider's cap on the connections of one account.
            static const char kTooMany[] = "502 too many connections\r\n";
            static const char kBusy[] = "400 Too many connections, try again later\r\n";
            const bool capped = options.maxConnections < kMaxClients;
            ssize_t ignored = capped ? ::send(client, kTooMany, sizeof kTooMany - 1, MSG_NOSIGNAL)
                                     : ::send(client, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL);
            (void)ignored;
            ::close(client);
            continue;
        }
        ++g_clients;
        try {
            std::thread(ServeClient, client, nextId++, &store, &options).detach();
        } catch (const std::system_error&) {
            --g_clients;
            ::close(client);
        }
    }
}
