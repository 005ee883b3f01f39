#pragma once
// What the download worker shows in the main window. The worker calls the
// display operations on its own thread, many thousand times a second on a
// fast link; the window shows the latest of each at most kRefresh apart:
// every value the worker sets is kept in a pending state (the latest wins),
// and the window's thread applies it. A message box and the end of the pass
// come in order after everything reported before them, and nothing reported
// before the end of a pass is lost.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/Display.h"
#include "ui/Mailbox.h"
#include "ui/MainWindowLayout.h"

class QWidget;

class CMainDisplay final : public QObject, public ng::IDisplay {
    Q_OBJECT

public:
    // `ui` are the controls of `window`, which also parents the message boxes.
    CMainDisplay(const MainControls& ui, QWidget* window);

    static constexpr std::chrono::milliseconds kRefresh{40};

    // The display operations: safe from any thread.
    void SetStatusText(const std::string& text) override;
    void SetSubjectText(const std::string& text) override;
    void SetSavingToText(const std::string& text) override;
    void SetFromText(const std::string& text) override;
    void ShowThumbnail(const std::string& path) override;
    void SetBytesTransferred(int64_t count) override;
    void SetArticlesScanned(int count) override;
    void SetArticlesSaved(int count) override;
    void SetRate(ng::RateField field, int64_t seconds, int64_t bytes) override;
    void SetRateSince(ng::RateField field, int64_t start, int64_t end, int64_t bytes) override;
    void SetHistorySkipped(int count) override;
    void SetCrosspostsSkipped(int count) override;
    void SetProgress(ng::ProgressBar bar, int done, int total, bool reset) override;
    void SetStatusProgress(int done, int total) override;
    void EnablePending(bool enable) override;
    void ShowMessage(const std::string& text) override;
    void PassEnded() override;

    // On the window's thread: shows the picture in the thumbnail, captioned
    // with its name; "" empties it. Other than JPEG files and unreadable
    // pictures leave the thumbnail as it is.
    void ApplyThumbnail(const std::string& path);

signals:
    // The worker's end-of-pass notice, its last act, on the window's thread.
    void passEnded();

private:
    // Everything reported since the window last looked, the latest of each.
    struct Shown {
        struct Bar {
            int done = 0, total = 0;
            bool reset = false;
        };
        std::optional<std::string> status, subject, savingTo, from, thumbnail, rates[2];
        std::optional<int64_t> bytes;
        std::optional<int> scanned, saved, historySkipped, crosspostsSkipped, statusPercent;
        std::optional<Bar> bars[3];
        std::optional<bool> pendingEnabled;
    };
    // A state, and what comes after it in order: a message, or the pass's end.
    enum class After { Nothing, Message, End };
    struct Step {
        Shown shown;
        After after = After::Nothing;
        std::string message;
    };

    Q_INVOKABLE void drain();
    // Sets something in the state waiting to be shown.
    template <typename Set>
    void Update(Set&& set);
    // Ends the waiting state with a message or the pass's end.
    void Close(After after, std::string message = {});
    void Apply(Step& step);

    const MainControls& m_ui;
    QWidget* m_pWindow;
    CMailbox<Step> m_mailbox{this, "drain"};
    QTimer m_later;  // a drain held back until kRefresh has passed
    // A message or the pass's end is waiting: shown at once, not a refresh later.
    std::atomic<bool> m_bClosedStep{false};
    std::chrono::steady_clock::time_point m_nextApply;
};
