#include "platform/Sync.h"

namespace ng {

void PauseGate::Pause() {
    std::lock_guard lock(m_mutex);
    ++m_nCount;
    m_nPublishedCount.store(m_nCount, std::memory_order_release);
}

void PauseGate::Resume() {
    {
        std::lock_guard lock(m_mutex);
        if (m_nCount == 0) {
            return;
        }
        --m_nCount;
        m_nPublishedCount.store(m_nCount, std::memory_order_release);
        if (m_nCount > 0) {
            return;
        }
    }
    m_resumed.notify_all();
}

bool PauseGate::IsPaused() const {
    std::lock_guard lock(m_mutex);
    return m_nCount > 0;
}

int PauseGate::Count() const {
    std::lock_guard lock(m_mutex);
    return m_nCount;
}

bool PauseGate::WaitWhilePausedLocked() {
    std::unique_lock lock(m_mutex);
    if (m_nCount == 0) {
        return false;
    }
    m_resumed.wait(lock, [this] { return m_nCount == 0; });
    return true;
}

bool PauseGate::WaitWhilePausedFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_resumed.wait_for(lock, limit, [this] { return m_nCount == 0; });
}

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_signalled.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

void AutoResetEvent::Wait() {
    std::unique_lock lock(m_mutex);
    m_signalled.wait(lock, [this] { return m_bSignalled; });
    m_bSignalled = false;
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    if (!m_signalled.wait_for(lock, limit, [this] { return m_bSignalled; })) {
        return false;
    }
    m_bSignalled = false;
    return true;
}

bool AutoResetEvent::TryWait() {
    std::lock_guard lock(m_mutex);
    bool was = m_bSignalled;
    m_bSignalled = false;
    return was;
}

}  // namespace ng
