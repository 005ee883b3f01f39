#include "relay/Link.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace ngrelay {

namespace {

// Unsent bytes one direction may hold before it stops reading its sender;
// enough for 10 MB/s behind a 200 ms delay.
constexpr std::size_t kMaxQueued = 4u << 20;
constexpr std::size_t kReadSize = 64u << 10;

}  // namespace

TokenBucket::TokenBucket(long long rate, Clock::time_point start)
    : m_rate(static_cast<double>(rate)), m_last(start) {
    // About 10 ms of the rate: small enough that the rate holds over short
    // spans, large enough that slow lines are not woken for every few bytes.
    m_burst = std::clamp(m_rate / 100.0, 256.0, 256.0 * 1024.0);
    m_quantum = std::max(1.0, std::floor(m_burst / 4.0));
    m_tokens = m_burst;
}

void TokenBucket::Refill(Clock::time_point now) {
    if (now > m_last) {
        double elapsed = std::chrono::duration<double>(now - m_last).count();
        m_tokens = std::min(m_burst, m_tokens + elapsed * m_rate);
        m_last = now;
    }
}

double TokenBucket::Needed(std::size_t wanted) const {
    return std::min(static_cast<double>(wanted), m_quantum);
}

std::size_t TokenBucket::Allowance(Clock::time_point now, std::size_t wanted) {
    if (m_rate <= 0) {
        return wanted;
    }
    Refill(now);
    // The slack absorbs rounding between ReadyAt and the wake-up it asked for.
    const double needed = Needed(wanted);
    if (m_tokens + 1e-6 < needed) {
        return 0;
    }
    return static_cast<std::size_t>(
        std::min(static_cast<double>(wanted), std::max(std::floor(m_tokens), needed)));
}

void TokenBucket::Take(std::size_t bytes) {
    if (m_rate > 0) {
        m_tokens -= static_cast<double>(bytes);
    }
}

Clock::time_point TokenBucket::ReadyAt(Clock::time_point now, std::size_t wanted) {
    if (m_rate <= 0) {
        return now;
    }
    Refill(now);
    const double missing = Needed(wanted) - m_tokens;
    if (missing <= 0) {
        return now;
    }
    return now +
           std::chrono::ceil<Clock::duration>(std::chrono::duration<double>(missing / m_rate));
}

Direction::Direction(int from, int to, TokenBucket& line, long long ownRate, Clock::duration delay,
                     int recordFd)
    : m_from(from), m_to(to), m_line(line), m_own(ownRate), m_delay(delay), m_recordFd(recordFd) {}

bool Direction::WantsRead() const {
    // A broken direction keeps reading (and dropping) so its sender is not
    // stuck, until the sender closes.
    return !m_bEnded && (m_bBroken || m_queued < kMaxQueued);
}

