#include "ui/GroupListRefreshQt.h"

#include <utility>

CQtGroupListSink::CQtGroupListSink(QObject* receiver, const char* method)
    : m_pReceiver(receiver), m_pMethod(method) {}

void CQtGroupListSink::Deliver(std::vector<ng::RefreshUpdate> updates) {
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        wake = m_updates.empty();
        for (auto& update : updates) {
            // Two status texts in a row: the dialog would only ever show the
            // second, so a slow dialog never piles them up.
            if (update.kind == ng::RefreshUpdate::Status && !m_updates.empty() &&
                m_updates.back().kind == ng::RefreshUpdate::Status) {
                m_updates.back().text = std::move(update.text);
            } else {
                m_updates.push_back(std::move(update));
            }
        }
    }
    // One wake-up per filled mailbox; the receiver takes all there is.
    if (wake) {
        QMetaObject::invokeMethod(m_pReceiver, m_pMethod, Qt::QueuedConnection);
    }
}

std::vector<ng::RefreshUpdate> CQtGroupListSink::TakeUpdates() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_updates, {});
}
