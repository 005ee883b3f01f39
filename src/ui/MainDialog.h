#pragma once
// The main window: its controls (MainWindowLayout), what the download
// worker shows in them (CMainDisplay), the passes it runs (CPassControl),
// and the window's own commands: the group select and setup dialogs, the
// thumbnail's Show, Full Size and Delete File, About, and closing.

#include <QDialog>

#include "ui/MainDisplay.h"
#include "ui/MainWindowLayout.h"
#include "ui/PassControl.h"

class CProcessGroups;

class CMainDialog : public QDialog {
    Q_OBJECT

public:
    using Controls = MainControls;

    explicit CMainDialog(QWidget* parent = nullptr);

    bool IsIdle() const { return m_pass.IsIdle(); }
    bool IsTimerRunning() const { return m_pass.IsTimerRunning(); }
    const Controls& Ui() const { return m_ui; }
    // The setup dialog with a hint for a first run, where nothing is set.
    void OpenFirstSetup();
    // What the worker reports to; safe from any thread.
    ng::IDisplay& Display() { return m_display; }

protected:
    // Starts the worker's thread; false when it cannot be started.
    virtual bool StartWorker(CProcessGroups& worker, int priorityLevel);

    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The host in the title and the thumbnail's Show, as stored.
    void ApplySettings();
    void ApplyShowState();
    void OnPassEnded();
    void OnGroups();
    void OnSetup();
    void OnClose();
    void OnFullSize();
    void OnDeleteFile();
    void OnAbout();

    // In this order: each piece uses the ones before it, and the pass
    // control stops and joins the worker before the display goes.
    Controls m_ui;
    CMainDisplay m_display;
    CPassControl m_pass;
    bool m_bCloseWhenDone = false;  // the window close asked to stop the pass
};
