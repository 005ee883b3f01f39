#include "ui/MainDialog.h"

#include <unistd.h>

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QIcon>
#include <QPushButton>
#include <cerrno>
#include <cstring>

#include "engine/ProcessGroups.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "ui/AboutDialog.h"
#include "ui/GroupSelectDialog.h"
#include "ui/Imvb.h"
#include "ui/MessageBoxes.h"
#include "ui/SetupDialog.h"
#include "ui/ThumbnailDialog.h"
#include "ui/UiText.h"

namespace keys = ng::keys;
using ng::ui::FromBytes;

CMainDialog::CMainDialog(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_ui(BuildMainWindow(this)),
      m_display(m_ui, this),
      m_pass(m_ui, this, m_display, [this](CProcessGroups& worker, int priorityLevel) {
          return StartWorker(worker, priorityLevel);
      }) {
    setObjectName(QStringLiteral("mainWindow"));
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(ProgramPicture(size));
    }
    setWindowIcon(icon);

    connect(&m_display, &CMainDisplay::passEnded, this, &CMainDialog::OnPassEnded);
    connect(m_ui.groups, &QPushButton::clicked, this, &CMainDialog::OnGroups);
    connect(m_ui.setup, &QPushButton::clicked, this, &CMainDialog::OnSetup);
    connect(m_ui.close, &QPushButton::clicked, this, &CMainDialog::OnClose);
    connect(m_ui.show, &QPushButton::toggled, this, &CMainDialog::ApplyShowState);
    connect(m_ui.fullSize, &QPushButton::clicked, this, &CMainDialog::OnFullSize);
    connect(m_ui.deleteFile, &QPushButton::clicked, this, &CMainDialog::OnDeleteFile);
    connect(m_ui.about, &QPushButton::clicked, this, &CMainDialog::OnAbout);
    connect(m_ui.aboutAction, &QAction::triggered, this, &CMainDialog::OnAbout);

    ApplySettings();
    // The window keeps its size: long texts are cut, they never reshape it.
    setFixedSize(sizeHint());
}

bool CMainDialog::StartWorker(CProcessGroups& worker, int priorityLevel) {
    return worker.Start(priorityLevel);
}

void CMainDialog::ApplySettings() {
    const ng::SettingsStore& store = ng::Profile();
    std::string host = ng::Read(store, ng::setting::kNNTPHost);
    setWindowTitle(QStringLiteral("Newsgleaner " NG_VERSION_TEXT " - [%1]").arg(FromBytes(host)));
    m_ui.show->setChecked(ng::Read(store, ng::setting::kShowThumbnail) != 0);
    ApplyShowState();
}

void CMainDialog::ApplyShowState() {
    m_ui.thumbnailFrame->setVisible(m_ui.show->isChecked());
}

void CMainDialog::OnPassEnded() {
    m_pass.OnPassEnded();
    if (m_bCloseWhenDone) {
        m_bCloseWhenDone = false;
        close();
    }
}

// ---- The window's commands ----

void CMainDialog::OnGroups() {
    if (!IsIdle()) {
        return;
    }
    RunGroupSelectDialog(this);  // nothing is done with its result here
}

void CMainDialog::OnSetup() {
    if (!IsIdle()) {
        return;
    }
    if (RunSetupDialog(this) == QDialog::Accepted) {
        ApplySettings();
    }
}

void CMainDialog::OpenFirstSetup() {
    if (IsIdle() && RunSetupDialog(this, /*firstRun=*/true) == QDialog::Accepted) {
        ApplySettings();
    }
}

void CMainDialog::OnFullSize() {
    std::string path = m_ui.thumbnail->GetImageFile();
    if (path.empty()) {
        return;
    }
    CThumbnailDialog dialog(path, this);
    dialog.exec();
}

void CMainDialog::OnDeleteFile() {
    std::string path = m_ui.thumbnail->GetImageFile();
    if (path.empty()) {
        return;
    }
    if (!ng::ui::AskYesNo(this, QStringLiteral("Delete %1?").arg(FromBytes(path)), false)) {
        return;
    }
    if (::unlink(path.c_str()) != 0) {
        int error = errno;
        ng::ui::Tell(this,
                     QStringLiteral("Unable to delete %1:\n\n%2")
                         .arg(FromBytes(path), QString::fromLocal8Bit(std::strerror(error))),
                     QMessageBox::Warning);
        return;
    }
    m_display.ApplyThumbnail("");
}

void CMainDialog::OnAbout() {
    CAboutDialog about(this);
    about.exec();
}

// ---- Closing ----

void CMainDialog::OnClose() {
    if (IsIdle()) {
        accept();
    }
}

void CMainDialog::reject() {
    // Escape must not end the program under a running pass.
    if (IsIdle()) {
        QDialog::reject();
    }
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (IsIdle()) {
        QDialog::closeEvent(event);
        return;
    }
    // Closing now would leave the worker running without its window: offer
    // to stop it and close once it has finished.
    event->ignore();
    if (m_bCloseWhenDone ||
        !ng::ui::AskYesNo(
            this, QStringLiteral("A download is running. Stop it and close when it has ended?"),
            false)) {
        return;
    }
    if (IsIdle()) {
        close();  // it ended while the question was open
        return;
    }
    m_bCloseWhenDone = true;
    m_pass.Stop();
}

void CMainDialog::showEvent(QShowEvent* event) {
    m_pass.ShowState();
    QDialog::showEvent(event);
}
