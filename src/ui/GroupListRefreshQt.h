#pragma once
// The group list refresh's way into its dialog: the refresh thread leaves its
// updates in a mailbox and wakes the dialog with a queued call; the dialog
// takes them on its own thread. Only the mailbox's own lock guards shared
// data, so no widget is ever touched from the refresh thread.

#include <QObject>
#include <vector>

#include "engine/GroupListRefresh.h"
#include "ui/Mailbox.h"

class CQtGroupListSink final : public ng::IGroupListSink {
public:
    // `method` names an invokable method of `receiver` (no arguments) that
    // calls TakeUpdates; it runs on the receiver's thread.
    CQtGroupListSink(QObject* receiver, const char* method) : m_mailbox(receiver, method) {}

    // From the refresh thread.
    void Deliver(std::vector<ng::RefreshUpdate> updates) override;
    // From the receiver's thread: `apply(update)` for everything delivered
    // so far, in order.
    template <typename Apply>
    void TakeUpdates(Apply&& apply) {
        m_mailbox.Drain(apply);
    }

private:
    CMailbox<ng::RefreshUpdate> m_mailbox;
};
