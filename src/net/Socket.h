#pragma once
// The server line connection: one TCP connection to a news server that
// carries text lines. It connects, sends command lines the caller has
// already terminated, and hands back reply lines one at a time with their
// own line ends. It knows nothing of NNTP itself.
//
// A line is everything up to and including '\n'; a '\r' before it stays
// part of the line, and so do any NUL bytes. Text after the last '\n' is
// never handed out.
//
// Every wait can be cut short: the owner hands in a stop flag and a pause
// gate. A stop ends a wait within a second; a pause parks the connection
// (nothing is sent, no line is handed out) until it is resumed, and a stop
// given while paused is acted on only after the resume.
//
// Waits have a time limit (SetReadTimeout): a server that stays silent that
// long, or a connect that takes that long, counts as a lost connection. So
// does one that trickles: every read timeout's worth of waiting must bring
// at least kMinBytesPerSecond a second of it, or a byte every few seconds
// would hold the pass for ever.
//
// One connection belongs to one thread; only the stop flag and the pause
// gate may be touched from elsewhere.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/ByteStream.h"
#include "net/TlsStream.h"

namespace ng {
class PauseGate;
}

// "[2001:db8::1]" names the address inside the brackets (how a host with
// colons is written beside a port); any other host is itself.
inline std::string HostWithoutBrackets(const std::string& host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

class CNewsSocket {
public:
    enum State {
        NoSocket = 0,
        Idle = 1,
        Connecting = 2,
        Connected = 5,
        Failed = 6,
    };

    // A line longer than this (line end included) fails the connection
    // (state Failed) instead of growing without bound.
    static constexpr size_t kMaxLineLength = 4 * 1024 * 1024;
    static constexpr std::chrono::seconds kDefaultReadTimeout{180};
    static constexpr int64_t kMinBytesPerSecond = 32;

    explicit CNewsSocket(bool create = true);
    ~CNewsSocket();
    CNewsSocket(const CNewsSocket&) = delete;
    CNewsSocket& operator=(const CNewsSocket&) = delete;

    // Waits in OpenConnection, SendLine and ReadLine watch these. Either may
    // be null. Both must outlive the connection.
    void SetInterrupt(const std::atomic<bool>* stop, ng::PauseGate* pause);
    // How long a read may wait for the server (and a connect may take)
    // before the connection counts as lost (state Failed). Zero or less
    // means the default.
    void SetReadTimeout(std::chrono::milliseconds timeout);

    // Resolves the host (a dotted or IPv6 address is used directly, with or
    // without brackets), connects, and reads and drops the greeting line.
    // True when connected and a greeting line arrived. A failed lookup
    // leaves the state as it was; a failed connect leaves it Failed.
    bool OpenConnection(const std::string& host, int port);
    // The connect of OpenConnection alone, without the greeting.
    bool Connect(const std::string& host, int port);

    // Turns TLS on (from here both ways go through it), waiting for the
    // handshake as for a read. False when it failed: TlsProblem() says why,
    // and the connection is Failed; or when a stop cut it short.
    bool StartTls(const ng::TlsOptions& options);
    const std::string& TlsProblem() const { return m_strTlsProblem; }
    // Turns compression on (RFC 8054) for everything after the server's 206.
    void StartCompression();
    // Queues one complete command (with its "\r\n") and sends what the
    // network takes at once; the rest goes out during later waits, in order.
    // Empty text does nothing.
    void SendLine(const std::string& text);
    // The next line with its line end. Lines already received are handed
    // out even after the connection closed or failed. Returns "" when none
    // is left and the connection is no longer connected (closed by the
    // server: Idle; error, overlong line or silence past the read timeout:
    // Failed), or when a stop cut the wait short (then InterruptedByStop()
    // is true and the state unchanged).
    std::string ReadLine();
    // As ReadLine, without a copy: the line stays in the connection's
    // receive buffer, and the view is valid until the next read.
    std::string_view ReadLineView();
    // The whole lines already received that come next, end to end, up to
    // the first that starts with "." (the end of a block, or dot-stuffed)
    // or would be too long: no waiting and no reading. `ends` gets where
    // each line ends in the text. Empty when the next line is not one of
    // them; ReadLineView takes it. Valid until the next read.
    std::string_view TakeReceivedLines(std::vector<uint32_t>& ends);
    // The last ReadLine or OpenConnection returned early because of a stop.
    bool InterruptedByStop() const { return m_bInterrupted; }

    // One of State; callers mostly ask whether it is still Connected.
    int GetState() const { return m_nState; }
    bool IsConnected() const { return m_nState == Connected; }
    // Gives the connection up as failed (a reply past the caller's caps):
    // lines already received are still handed out, nothing more is read.
    void Abandon(int error) { RecordError(error); }

    // For tests: bytes queued by SendLine that the network has not taken yet.
    size_t PendingSendBytes() const;
    // The system error code behind the last failure: ETIMEDOUT for a silent
    // server or a connect that took too long, EMSGSIZE for an overlong line.
    int LastError() const { return m_nLastError; }

private:
    enum class WaitResult { Ready, Stopped, TimedOut, Failed };
    using Clock = std::chrono::steady_clock;

    bool CreateSocket(int family);
    void CloseSocket();
    int RecordError(int code);
    WaitResult ConnectTo(const void* address, unsigned addressLength, int family,
                         Clock::time_point& deadline);
    // Parks while paused; true when it had to wait.
    bool ParkWhilePaused();
    bool StopRequested() const;
    WaitResult WaitFor(short events, Clock::time_point& deadline, short& revents);
    void FlushSendQueue();
    bool OutputWaiting() const { return !m_sendQueue.empty() || m_bStreamHolds; }
    std::string_view OverlongLine();
    // Room to receive into: handed-out lines dropped, the buffer grown only
    // for a line longer than it.
    void MakeRoom();

    int m_nState = NoSocket;
    std::unique_ptr<ng::ByteStream> m_stream;  // the socket, or TLS and compression over it
    bool m_bStreamHolds = false;               // the stream keeps bytes it could not send yet
    std::string m_strTlsProblem;
    // Received bytes: [m_begin, m_end) not yet handed out, with no line feed
    // before m_scan.
    std::unique_ptr<char[]> m_in;
    size_t m_capacity = 0;
    size_t m_begin = 0;
    size_t m_scan = 0;
    size_t m_end = 0;
    std::deque<std::string> m_sendQueue;
    size_t m_nSentOfHead = 0;  // bytes of the queue's head already sent
    int m_fd = -1;
    int m_nFamily = 0;
    bool m_bFresh = false;  // the socket has not been used for a connect yet
    const std::atomic<bool>* m_pStop = nullptr;
    ng::PauseGate* m_pPause = nullptr;
    std::chrono::milliseconds m_readTimeout = kDefaultReadTimeout;
    bool m_bInterrupted = false;
    bool m_bParked = false;          // the last wait parked for a pause
    Clock::duration m_waited{};      // waiting for the server since the last progress check
    int64_t m_nBytesSinceCheck = 0;  // received since the last progress check
    int m_nLastError = 0;
};
