#pragma once
// The group list refresh's way into its dialog: the refresh thread leaves its
// updates in a mailbox and wakes the dialog with a queued call; the dialog
// takes them on its own thread. Only the mailbox's own lock guards shared
// data, so no widget is ever touched from the refresh thread.

#include <QObject>
#include <mutex>
#include <vector>

#include "engine/GroupListRefresh.h"

class CQtGroupListSink final : public ng::IGroupListSink {
public:
    // `method` names an invokable method of `receiver` (no arguments) that
    // calls TakeUpdates; it runs on the receiver's thread.
    CQtGroupListSink(QObject* receiver, const char* method);

    // From the refresh thread.
    void Deliver(std::vector<ng::RefreshUpdate> updates) override;
    // From the receiver's thread: everything delivered so far, in order.
    std::vector<ng::RefreshUpdate> TakeUpdates();

private:
    QObject* m_pReceiver;
    const char* m_pMethod;
    std::mutex m_mutex;
    std::vector<ng::RefreshUpdate> m_updates;
};
