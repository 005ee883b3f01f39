#pragma once
// Thread hand-over helpers: a counting pause gate and an auto-reset event.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace ng {

// A pause that nests like a thread's suspend count: the worker parks at its
// poll points while the count is above zero and goes on where it stopped once
// every Pause has been matched by a Resume.
class PauseGate {
public:
    void Pause();
    void Resume();  // an unmatched Resume does nothing
    bool IsPaused() const;
    int Count() const;

    // Blocks while paused. Returns true when it had to wait. Takes no lock
    // while nothing is paused: the worker asks for every line it handles.
    bool WaitWhilePaused() {
        return m_nPublishedCount.load(std::memory_order_acquire) != 0 && WaitWhilePausedLocked();
    }
    // As above, but gives up after `limit`; true when no longer paused.
    bool WaitWhilePausedFor(std::chrono::milliseconds limit);

private:
    bool WaitWhilePausedLocked();

    mutable std::mutex m_mutex;
    std::condition_variable m_resumed;
    int m_nCount = 0;
    std::atomic<int> m_nPublishedCount{0};  // m_nCount as last set, for the lock-free check
};

// An event that stays signalled until one waiter takes the signal. A Set made
// before anyone waits is kept, so an acknowledgement is never lost.
class AutoResetEvent {
public:
    void Set();
    void Reset();
    void Wait();
    // True when the signal was taken before the time ran out.
    bool WaitFor(std::chrono::milliseconds limit);
    // Takes the signal if it is there, without waiting.
    bool TryWait();

private:
    std::mutex m_mutex;
    std::condition_variable m_signalled;
    bool m_bSignalled = false;
};

}  // namespace ng
