#pragma once
// The main window: starts and stops download passes, steers the running
// worker (pause, stop, catch-up, priority, pending files) and shows what the
// worker reports.
//
// The worker calls the display operations on its own thread. Each call is
// put, in order, into a mailbox guarded by a std::mutex; Qt carries only a
// wake-up ("drain", queued by name) to the window's thread, which applies the
// updates there. The window never waits for the worker: the only join is
// after the worker's last act (its end-of-pass notice), or when the window
// goes away, after a stop request.

#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/Display.h"
#include "engine/PendingList.h"
#include "ui/Mailbox.h"
#include "ui/QtPasswordPrompt.h"

class CImvb;
class CProcessGroups;
class CStaticText;
class QAction;
class QGroupBox;
class QProgressBar;
class QPushButton;
class QSlider;

class CMainDialog : public QDialog, public ng::IDisplay {
    Q_OBJECT

public:
    explicit CMainDialog(QWidget* parent = nullptr);
    ~CMainDialog() override;

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

    bool IsIdle() const { return m_bIdle; }
    bool IsTimerRunning() const { return m_timer.isActive(); }

    // The window's controls by role.
    struct Controls {
        QPushButton* go = nullptr;
        QPushButton* pause = nullptr;
        QPushButton* stop = nullptr;
        QPushButton* catchUp = nullptr;
        QPushButton* groups = nullptr;
        QPushButton* setup = nullptr;
        QPushButton* pending = nullptr;
        QPushButton* close = nullptr;
        QPushButton* about = nullptr;
        QProgressBar* bars[3] = {};  // by ng::ProgressBar
        CStaticText* barTexts[3] = {};
        CStaticText* subject = nullptr;
        CStaticText* savingTo = nullptr;
        CStaticText* from = nullptr;
        CStaticText* scanned = nullptr;
        CStaticText* saved = nullptr;
        CStaticText* bytes = nullptr;
        CStaticText* rates[2] = {};  // by ng::RateField
        CStaticText* historySkipped = nullptr;
        CStaticText* crosspostsSkipped = nullptr;
        CStaticText* status = nullptr;
        QProgressBar* statusBar = nullptr;
        CStaticText* elapsed = nullptr;
        QPushButton* show = nullptr;
        QPushButton* fullSize = nullptr;
        QPushButton* deleteFile = nullptr;
        QGroupBox* priorityFrame = nullptr;
        QSlider* slider = nullptr;
        QPushButton* set = nullptr;
        QGroupBox* thumbnailFrame = nullptr;  // its caption names the picture
        CImvb* thumbnail = nullptr;
        QAction* aboutAction = nullptr;
    };
    const Controls& Ui() const { return m_ui; }

    // Applies the queued display updates; the wake-up the worker posts.
    Q_INVOKABLE void drain();

signals:
    // The window is idle again after a pass.
    void passFinished();

protected:
    // The group select and setup dialogs, run modally while idle.
    virtual void OnGroups();
    virtual void OnSetup();
    // After the setup dialog ended with OK: the title's host and the Show state.
    void ApplySetupAccepted();

    // Starts the worker's thread; false when it cannot be started.
    virtual bool StartWorker(CProcessGroups& worker, int priorityLevel);

    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    void Post(std::function<void()> update);
    void ApplyState(bool idle);
    void ApplyPassEnded();
    void ApplyThumbnail(const std::string& path);
    void ApplyShowState();
    void UpdateTitle();
    void HoldPause(bool hold);
    bool Confirm(const QString& text, bool yesIsDefault);
    void Inform(const QString& text, QMessageBox::Icon icon);

    void OnGo();
    void OnStop();
    void OnPause(bool checked);
    void OnCatchUp();
    void OnPending();
    void OnClose();
    void OnSet();
    void OnFullSize();
    void OnDeleteFile();
    void OnAbout();
    void OnTimer();

    Controls m_ui;
    QTimer m_timer;
    QtPasswordPrompt m_prompt;
    ng::PendingList m_pending;  // the worker fills it, the pending dialog edits it
    std::unique_ptr<CProcessGroups> m_pWorker;
    bool m_bIdle = true;
    bool m_bPauseHeld = false;      // the Pause button's hold on the worker
    bool m_bCloseWhenDone = false;  // the window close asked to stop the pass
    int64_t m_startTime = 0;
    QString m_strTitlePrefix;
    CMailbox<std::function<void()>> m_mailbox{this, "drain"};
};
