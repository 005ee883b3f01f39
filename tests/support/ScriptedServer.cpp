#include "support/ScriptedServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ngtest {

namespace {

using Clock = std::chrono::steady_clock;
// How often the server thread looks at its stop flag and lifetime.
constexpr int kSliceMs = 50;
// How long a closing connection keeps reading, so that unread client bytes
// do not turn the close into a reset that could eat the reply.
constexpr auto kLingerOnClose = std::chrono::milliseconds(1000);

}  // namespace

Reply Reply::Pieces(const std::vector<std::string>& pieces, std::chrono::milliseconds pause) {
    Reply reply;
    for (const auto& piece : pieces) {
        reply.bytes += piece;
        reply.sizes.push_back(piece.size());
    }
    reply.pause = pause;
    return reply;
}

Reply& Reply::Trickled() {
    sizes.clear();
    for (size_t done = 0, step = 0; done < bytes.size(); ++step) {
        size_t size = std::min<size_t>(1 + step % 3, bytes.size() - done);
        sizes.push_back(size);
        done += size;
    }
    pause = std::chrono::milliseconds(1);
    return *this;
}

Reply& Reply::CloseAfter(size_t count) {
    closeAfter = count;
    return *this;
}

Reply& Reply::After(std::chrono::milliseconds wait) {
    delay = wait;
    return *this;
}

ScriptedServer::ScriptedServer(const std::string& address)
    : m_address(address), m_started(Clock::now()) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.c_str(), "0", &hints, &found) != 0) {
        return;
    }
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0 && ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 8) == 0;
    ::freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (ok && ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
        m_port = bound.ss_family == AF_INET6
                     ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                     : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }
    if (m_port == 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    m_listenFd = fd;
    m_thread = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
    Stop();
}

void ScriptedServer::Stop() {
    m_bStopping = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
}

void ScriptedServer::SetGreeting(Reply greeting) {
    std::lock_guard lock(m_mutex);
    m_greeting = std::move(greeting);
}

void ScriptedServer::SetGreetings(std::function<Reply(int)> greeting) {
    std::lock_guard lock(m_mutex);
    m_greetingFor = std::move(greeting);
}

void ScriptedServer::SetDefaultReply(Reply reply) {
    std::lock_guard lock(m_mutex);
    m_defaultReply = std::move(reply);
}

void ScriptedServer::On(const std::string& command, Reply reply) {
    std::lock_guard lock(m_mutex);
    m_rules.push_back({Rule::Exact, command, std::move(reply), nullptr});
}

void ScriptedServer::OnPrefix(const std::string& prefix, Reply reply) {
    std::lock_guard lock(m_mutex);
    m_rules.push_back({Rule::Prefix, prefix, std::move(reply), nullptr});
}

void ScriptedServer::OnPrefix(const std::string& prefix, Handler handler) {
    std::lock_guard lock(m_mutex);
    m_rules.push_back({Rule::Prefix, prefix, Reply(), std::move(handler)});
}

void ScriptedServer::OnAny(Handler handler) {
    OnPrefix("", std::move(handler));
}

void ScriptedServer::SetMaxConnections(int count) {
    std::lock_guard lock(m_mutex);
    m_nMaxConnections = count;
}

void ScriptedServer::SetLifetime(std::chrono::milliseconds lifetime) {
    m_lifetimeMs = lifetime.count();
}

std::string ScriptedServer::Received() const {
    std::lock_guard lock(m_mutex);
    std::string all;
    for (const auto& bytes : m_received) {
        all += bytes;
    }
    return all;
}

std::string ScriptedServer::Received(int connection) const {
    std::lock_guard lock(m_mutex);
    if (connection < 0 || connection >= static_cast<int>(m_received.size())) {
        return {};
    }
    return m_received[connection];
}

int ScriptedServer::Accepted() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_received.size());
}

int ScriptedServer::Closed() const {
    std::lock_guard lock(m_mutex);
    return m_nClosed;
}

bool ScriptedServer::WaitUntil(std::chrono::milliseconds limit,
                               const std::function<bool()>& done) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, done);
}

bool ScriptedServer::WaitForBytes(size_t count, std::chrono::milliseconds limit) const {
    return WaitUntil(limit, [&] { return m_nReceivedBytes >= count; });
}

bool ScriptedServer::WaitForText(const std::string& text, std::chrono::milliseconds limit) const {
    // Text may span connections only by accident; look in each one.
    return WaitUntil(limit, [&] {
        return std::any_of(m_received.begin(), m_received.end(), [&](const std::string& bytes) {
            return bytes.find(text) != std::string::npos;
        });
    });
}

bool ScriptedServer::WaitForAccepted(int count, std::chrono::milliseconds limit) const {
    return WaitUntil(limit, [&] { return static_cast<int>(m_received.size()) >= count; });
}

bool ScriptedServer::WaitForClosed(int count, std::chrono::milliseconds limit) const {
    return WaitUntil(limit, [&] { return m_nClosed >= count; });
}

