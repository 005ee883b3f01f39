#pragma once
// The refresh of All Groups in the group select dialog. The core's refresh
// runs on a thread of its own and delivers its updates into a mailbox; this
// applies them on the dialog's thread to All Groups and the status line, so
// no widget is ever touched from the refresh thread.

#include <QObject>
#include <string>
#include <vector>

#include "engine/GroupListRefresh.h"
#include "ui/Mailbox.h"
#include "ui/QtPasswordPrompt.h"

class CAllGroupsList;
class QLabel;

class CGroupListRefreshQt final : public QObject, private ng::IGroupListSink {
    Q_OBJECT
public:
    // Destroying it stops a refresh that still runs and waits for its thread.
    CGroupListRefreshQt(CAllGroupsList& allGroups, QLabel* status);

    // Starts a refresh with the group filter as the dialog's field holds it.
    // False when one runs or its thread cannot be started.
    bool Start(const std::string& groupFilter);
    // Ends the refresh early; it still finishes as usual.
    void Stop() { m_refresh.Stop(); }
    // From Start until the refresh's end has been applied.
    bool Running() const { return m_bRunning; }

signals:
    // The refresh has ended and its thread is gone.
    void finished();

private:
    void Deliver(std::vector<ng::RefreshUpdate> updates) override;
    Q_INVOKABLE void drain();

    CAllGroupsList& m_allGroups;
    QLabel* m_pStatus;
    bool m_bRunning = false;
    CMailbox<ng::RefreshUpdate> m_updates{this, "drain"};
    QtPasswordPrompt m_prompt;
    ng::CGroupListRefresh m_refresh;  // last: its thread ends before the rest goes
};
