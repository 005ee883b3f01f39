#pragma once
// What the download worker shows in the main window. The worker calls the
// display operations on its own thread; each call is put, in order, into a
// mailbox, and the window's thread applies the updates to the controls.

#include <QObject>
#include <cstdint>
#include <functional>
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

    // The display operations: safe from any thread, shown in the order issued.
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
    Q_INVOKABLE void drain();
    void Post(std::function<void()> update);

    const MainControls& m_ui;
    QWidget* m_pWindow;
    CMailbox<std::function<void()>> m_mailbox{this, "drain"};
};
