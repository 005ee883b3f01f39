#pragma once
// What the pieces of one download pass share: the window, seen through the
// pause gate (a paused pass shows nothing new); the stop flag and the status
// the pass ends with; and the connection to the news server.

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/Display.h"
#include "net/Socket.h"
#include "nntp/Reply.h"
#include "platform/Sync.h"

namespace ng {

class PassContext {
public:
    PassContext(IDisplay& display, PauseGate& pause, std::atomic<bool>& stop)
        : m_display(display), m_pause(pause), m_stop(stop) {}

    // The window, once the pass is not paused.
    IDisplay& Window() {
        m_pause.WaitWhilePaused();
        return m_display;
    }
    PauseGate& Pause() { return m_pause; }
    // Waits while paused; true when a stop was requested. Cheap when not
    // paused: asked for every line.
    bool PollStop() {
        m_pause.WaitWhilePaused();
        return m_stop;
    }
    bool StopRequested() const { return m_stop; }
    void RequestStop() { m_stop = true; }
    // A fatal condition: the pass stops and ends with this status.
    void Fail(std::string finalStatus) {
        m_stop = true;
        m_strFinalStatus = std::move(finalStatus);
    }
    void SetFinalStatus(std::string text) { m_strFinalStatus = std::move(text); }
    const std::string& FinalStatus() const { return m_strFinalStatus; }

    // The server connection, owned here for the pass.
    void Connect(std::unique_ptr<CNewsSocket> socket, std::string host) {
        m_pSocket = std::move(socket);
        m_strHost = std::move(host);
    }
    CNewsSocket* Socket() { return m_pSocket.get(); }
    // Closes the connection without a quit command.
    void Disconnect() { m_pSocket.reset(); }
    bool Connected() const { return m_pSocket && m_pSocket->IsConnected(); }
    void NoteConnectionLost() { Fail("Error--connection to " + m_strHost + " lost"); }
    // A reply past the caps: lines already read are used, then the
    // connection counts as lost.
    void DropConnection() {
        if (m_pSocket) {
            m_pSocket->Abandon(EMSGSIZE);
        }
    }
    void SendLine(const std::string& command) {
        if (m_pSocket) {
            m_pSocket->SendLine(command);
        }
    }
    // The next line from the server, valid until the next read. A reply that
    // never came because the connection went is a lost connection, also
    // where no later poll point would notice it (the last group's GROUP or
    // XOVER, the next ARTICLE).
    std::string_view ReadLineView() {
        if (!m_pSocket) {
            return {};
        }
        std::string_view line = m_pSocket->ReadLineView();
        if (line.empty() && !Connected()) {
            NoteConnectionLost();
        }
        return line;
    }
    std::string ReadLine() { return std::string(ReadLineView()); }

    // Reads the lines of a multi-line block up to its "." line, each a poll
    // point: a lost connection or a stop ends it early (false). Past `cap`
    // bytes held (each line counting its bytes and kHeldLineCost, what
    // holding it costs) the connection is dropped: a hostile server must not
    // exhaust memory. Each line goes to onLine as received, as a view valid
    // until the next line is read: nothing is allocated per line.
    static constexpr int64_t kHeldLineCost = 64;
    template <typename OnLine>
    bool ReadBlock(int64_t cap, OnLine&& onLine) {
        int64_t held = 0;
        for (std::string_view line = ReadLineView(); !nntp::IsEndOfBlock(line);
             line = ReadLineView()) {
            if (!Connected()) {
                NoteConnectionLost();
            }
            if (PollStop()) {
                return false;
            }
            held += static_cast<int64_t>(line.size()) + kHeldLineCost;
            if (held > cap) {
                DropConnection();  // noticed as a lost connection at the next line
                continue;
            }
            onLine(line);
        }
        return true;
    }

private:
    IDisplay& m_display;
    PauseGate& m_pause;
    std::atomic<bool>& m_stop;
    std::string m_strFinalStatus;
    std::unique_ptr<CNewsSocket> m_pSocket;
    std::string m_strHost;
};

}  // namespace ng
