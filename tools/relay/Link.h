#pragma once
// What the relay does to the bytes of one connection: each direction holds
// what it read until its arrival time plus the delay, then sends it no faster
// than both its token buckets allow (the line's, shared by all connections,
// and its own), and passes the sender's close on after the last byte.
// Everything runs on the relay's one thread, driven by poll.

#include <poll.h>
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

namespace ngrelay {

using Clock = std::chrono::steady_clock;

// Bytes per second with a small burst; unlimited at rate 0. One bucket per
// direction is shared by all connections, as on one line; each direction of
// each connection also has one of its own, as a provider caps each
// connection.
class TokenBucket {
public:
    // Full at `start`.
    explicit TokenBucket(long long rate, Clock::time_point start = Clock::now());

    // How much of `wanted` bytes may be sent now: all or nothing below the
    // sending quantum, so that a limited line sends in pieces of a few
    // milliseconds instead of waking for every byte.
    std::size_t Allowance(Clock::time_point now, std::size_t wanted);
    void Take(std::size_t bytes);
    // When Allowance will give something for `wanted` bytes.
    Clock::time_point ReadyAt(Clock::time_point now, std::size_t wanted);

private:
    void Refill(Clock::time_point now);
    double Needed(std::size_t wanted) const;

    double m_rate;  // bytes per second, 0: unlimited
    double m_burst;
    double m_quantum;
    double m_tokens;
    Clock::time_point m_last;
};

class Direction {
public:
    // Bytes read from `from` go to `to`, within the shared `line` and at
    // most `ownRate` bytes per second (0: no limit of its own); `recordFd`
    // (or -1) gets a copy of each chunk as it arrives.
    Direction(int from, int to, TokenBucket& line, long long ownRate, Clock::duration delay,
              int recordFd);

    bool WantsRead() const;
    bool WantsWrite() const { return m_bBlocked && !m_bDone; }
    bool Done() const { return m_bDone; }
    unsigned long long Forwarded() const { return m_forwarded; }

    // Reads what `from` has now (stamped with `now`); a close or a failure
    // of the reading side counts as its end.
    void Read(Clock::time_point now);
    // Sends what is due and allowed, then passes the end on when it is due.
    void Pump(Clock::time_point now);
    // The next time Pump has something to do without waiting for the socket;
    // `next` is lowered to it.
    void Deadline(Clock::time_point now, Clock::time_point& next);

private:
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
        std::size_t sent = 0;
    };
    void Record(const char* data, std::size_t length);
    void Break();

    int m_from;
    int m_to;
    TokenBucket& m_line;
    TokenBucket m_own;
    Clock::duration m_delay;
    int m_recordFd;
    std::deque<Chunk> m_queue;
    std::size_t m_queued = 0;  // bytes in m_queue not sent yet
    bool m_bEnded = false;     // the reading side has closed
    Clock::time_point m_endDue;
    bool m_bBlocked = false;  // the last send found the socket full
    bool m_bBroken = false;   // sending failed: what arrives is dropped
    bool m_bDone = false;     // the end was passed on, nothing more to do
    unsigned long long m_forwarded = 0;
};

// One client connection and its own connection to the target.
class Connection {
public:
    // `server` is a non-blocking socket whose connect is under way (or done,
    // with `connected`). Takes both sockets. `up` and `down` are the line's
    // buckets; `ownRate` caps each direction of this connection.
    Connection(int id, int client, int server, bool connected, TokenBucket& up, TokenBucket& down,
               long long ownRate, Clock::duration delay, int recordFd, int repliesFd);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int Id() const { return m_id; }
    // The two entries this connection wants polled (an entry with fd -1 is
    // left out by poll).
    void Events(pollfd* two) const;
    // Handles what poll reported in the two entries.
    void Handle(const pollfd* two, Clock::time_point now);
    void Pump(Clock::time_point now);
    void Deadline(Clock::time_point now, Clock::time_point& next);
    // Both directions ended, or the target could not be reached.
    bool Finished() const;
    bool Failed() const { return m_connectError != 0; }
    int ConnectError() const { return m_connectError; }
    unsigned long long Sent() const { return m_up.Forwarded(); }
    unsigned long long Received() const { return m_down.Forwarded(); }

private:
    int m_id;
    int m_client;
    int m_server;
    bool m_bConnected;
    int m_connectError = 0;
    Direction m_up;    // client to target
    Direction m_down;  // target to client
};

}  // namespace ngrelay
