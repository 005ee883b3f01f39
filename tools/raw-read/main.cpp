// newsgleaner-raw-read: reads a group's articles from a news server as fast
// as a plain client can, and throws them away: GROUP, then ARTICLE for every
// number from the group's first to its last, a few commands ahead, each reply
// read to its end. The anchor for the pass benchmarks: what the link and the
// server give, with nothing done to the bytes. See Usage() for the options.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/Arguments.h"
#include "raw-read/ReplyScanner.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string group;
    int window = 4;
    long count = 0;  // 0: every article of the group
    long timeoutSeconds = 120;
};

void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: newsgleaner-raw-read --port N --group NAME [--host ADDR]\n"
                 "           [--window K] [--count N] [--timeout SECONDS]\n"
                 "Selects the group and reads its articles (ARTICLE first..last), K commands\n"
                 "ahead (default 4, as the pass), discarding them; prints one line:\n"
                 "  articles A bytes B seconds S MB/s R cpu C\n"
                 "  --host ADDR       numeric IPv4 address (default 127.0.0.1)\n"
                 "  --count N         only the group's first N articles\n"
                 "  --timeout S       give up after S seconds in all (default 120)\n"
                 "Exit status: 0 when every ARTICLE was answered with 220, 1 otherwise,\n"
                 "2 for bad usage.\n");
}

int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "newsgleaner-raw-read: %s needs a value\n", arg.c_str());
            return 2;
        }
        const char* value = argv[++i];
        long number = 0;
        if (arg == "--host") {
            options.host = value;
        } else if (arg == "--group") {
            options.group = value;
        } else if (arg == "--port" && ngtools::ParseLong(value, 1, 65535, &number)) {
            options.port = static_cast<int>(number);
        } else if (arg == "--window" && ngtools::ParseLong(value, 1, 64, &number)) {
            options.window = static_cast<int>(number);
        } else if (arg == "--count" && ngtools::ParseLong(value, 1, 100000000, &number)) {
            options.count = number;
        } else if (arg == "--timeout" && ngtools::ParseLong(value, 1, 86400, &number)) {
            options.timeoutSeconds = number;
        } else {
            std::fprintf(stderr, "newsgleaner-raw-read: bad option %s %s\n", arg.c_str(), value);
            Usage(stderr);
            return 2;
        }
    }
    if (options.port == 0 || options.group.empty() ||
        options.group.find_first_of(" \t\r\n") != std::string::npos) {
        Usage(stderr);
        return 2;
    }
    return 0;
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "newsgleaner-raw-read: %s\n", message.c_str());
    std::exit(1);
}

class Connection {
public:
    Connection(const Options& options)
        : m_deadline(Clock::now() + std::chrono::seconds(options.timeoutSeconds)),
          m_buffer(1 << 20) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(options.port));
        if (::inet_pton(AF_INET, options.host.c_str(), &address.sin_addr) != 1) {
            Fail(options.host + " is not a numeric IPv4 address");
        }
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 ||
            ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Fail(std::string("cannot connect: ") + std::strerror(errno));
        }
        int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~Connection() { ::close(m_fd); }

    void Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                Fail(std::string("send failed: ") + std::strerror(errno));
            }
            sent += static_cast<std::size_t>(n);
        }
    }

    // Received bytes not yet handed to the scanner; receives more when
    // there are none, within the deadline.
    std::string_view Pending() {
        if (m_used == m_filled) {
            Receive();
        }
        return std::string_view(m_buffer.data() + m_used, m_filled - m_used);
    }
    void Take(std::size_t n) { m_used += n; }
    int64_t Received() const { return m_received; }

    // Reads one whole reply.
    void ReadReply(ngraw::ReplyScanner& scanner) {
        do {
            std::string_view data = Pending();
            Take(scanner.Feed(data));
        } while (!scanner.Complete() && !scanner.Broken());
        if (scanner.Broken()) {
            Fail("the server sent an overlong status line");
        }
    }

private:
    void Receive() {
        m_used = m_filled = 0;
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0) {
                Fail("timed out");
            }
            pollfd entry{m_fd, POLLIN, 0};
            int ready = ::poll(&entry, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
            if (ready < 0 && errno != EINTR) {
                Fail(std::string("poll failed: ") + std::strerror(errno));
            }
            if (ready <= 0) {
                continue;
            }
            ssize_t got = ::recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                Fail("the server closed the connection");
            }
            m_filled = static_cast<std::size_t>(got);
            m_received += got;
            return;
        }
    }

    int m_fd = -1;
    Clock::time_point m_deadline;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::size_t m_filled = 0;
    int64_t m_received = 0;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (int status = ParseOptions(argc, argv, options)) {
        return status;
    }
    const auto start = Clock::now();
    Connection connection(options);
    ngraw::ReplyScanner scanner;
    connection.ReadReply(scanner);
    if (scanner.Code() != 200 && scanner.Code() != 201) {
        Fail("greeting: " + scanner.Status());
    }
    connection.Send("GROUP " + options.group + "\r\n");
    connection.ReadReply(scanner);
    long count = 0, first = 0, last = 0;
    if (scanner.Code() != 211 ||
        std::sscanf(scanner.Status().c_str(), "211 %ld %ld %ld", &count, &first, &last) != 3) {
        Fail("GROUP " + options.group + ": " + scanner.Status());
    }
    if (options.count > 0 && first + options.count - 1 < last) {
        last = first + options.count - 1;
    }

    // Up to `window` commands out; each completed reply lets the next go.
    long next = first;
    long answered = 0, articles = 0;
    const long total = last >= first ? last - first + 1 : 0;
    int out = 0;
    std::string commands;
    while (answered < total) {
        commands.clear();
        for (; out < options.window && next <= last; ++out, ++next) {
            commands += "ARTICLE " + std::to_string(next) + "\r\n";
        }
        if (!commands.empty()) {
            connection.Send(commands);
        }
        connection.ReadReply(scanner);
        --out;
        ++answered;
        articles += scanner.Code() == 220;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    connection.Send("QUIT\r\n");

    const int64_t bytes = connection.Received();
    std::printf("articles %ld bytes %lld seconds %.4f MB/s %.1f cpu %.4f\n", articles,
                static_cast<long long>(bytes), seconds,
                seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0, CpuSeconds());
    if (articles != total) {
        std::fprintf(stderr, "newsgleaner-raw-read: %ld of %ld articles answered with 220\n",
                     articles, total);
        return 1;
    }
    return 0;
}