void Direction::Read(Clock::time_point now) {
    if (!WantsRead()) {
        return;
    }
    char buffer[kReadSize];
    std::size_t room = m_bBroken ? kReadSize : std::min(kReadSize, kMaxQueued - m_queued);
    ssize_t n = ::recv(m_from, buffer, room, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (n <= 0) {
        m_bEnded = true;
        m_endDue = now + m_delay;
        return;
    }
    Record(buffer, static_cast<std::size_t>(n));
    if (!m_bBroken) {
        m_queue.push_back(Chunk{now + m_delay, std::string(buffer, static_cast<std::size_t>(n))});
        m_queued += static_cast<std::size_t>(n);
    }
}

void Direction::Record(const char* data, std::size_t length) {
    while (m_recordFd >= 0 && length > 0) {
        ssize_t n = ::write(m_recordFd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "newsgleaner-relay: cannot record: %s\n", std::strerror(errno));
            m_recordFd = -1;  // the file is shared: leave closing it to its owner
            return;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

void Direction::Break() {
    m_bBroken = true;
    m_bBlocked = false;
    m_queue.clear();
    m_queued = 0;
}

void Direction::Pump(Clock::time_point now) {
    m_bBlocked = false;
    while (!m_bDone && !m_bBroken && !m_queue.empty()) {
        Chunk& head = m_queue.front();
        if (head.due > now) {
            return;
        }
        const std::size_t wanted = head.bytes.size() - head.sent;
        const std::size_t allowed =
            std::min(m_line.Allowance(now, wanted), m_own.Allowance(now, wanted));
        if (allowed == 0) {
            return;
        }
        ssize_t n = ::send(m_to, head.bytes.data() + head.sent, allowed, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_bBlocked = true;
            return;
        }
        if (n <= 0) {
            Break();  // the receiver is gone
            break;
        }
        m_line.Take(static_cast<std::size_t>(n));
        m_own.Take(static_cast<std::size_t>(n));
        m_forwarded += static_cast<unsigned long long>(n);
        m_queued -= static_cast<std::size_t>(n);
        head.sent += static_cast<std::size_t>(n);
        if (head.sent == head.bytes.size()) {
            m_queue.pop_front();
        }
    }
    if (m_bDone || !m_bEnded) {
        return;
    }
    if (m_bBroken) {
        m_bDone = true;
    } else if (m_queue.empty() && now >= m_endDue) {
        ::shutdown(m_to, SHUT_WR);  // fails harmlessly when the receiver is gone
        m_bDone = true;
    }
}

void Direction::Deadline(Clock::time_point now, Clock::time_point& next) {
    if (m_bDone || m_bBlocked || m_bBroken) {
        return;
    }
    if (!m_queue.empty()) {
        const Chunk& head = m_queue.front();
        const std::size_t wanted = head.bytes.size() - head.sent;
        next = std::min(next, head.due > now ? head.due
                                             : std::max(m_line.ReadyAt(now, wanted),
                                                        m_own.ReadyAt(now, wanted)));
    } else if (m_bEnded) {
        next = std::min(next, m_endDue);
    }
}

Connection::Connection(int id, int client, int server, bool connected, TokenBucket& up,
                       TokenBucket& down, long long ownRate, Clock::duration delay, int recordFd,
                       int repliesFd)
    : m_id(id),
      m_client(client),
      m_server(server),
      m_bConnected(connected),
      m_up(client, server, up, ownRate, delay, recordFd),
      m_down(server, client, down, ownRate, delay, repliesFd) {}

Connection::~Connection() {
    ::close(m_client);
    ::close(m_server);
}

void Connection::Events(pollfd* two) const {
    short client =
        static_cast<short>((m_up.WantsRead() ? POLLIN : 0) | (m_down.WantsWrite() ? POLLOUT : 0));
    short server = m_bConnected ? static_cast<short>((m_down.WantsRead() ? POLLIN : 0) |
                                                     (m_up.WantsWrite() ? POLLOUT : 0))
                                : static_cast<short>(POLLOUT);
    if (m_connectError != 0) {
        client = server = 0;
    }
    // An entry without events is left out, so that a hang-up nobody waits
    // for cannot make poll return at once over and over.
    two[0] = pollfd{client != 0 ? m_client : -1, client, 0};
    two[1] = pollfd{server != 0 ? m_server : -1, server, 0};
}

void Connection::Handle(const pollfd* two, Clock::time_point now) {
    constexpr short kReadable = POLLIN | POLLHUP | POLLERR;
    if (!m_bConnected) {
        if (two[1].revents != 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(m_server, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                error = errno;
            }
            m_connectError = error;
            m_bConnected = error == 0;
        }
    } else if ((two[1].revents & kReadable) && (two[1].events & POLLIN)) {
        m_down.Read(now);
    }
    if ((two[0].revents & kReadable) && (two[0].events & POLLIN)) {
        m_up.Read(now);
    }
}

void Connection::Pump(Clock::time_point now) {
    if (m_bConnected) {
        m_up.Pump(now);
        m_down.Pump(now);
    }
}

void Connection::Deadline(Clock::time_point now, Clock::time_point& next) {
    if (m_bConnected) {
        m_up.Deadline(now, next);
        m_down.Deadline(now, next);
    }
}

bool Connection::Finished() const {
    return m_connectError != 0 || (m_up.Done() && m_down.Done());
}

}  // namespace ngrelay
