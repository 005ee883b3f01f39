#pragma once
// What the pieces of one download pass share: the window, seen through the
// pause gate (a paused pass shows nothing new); the stop flag; and the
// status the pass ends with.

#include <atomic>
#include <mutex>
#include <string>

#include "engine/Display.h"
#include "platform/Sync.h"

namespace ng {

class PassContext {
public:
    static constexpr char kComplete[] = "Operation complete";

    PassContext(IDisplay& display, PauseGate& pause, std::atomic<bool>& stop)
        : m_display(display), m_pause(pause), m_stop(stop) {}

    // The window, once the pass is not paused.
    IDisplay& Window() {
        m_pause.WaitWhilePaused();
        return m_display;
    }
    PauseGate& Pause() { return m_pause; }
    const std::atomic<bool>& StopFlag() const { return m_stop; }
    // Waits while paused; true when a stop was requested. Cheap when not
    // paused: asked for every line.
    bool PollStop() {
        m_pause.WaitWhilePaused();
        return m_stop;
    }
    bool StopRequested() const { return m_stop; }
    void RequestStop() { m_stop = true; }
    // A fatal condition: the pass stops and ends with this status. Any
    // thread of the pass may say so.
    void Fail(std::string finalStatus) {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_strFinalStatus = std::move(finalStatus);
    }
    // A failure the pass goes on after (one group's folder, one article's
    // parts): it still ends with this status, the first such one, unless a
    // fatal one comes later.
    void NoteFailure(std::string finalStatus) {
        std::lock_guard lock(m_mutex);
        if (m_strFinalStatus == kComplete) {
            m_strFinalStatus = std::move(finalStatus);
        }
    }
    void SetFinalStatus(std::string text) {
        std::lock_guard lock(m_mutex);
        m_strFinalStatus = std::move(text);
    }
    std::string FinalStatus() const {
        std::lock_guard lock(m_mutex);
        return m_strFinalStatus;
    }

private:
    IDisplay& m_display;
    PauseGate& m_pause;
    std::atomic<bool>& m_stop;
    mutable std::mutex m_mutex;  // the final status, which fetching threads may set
    std::string m_strFinalStatus;
};

}  // namespace ng
