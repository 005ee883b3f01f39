#include "ui/PassControl.h"

#include <QGroupBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "engine/DisplayFormat.h"
#include "engine/ProcessGroups.h"
#include "platform/System.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/MessageBoxes.h"
#include "ui/PendingDialog.h"
#include "ui/StaticText.h"

namespace keys = ng::keys;

namespace {

constexpr int kTimerPeriodMs = 990;

int StoredPriority() {
    return ng::Read(ng::Profile(), ng::setting::kPriority);
}

}  // namespace

CPassControl::CPassControl(const MainControls& ui, QWidget* window, ng::IDisplay& display,
                           Starter start)
    : m_ui(ui), m_pWindow(window), m_display(display), m_start(std::move(start)) {
    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CPassControl::OnTimer);
    connect(m_ui.go, &QPushButton::clicked, this, &CPassControl::OnGo);
    connect(m_ui.stop, &QPushButton::clicked, this, &CPassControl::OnStop);
    connect(m_ui.pause, &QPushButton::toggled, this, &CPassControl::OnPause);
    connect(m_ui.catchUp, &QPushButton::clicked, this, &CPassControl::OnCatchUp);
    connect(m_ui.pending, &QPushButton::clicked, this, &CPassControl::OnPending);
    connect(m_ui.set, &QPushButton::clicked, this, &CPassControl::OnSet);
    // Out-of-range settings show at the slider's nearest end.
    m_ui.slider->setValue(StoredPriority());
    SetIdle(true);
}

CPassControl::~CPassControl() {
    if (m_pWorker) {
        // Nothing may keep the worker from seeing the stop: not a pause, and
        // not a password prompt (which gives up once the stop is set).
        Stop();
        m_pWorker->Join();
    }
}

void CPassControl::ShowState() {
    SetIdle(m_bIdle);
}

void CPassControl::SetIdle(bool idle) {
    m_bIdle = idle;
    m_ui.go->setEnabled(idle);
    m_ui.stop->setEnabled(!idle);
    m_ui.go->setDefault(idle);
    m_ui.stop->setDefault(!idle);
    m_ui.catchUp->setEnabled(!idle);
    m_ui.pause->setEnabled(!idle);
    m_ui.groups->setEnabled(idle);
    m_ui.setup->setEnabled(idle);
    m_ui.close->setEnabled(idle);
    m_ui.priorityFrame->setEnabled(!idle);
    m_ui.slider->setEnabled(!idle);
    m_ui.set->setEnabled(!idle);
}

void CPassControl::OnPassEnded() {
    m_timer.stop();
    if (m_pWorker) {
        m_pWorker->Join();  // its end-of-pass notice was its last act
    }
    // A pause pressed after the worker had finished holds nothing any more.
    HoldPause(false);
    SetIdle(true);
}

void CPassControl::Stop() {
    HoldPause(false);
    if (m_pWorker) {
        m_pWorker->RequestStop();
    }
}

void CPassControl::HoldPause(bool hold) {
    if (hold != m_bPauseHeld && m_pWorker) {
        if (hold) {
            m_pWorker->Pause();
        } else {
            m_pWorker->Resume();
        }
    }
    m_bPauseHeld = hold && m_pWorker;
    QSignalBlocker quiet(m_ui.pause);
    m_ui.pause->setChecked(m_bPauseHeld);
}

void CPassControl::OnGo() {
    if (!m_bIdle) {
        return;
    }
    if (ng::Read(ng::Profile(), ng::setting::kNNTPHost).empty()) {
        ng::ui::Tell(m_pWindow, QStringLiteral("No news server specified -- run 'Setup'"),
                     QMessageBox::Information);
        return;
    }
    m_startTime = ng::NowSeconds();
    m_timer.start();
    SetIdle(false);

    int level = ng::PriorityLevelForSetting(StoredPriority());
    m_pWorker.reset();  // the previous pass's worker, long finished
    m_pWorker = std::make_unique<CProcessGroups>(ng::Profile(), m_display, &m_prompt, m_pending);
    if (!m_start(*m_pWorker, level)) {
        m_pWorker.reset();
        m_timer.stop();
        SetIdle(true);
        ng::ui::Tell(m_pWindow,
                     QStringLiteral("The download could not be started: no new thread could be "
                                    "created.\n\nClose other programs and press 'Go' again."),
                     QMessageBox::Warning);
    }
}

void CPassControl::OnStop() {
    if (m_bIdle ||
        !ng::ui::AskYesNo(m_pWindow, QStringLiteral("Are you sure you want to stop?"), true)) {
        return;
    }
    // The pass may have ended while the question was open.
    if (!m_bIdle && m_pWorker) {
        m_pWorker->RequestStop();
    }
}

void CPassControl::OnPause(bool checked) {
    HoldPause(checked && !m_bIdle);
}

void CPassControl::OnCatchUp() {
    if (m_bIdle ||
        !ng::ui::AskYesNo(m_pWindow,
                          QStringLiteral("This will cause all articles in this group to be "
                                         "marked as read.\n\nDo you wish to continue?"),
                          false)) {
        return;
    }
    if (!m_bIdle && m_pWorker) {
        m_pWorker->SetCatchUp(true);
        m_pWorker->RequestStop();
    }
}

void CPassControl::OnPending() {
    if (m_bIdle || !m_pWorker) {
        return;
    }
    // The pause nests with the Pause button's; the edit session keeps the
    // worker off the list even before the pause takes hold.
    m_pWorker->Pause();
    {
        ng::PendingList::EditSession session(m_pending);
        CPendingDialog dialog(session, m_pWindow);
        dialog.exec();
    }
    m_pWorker->Resume();
}

void CPassControl::OnSet() {
    int position = m_ui.slider->value();
    if (position < 1 || position > 5) {
        return;
    }
    if (m_pWorker && !m_bIdle) {
        // Raising the priority may be refused; the worker then keeps its own.
        m_pWorker->SetPriority(ng::PriorityLevelForSetting(position));
    }
    ng::Profile().WriteProfileInt(keys::kProductSection, keys::kPriority, position);
}

void CPassControl::OnTimer() {
    m_ui.elapsed->setText(QString::fromStdString(ng::ElapsedText(ng::NowSeconds() - m_startTime)));
}
