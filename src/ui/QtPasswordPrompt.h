#pragma once
// The password prompt for logins that run on a thread of their own (the
// download worker, the group list refresh). The dialog must run on the UI
// thread, so the asking thread hands the request over and waits for the
// answer; once its `stop` flag is set it gives up waiting (as if cancelled)
// and the dialog, if already open, closes by itself. The asking thread never
// waits on Qt, so a UI thread that joins it cannot deadlock.
//
// Create and destroy the object on the UI thread. It must outlive every
// AskPassword call in progress: join (or stop and join) the threads that use
// it before destroying it.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "engine/Display.h"
#include "ui/Mailbox.h"

class QtPasswordPrompt final : public QObject, public ng::IPasswordPrompt {
    Q_OBJECT

public:
    // The prompt opens over `window` when one is given (it may go first).
    explicit QtPasswordPrompt(QWidget* window = nullptr);
    ~QtPasswordPrompt() override;

    // From any thread. On the UI thread itself the dialog simply runs.
    std::optional<std::string> AskPassword(const std::atomic<bool>& stop) override;

private:
    struct Request;
    // Runs the dialogs of the requests waiting, one after another.
    Q_INVOKABLE void drain();
    std::optional<std::string> RunDialog(const std::shared_ptr<Request>& request);

    QPointer<QWidget> m_pWindow;
    CMailbox<std::shared_ptr<Request>> m_requests{this, "drain"};
};
