#include "ui/QtPasswordPrompt.h"

#include <QThread>
#include <QTimer>
#include <chrono>
#include <future>

#include "ui/PasswordDialog.h"

struct QtPasswordPrompt::Request {
    std::promise<std::optional<std::string>> answer;
    // Set by the asking thread when it gave up: the dialog closes unanswered.
    std::atomic<bool> abandoned{false};
};

QtPasswordPrompt::QtPasswordPrompt(QWidget* window) : m_pWindow(window) {}

QtPasswordPrompt::~QtPasswordPrompt() {
    // Requests still queued belong to threads that have gone (see the header).
    m_requests.Drain(
        [](const std::shared_ptr<Request>& request) { request->answer.set_value(std::nullopt); });
}

std::optional<std::string> QtPasswordPrompt::AskPassword(const std::atomic<bool>& stop) {
    if (QThread::currentThread() == thread()) {
        return RunDialog(nullptr);
    }

    auto request = std::make_shared<Request>();
    std::future<std::optional<std::string>> answer = request->answer.get_future();
    m_requests.Post(request);

    while (answer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (stop) {
            request->abandoned = true;
            return std::nullopt;
        }
    }
    return answer.get();
}

void QtPasswordPrompt::drain() {
    // One dialog at a time: a request that comes while one is open waits
    // for it to close.
    m_requests.Drain([this](const std::shared_ptr<Request>& request) {
        std::optional<std::string> result;
        if (!request->abandoned) {
            result = RunDialog(request);
        }
        request->answer.set_value(std::move(result));
    });
}

std::optional<std::string> QtPasswordPrompt::RunDialog(const std::shared_ptr<Request>& request) {
    // Opened over its window, the prompt stays above it and centred on it
    // even under a window manager that stacks unowned windows as it likes.
    CPasswordDialog dialog(m_pWindow);
    QTimer watch;
    if (request) {
        QObject::connect(&watch, &QTimer::timeout, &dialog, [&dialog, request] {
            if (request->abandoned) {
                dialog.reject();
            }
        });
        watch.start(100);
    }
    if (dialog.exec() == QDialog::Accepted && !(request && request->abandoned)) {
        return dialog.GetPassword();
    }
    return std::nullopt;
}
