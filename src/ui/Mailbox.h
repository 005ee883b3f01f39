#pragma once
// Hands work from any thread to a QObject's thread. Items go in under a
// std::mutex; Qt carries only a wake-up, a queued call of one of the
// receiver's invokable methods by name, posted when an item goes into an
// empty mailbox. The receiver drains everything there is when it wakes, so
// one wake-up serves every item that arrives before the mailbox is emptied.
//
// Debian's Qt is not built for ThreadSanitizer, which therefore cannot see
// Qt's own synchronisation; it does see the mutex, and nothing else crosses.

#include <QObject>
#include <mutex>
#include <utility>
#include <vector>

template <typename T>
class CMailbox {
public:
    // `method` names an invokable method of `receiver` without arguments; it
    // runs on the receiver's thread and calls Drain. The receiver must
    // outlive every Post.
    CMailbox(QObject* receiver, const char* method) : m_pReceiver(receiver), m_pMethod(method) {}
    CMailbox(const CMailbox&) = delete;
    CMailbox& operator=(const CMailbox&) = delete;

    // From any thread.
    void Post(T item) {
        Fill([&item](std::vector<T>& items) { items.push_back(std::move(item)); });
    }

    // From any thread: `add(items)` adds to the items waiting, under the
    // lock; it may also fold a new item into the last one.
    template <typename Add>
    void Fill(Add&& add) {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            bool wasEmpty = m_items.empty();
            add(m_items);
            wake = wasEmpty && !m_items.empty();
        }
        if (wake) {
            QMetaObject::invokeMethod(m_pReceiver, m_pMethod, Qt::QueuedConnection);
        }
    }

    // From any thread: a wake-up even when items were waiting already, for
    // a receiver that holds its drains back and must not hold this one.
    void Wake() { QMetaObject::invokeMethod(m_pReceiver, m_pMethod, Qt::QueuedConnection); }

    // From the receiver's thread: `apply(item)` for every item, in order,
    // until none are left. A call from inside `apply` (an item that runs a
    // nested event loop, such as a message box) returns at once; the outer
    // call goes on with the items that came meanwhile, so they keep their
    // order behind the one still being applied.
    template <typename Apply>
    void Drain(Apply&& apply) {
        if (m_bDraining) {
            return;
        }
        m_bDraining = true;
        for (std::vector<T> items = TakeAll(); !items.empty(); items = TakeAll()) {
            for (T& item : items) {
                apply(item);
            }
        }
        m_bDraining = false;
    }

private:
    std::vector<T> TakeAll() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_items, {});
    }

    QObject* const m_pReceiver;
    const char* const m_pMethod;
    std::mutex m_mutex;
    std::vector<T> m_items;    // guarded by m_mutex
    bool m_bDraining = false;  // the receiver's thread only
};
