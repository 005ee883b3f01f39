#pragma once
// Runs the download passes of the main window: Go, Stop, Pause, Catch-up,
// Pending and Set, the elapsed time, and the controls' state while a pass
// runs. It owns the worker and never waits for it, except after the
// worker's end-of-pass notice (its last act) or, when it goes, after a stop
// request.

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/PendingList.h"
#include "ui/MainWindowLayout.h"
#include "ui/QtPasswordPrompt.h"

class CProcessGroups;
class QWidget;

namespace ng {
class IDisplay;
}

class CPassControl final : public QObject {
    Q_OBJECT

public:
    // Starts the worker's thread at a priority level; false when it cannot.
    using Starter = std::function<bool(CProcessGroups& worker, int priorityLevel)>;

    // `ui` are the controls of `window`, which also parents the dialogs;
    // the worker reports to `display`.
    CPassControl(const MainControls& ui, QWidget* window, ng::IDisplay& display, Starter start);
    ~CPassControl() override;

    bool IsIdle() const { return m_bIdle; }
    bool IsTimerRunning() const { return m_timer.isActive(); }

    // Shows the idle or running state in the controls.
    void ShowState();
    // The worker's end-of-pass notice: back to idle.
    void OnPassEnded();
    // Asks a running pass to stop without asking the user; a held pause
    // lets go so that the worker can see the request.
    void Stop();

private:
    void OnGo();
    void OnStop();
    void OnPause(bool checked);
    void OnCatchUp();
    void OnPending();
    void OnSet();
    void OnTimer();
    void SetIdle(bool idle);
    void HoldPause(bool hold);

    const MainControls& m_ui;
    QWidget* m_pWindow;
    ng::IDisplay& m_display;
    Starter m_start;
    QTimer m_timer;
    int64_t m_startTime = 0;
    bool m_bIdle = true;
    bool m_bPauseHeld = false;  // the Pause button's hold on the worker
    QtPasswordPrompt m_prompt;
    ng::PendingList m_pending;                  // the worker fills it, the pending dialog edits it
    std::unique_ptr<CProcessGroups> m_pWorker;  // after what it uses, so it goes first
};
