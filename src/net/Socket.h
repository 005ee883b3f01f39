#pragma once
// The server line connection: one TCP connection to a news server that
// carries text lines. It connects, sends command lines the caller has
// already terminated, and hands back reply lines one at a time with their
// own line ends. It knows nothing of NNTP itself.
//
// Every wait can be cut short: the owner hands in a stop flag and a pause
// gate. A stop ends a wait within a second; a pause parks the connection
// (nothing is sent, no line is handed out) until it is resumed.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <string>

namespace ng {
class PauseGate;
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

    // A line longer than this fails the connection (state Failed) instead
    // of growing without bound.
    static constexpr size_t kMaxLineLength = 4 * 1024 * 1024;
    static constexpr std::chrono::seconds kDefaultReadTimeout{180};

    explicit CNewsSocket(bool create = true);
    virtual ~CNewsSocket();
    CNewsSocket(const CNewsSocket&) = delete;
    CNewsSocket& operator=(const CNewsSocket&) = delete;

    // Waits in OpenConnection and ReadLine watch these. Either may be null.
    void SetInterrupt(const std::atomic<bool>* stop, ng::PauseGate* pause);
    // How long a read may wait for the server before the connection counts
    // as lost (state Failed). Zero or less means the default.
    void SetReadTimeout(std::chrono::milliseconds timeout);

    // Resolves the host (a dotted or IPv6 address is used directly),
    // connects, and reads and drops the greeting line. True when connected.
    bool OpenConnection(const std::string& host, int port);
    // Queues one complete command (with its "\r\n") and sends what the
    // network takes at once; the rest goes out during later waits.
    void SendLine(const std::string& text);
    // The next line with its line end, or "" once the connection is no
    // longer connected and no received line is left, or when a stop cut the
    // wait short (then InterruptedByStop() is true and the state unchanged).
    std::string ReadLine();
    // The last ReadLine or OpenConnection returned early because of a stop.
    bool InterruptedByStop() const { return m_bInterrupted; }

    int m_nState = NoSocket;
    std::string m_strError;

    // For tests: bytes handed to the network so far and lines waiting.
    size_t PendingSendBytes() const;

private:
    // (implementation members)
    std::deque<std::string> m_receivedLines;
    std::string m_strPartialLine;
    std::deque<std::string> m_sendQueue;
    int m_fd = -1;
    const std::atomic<bool>* m_pStop = nullptr;
    ng::PauseGate* m_pPause = nullptr;
    std::chrono::milliseconds m_readTimeout = kDefaultReadTimeout;
    bool m_bInterrupted = false;
};