bool ScriptedServer::ShouldStop() const {
    return m_bStopping ||
           Clock::now() - m_started >= std::chrono::milliseconds(m_lifetimeMs.load());
}

bool ScriptedServer::Sleep(std::chrono::milliseconds span) {
    auto until = Clock::now() + span;
    while (!ShouldStop()) {
        auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) {
            return true;
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(left, std::chrono::milliseconds(kSliceMs)));
    }
    return false;
}

void ScriptedServer::Run() {
    while (!ShouldStop()) {
        {
            std::lock_guard lock(m_mutex);
            if (m_nMaxConnections > 0 && static_cast<int>(m_received.size()) >= m_nMaxConnections) {
                break;
            }
        }
        pollfd entry{m_listenFd, POLLIN, 0};
        if (::poll(&entry, 1, kSliceMs) <= 0) {
            continue;
        }
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // Tiny writes must leave as tiny segments.
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Serve(fd);
    }
    // Nothing more is accepted: further connects are refused.
    ::close(m_listenFd);
    m_listenFd = -1;
}

void ScriptedServer::Record(int connection, const char* data, size_t length) {
    {
        std::lock_guard lock(m_mutex);
        m_received[connection].append(data, length);
        m_nReceivedBytes += length;
    }
    m_changed.notify_all();
}

Reply ScriptedServer::ReplyFor(const std::string& line) {
    Handler handler;
    {
        std::lock_guard lock(m_mutex);
        auto rule = std::find_if(m_rules.begin(), m_rules.end(), [&](const Rule& r) {
            return r.kind == Rule::Exact ? line == r.text : line.starts_with(r.text);
        });
        if (rule == m_rules.end()) {
            return m_defaultReply;
        }
        if (!rule->handler) {
            return rule->reply;
        }
        handler = rule->handler;
    }
    return handler(line);
}

void ScriptedServer::Serve(int fd) {
    int connection = 0;
    Reply greeting;
    {
        std::lock_guard lock(m_mutex);
        connection = static_cast<int>(m_received.size());
        m_received.emplace_back();
        greeting = m_greetingFor ? m_greetingFor(connection) : m_greeting;
    }
    m_changed.notify_all();
    if (!SendReply(fd, greeting)) {
        Finish(fd, connection);
        return;
    }
    std::string pending;  // received text not yet answered
    size_t scanned = 0;   // of which holds no '\n'
    std::vector<char> buffer(64 * 1024);
    while (!ShouldStop()) {
        ssize_t got = ReceiveSlice(fd, connection, buffer);
        if (got == 0) {
            continue;
        }
        if (got < 0) {
            break;
        }
        pending.append(buffer.data(), static_cast<size_t>(got));
        size_t start = 0;
        size_t lineFeed;
        bool open = true;
        while (open &&
               (lineFeed = pending.find('\n', std::max(start, scanned))) != std::string::npos) {
            std::string line = pending.substr(start, lineFeed - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            start = lineFeed + 1;
            open = SendReply(fd, ReplyFor(line));
        }
        if (!open) {
            break;
        }
        pending.erase(0, start);
        scanned = pending.size();
    }
    Finish(fd, connection);
}

ssize_t ScriptedServer::ReceiveSlice(int fd, int connection, std::vector<char>& buffer) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kSliceMs) <= 0) {
        return 0;
    }
    ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return 0;
    }
    if (got <= 0) {
        return -1;
    }
    Record(connection, buffer.data(), static_cast<size_t>(got));
    return got;
}

void ScriptedServer::Finish(int fd, int connection) {
    // Half-close and read on for a moment: closing with unread bytes would
    // send a reset, and the client could lose the end of the reply.
    ::shutdown(fd, SHUT_WR);
    auto until = Clock::now() + kLingerOnClose;
    std::vector<char> buffer(64 * 1024);
    while (!ShouldStop() && Clock::now() < until) {
        if (ReceiveSlice(fd, connection, buffer) < 0) {
            break;
        }
    }
    ::close(fd);
    {
        std::lock_guard lock(m_mutex);
        ++m_nClosed;
    }
    m_changed.notify_all();
}

bool ScriptedServer::SendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        if (ShouldStop()) {
            return false;
        }
        ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            length -= static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;  // the client has gone
        }
        pollfd entry{fd, POLLOUT, 0};
        ::poll(&entry, 1, kSliceMs);
    }
    return true;
}

bool ScriptedServer::SendReply(int fd, const Reply& reply) {
    if (reply.delay.count() > 0 && !Sleep(reply.delay)) {
        return false;
    }
    size_t total = std::min(reply.bytes.size(), reply.closeAfter);
    size_t done = 0;
    for (size_t i = 0; done < total; ++i) {
        size_t size = i < reply.sizes.size() ? reply.sizes[i] : total - done;
        size = std::min(size, total - done);
        if (i > 0 && reply.pause.count() > 0 && !Sleep(reply.pause)) {
            return false;
        }
        if (!SendAll(fd, reply.bytes.data() + done, size)) {
            return false;
        }
        done += size;
    }
    return reply.closeAfter == Reply::kKeepOpen;
}

}  // namespace ngtest
