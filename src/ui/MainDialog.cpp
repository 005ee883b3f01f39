#include "ui/MainDialog.h"

#include <unistd.h>

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/DisplayFormat.h"
#include "engine/ProcessGroups.h"
#include "engine/ThumbnailRules.h"
#include "platform/System.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "ui/AboutDialog.h"
#include "ui/GroupSelectDialog.h"
#include "ui/Imvb.h"
#include "ui/PendingDialog.h"
#include "ui/SetupDialog.h"
#include "ui/StaticText.h"
#include "ui/ThumbnailDialog.h"
#include "ui/UiText.h"

using ng::ui::FromBytes;

namespace {

constexpr int kTimerPeriodMs = 990;
// The thumbnail's room on screen.
constexpr int kThumbnailWidth = 220;
constexpr int kThumbnailHeight = 165;

std::string ProductString(const char* key, const char* defaultValue) {
    return ng::Profile().GetProfileString(ng::keys::kProductSection, key, defaultValue);
}

int ProductInt(const char* key, int defaultValue) {
    return ng::Profile().GetProfileInt(ng::keys::kProductSection, key, defaultValue);
}

QPushButton* Button(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // Only the button the window makes the default answers Return.
    button->setAutoDefault(false);
    return button;
}

QLabel* Caption(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

CStaticText* CountField(QWidget* parent) {
    auto* field = new CStaticText(12, 1, Qt::AlignCenter, CStaticText::Ampersands::Literal, parent);
    field->setText(QStringLiteral("0"));
    return field;
}

QProgressBar* Bar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setMinimumWidth(200);
    return bar;
}

}  // namespace

CMainDialog::CMainDialog(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("mainWindow"));
    BuildWindow();

    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(ProgramPicture(size));
    }
    setWindowIcon(icon);

    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CMainDialog::OnTimer);

    ApplyState(true);
    m_ui.pending->setEnabled(false);

    m_strTitlePrefix = QStringLiteral("Newsgleaner " NG_VERSION_TEXT " -");
    UpdateTitle();
    m_ui.show->setChecked(ProductInt(ng::keys::kShowThumbnail, ng::defaults::kShowThumbnail) != 0);
    // Out-of-range settings show at the slider's nearest end.
    m_ui.slider->setValue(ProductInt(ng::keys::kPriority, ng::defaults::kPriority));
    ApplyThumbnail("");
    ApplyShowState();

    // The window keeps its size: long texts are cut, they never reshape it.
    setFixedSize(sizeHint());
}

CMainDialog::~CMainDialog() {
    if (m_pWorker) {
        // Nothing may keep the worker from seeing the stop: not a pause, and
        // not a password prompt (which gives up once the stop is set).
        HoldPause(false);
        m_pWorker->RequestStop();
        m_pWorker->Join();
        m_pWorker.reset();
    }
}

void CMainDialog::BuildWindow() {
    // Progress over the groups and over the group's articles.
    auto* progress = new QGridLayout;
    const char* const barCaptions[] = {"Group Progress:", "Article Progress:", "Lines Decoded:"};
    for (int i = 0; i < 3; ++i) {
        m_ui.bars[i] = Bar(this);
        m_ui.barTexts[i] =
            new CStaticText(20, 1, Qt::AlignCenter, CStaticText::Ampersands::Literal, this);
    }
    for (int i = 0; i < 2; ++i) {
        progress->addWidget(Caption(barCaptions[i], this), i, 0);
        progress->addWidget(m_ui.bars[i], i, 1);
        progress->addWidget(m_ui.barTexts[i], i, 2);
    }

    // The article being retrieved.
    auto* current = new QGroupBox(QStringLiteral("Current Article"), this);
    auto* currentGrid = new QGridLayout(current);
    m_ui.subject = new CStaticText(48, 2, Qt::AlignLeft | Qt::AlignTop,
                                   CStaticText::Ampersands::Mnemonic, current);
    m_ui.savingTo = new CStaticText(48, 1, Qt::AlignLeft | Qt::AlignVCenter,
                                    CStaticText::Ampersands::Mnemonic, current);
    m_ui.from = new CStaticText(48, 1, Qt::AlignLeft | Qt::AlignVCenter,
                                CStaticText::Ampersands::Mnemonic, current);
    currentGrid->addWidget(Caption(barCaptions[2], current), 0, 0);
    currentGrid->addWidget(m_ui.bars[2], 0, 1);
    currentGrid->addWidget(m_ui.barTexts[2], 0, 2);
    auto* subjectCaption = Caption(QStringLiteral("Subject:"), current);
    subjectCaption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    currentGrid->addWidget(subjectCaption, 1, 0);
    currentGrid->addWidget(m_ui.subject, 1, 1, 1, 2);
    currentGrid->addWidget(Caption(QStringLiteral("Saving To:"), current), 2, 0);
    currentGrid->addWidget(m_ui.savingTo, 2, 1, 1, 2);
    currentGrid->addWidget(Caption(QStringLiteral("From:"), current), 3, 0);
    currentGrid->addWidget(m_ui.from, 3, 1, 1, 2);

    auto* left = new QVBoxLayout;
    left->addLayout(progress);
    left->addWidget(current);

    // The commands.
    m_ui.go = Button(QStringLiteral("&Go"), this);
    m_ui.pause = Button(QStringLiteral("&Pause"), this);
    m_ui.pause->setCheckable(true);
    m_ui.stop = Button(QStringLiteral("S&top"), this);
    m_ui.catchUp = Button(QStringLiteral("C&atch-up"), this);
    m_ui.groups = Button(QStringLiteral("G&roups..."), this);
    m_ui.setup = Button(QStringLiteral("S&etup..."), this);
    m_ui.pending = Button(QStringLiteral("Pe&nding..."), this);
    m_ui.close = Button(QStringLiteral("&Close"), this);
    auto* commands = new QVBoxLayout;
    for (QPushButton* button : {m_ui.go, m_ui.pause, m_ui.stop, m_ui.catchUp}) {
        commands->addWidget(button);
    }
    commands->addSpacing(10);
    for (QPushButton* button : {m_ui.groups, m_ui.setup, m_ui.pending}) {
        commands->addWidget(button);
    }
    commands->addStretch(1);
    commands->addWidget(m_ui.close);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addLayout(commands);

    // Counters and rates of the pass.
    auto* cumulative = new QGroupBox(QStringLiteral("Cumulative Status"), this);
    auto* counts = new QGridLayout(cumulative);
    m_ui.scanned = CountField(cumulative);
    m_ui.saved = CountField(cumulative);
    m_ui.bytes = CountField(cumulative);
    m_ui.rates[ng::BytesPerSec] = CountField(cumulative);
    m_ui.rates[ng::BinaryBytesPerSec] = CountField(cumulative);
    m_ui.historySkipped = CountField(cumulative);
    m_ui.crosspostsSkipped = CountField(cumulative);
    const std::pair<const char*, CStaticText*> rows[] = {
        {"Articles Scanned:", m_ui.scanned},
        {"Articles Saved:", m_ui.saved},
        {"Bytes Transferred:", m_ui.bytes},
        {"Bytes/Sec:", m_ui.rates[ng::BytesPerSec]},
        {"Binary Bytes/Sec:", m_ui.rates[ng::BinaryBytesPerSec]},
        {"History Files Skipped:", m_ui.historySkipped},
        {"Crossposts Skipped:", m_ui.crosspostsSkipped},
    };
    int row = 0;
    for (const auto& [caption, field] : rows) {
        counts->addWidget(Caption(caption, cumulative), row, 0);
        counts->addWidget(field, row, 1);
        ++row;
    }

    // The worker's priority.
    m_ui.priorityFrame = new QGroupBox(QStringLiteral("Pr&iority"), this);
    auto* priority = new QHBoxLayout(m_ui.priorityFrame);
    m_ui.slider = new QSlider(Qt::Horizontal, m_ui.priorityFrame);
    m_ui.slider->setRange(1, 5);
    m_ui.slider->setPageStep(1);
    m_ui.slider->setTickInterval(1);
    m_ui.slider->setTickPosition(QSlider::TicksBelow);
    m_ui.set = Button(QStringLiteral("&Set"), m_ui.priorityFrame);
    priority->addWidget(Caption(QStringLiteral("Low"), m_ui.priorityFrame));
    priority->addWidget(m_ui.slider, 1);
    priority->addWidget(Caption(QStringLiteral("High"), m_ui.priorityFrame));
    priority->addSpacing(8);
    priority->addWidget(m_ui.set);

    auto* middleLeft = new QVBoxLayout;
    middleLeft->addWidget(cumulative);
    middleLeft->addWidget(m_ui.priorityFrame);

    // The thumbnail, in a frame captioned with the picture's name.
    auto* thumbnailBox = new QGroupBox(QStringLiteral("Thumbnail"), this);
    auto* thumbnailLayout = new QVBoxLayout(thumbnailBox);
    m_ui.thumbnailFrame = new QGroupBox(thumbnailBox);
    m_ui.thumbnailFrame->setObjectName(QStringLiteral("thumbnailFrame"));
    auto* frameLayout = new QVBoxLayout(m_ui.thumbnailFrame);
    m_ui.thumbnail = new CImvb(CImvb::Fit::ScaleToView, m_ui.thumbnailFrame);
    m_ui.thumbnail->setFixedSize(kThumbnailWidth, kThumbnailHeight);
    frameLayout->addWidget(m_ui.thumbnail);
    QSizePolicy keepRoom = m_ui.thumbnailFrame->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);  // hiding it must not reshape the window
    m_ui.thumbnailFrame->setSizePolicy(keepRoom);
    m_ui.show = Button(QStringLiteral("S&how"), thumbnailBox);
    m_ui.show->setCheckable(true);
    m_ui.fullSize = Button(QStringLiteral("&Full Size"), thumbnailBox);
    m_ui.deleteFile = Button(QStringLiteral("&Delete File"), thumbnailBox);
    auto* thumbnailButtons = new QHBoxLayout;
    thumbnailButtons->addWidget(m_ui.show);
    thumbnailButtons->addWidget(m_ui.fullSize);
    thumbnailButtons->addWidget(m_ui.deleteFile);
    thumbnailLayout->addWidget(m_ui.thumbnailFrame);
    thumbnailLayout->addLayout(thumbnailButtons);

    auto* middle = new QHBoxLayout;
    middle->addLayout(middleLeft, 1);
    middle->addWidget(thumbnailBox);

    // The status line, its progress bar and the elapsed time.
    m_ui.status = new CStaticText(60, 1, Qt::AlignLeft | Qt::AlignVCenter,
                                  CStaticText::Ampersands::Literal, this);
    m_ui.status->setText(QStringLiteral("  Ready..."));
    m_ui.statusBar = Bar(this);
    m_ui.statusBar->setMinimumWidth(0);
    m_ui.statusBar->setFixedWidth(110);
    m_ui.elapsed = new CStaticText(9, 1, Qt::AlignCenter, CStaticText::Ampersands::Literal, this);
    m_ui.about = new QPushButton(QStringLiteral("?"), this);
    m_ui.about->setAutoDefault(false);
    m_ui.about->setToolTip(QStringLiteral("About Newsgleaner..."));
    m_ui.about->setFixedWidth(m_ui.about->sizeHint().height());
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_ui.status, 1);
    bottom->addWidget(m_ui.statusBar);
    bottom->addWidget(m_ui.elapsed);
    bottom->addWidget(m_ui.about);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addLayout(bottom);

    // The window's own menu stands in for the system menu's About entry.
    m_ui.aboutAction = new QAction(QStringLiteral("&About Newsgleaner..."), this);
    addAction(m_ui.aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(m_ui.go, &QPushButton::clicked, this, &CMainDialog::OnGo);
    connect(m_ui.stop, &QPushButton::clicked, this, &CMainDialog::OnStop);
    connect(m_ui.pause, &QPushButton::toggled, this, &CMainDialog::OnPause);
    connect(m_ui.catchUp, &QPushButton::clicked, this, &CMainDialog::OnCatchUp);
    connect(m_ui.groups, &QPushButton::clicked, this, &CMainDialog::OnGroups);
    connect(m_ui.setup, &QPushButton::clicked, this, &CMainDialog::OnSetup);
    connect(m_ui.pending, &QPushButton::clicked, this, &CMainDialog::OnPending);
    connect(m_ui.close, &QPushButton::clicked, this, &CMainDialog::OnClose);
    connect(m_ui.set, &QPushButton::clicked, this, &CMainDialog::OnSet);
    connect(m_ui.show, &QPushButton::toggled, this, &CMainDialog::ApplyShowState);
    connect(m_ui.fullSize, &QPushButton::clicked, this, &CMainDialog::OnFullSize);
    connect(m_ui.deleteFile, &QPushButton::clicked, this, &CMainDialog::OnDeleteFile);
    connect(m_ui.about, &QPushButton::clicked, this, &CMainDialog::OnAbout);
    connect(m_ui.aboutAction, &QAction::triggered, this, &CMainDialog::OnAbout);
}

// ---- The display operations (any thread) ----

void CMainDialog::Post(std::function<void()> update) {
    m_mailbox.Post(std::move(update));
}

void CMainDialog::drain() {
    // An update that opens a message box runs a nested event loop; the
    // updates behind it wait for the box, as the worker's later reports
    // follow the message it asked to show.
    m_mailbox.Drain([](const std::function<void()>& update) { update(); });
}

void CMainDialog::SetStatusText(const std::string& text) {
    Post([this, text] { m_ui.status->setText(FromBytes(ng::StatusLineText(text))); });
}

void CMainDialog::SetSubjectText(const std::string& text) {
    Post([this, text] { m_ui.subject->setText(FromBytes(ng::DoubleAmpersands(text))); });
}

void CMainDialog::SetSavingToText(const std::string& text) {
    Post([this, text] { m_ui.savingTo->setText(FromBytes(ng::DoubleAmpersands(text))); });
}

void CMainDialog::SetFromText(const std::string& text) {
    // Shown as the text stands: a single "&" marks a mnemonic there.
    Post([this, text] { m_ui.from->setText(FromBytes(text)); });
}

void CMainDialog::ShowThumbnail(const std::string& path) {
    Post([this, path] { ApplyThumbnail(path); });
}

void CMainDialog::SetBytesTransferred(int64_t count) {
    Post([this, count] { m_ui.bytes->setText(QString::fromStdString(ng::GroupThousands(count))); });
}

void CMainDialog::SetArticlesScanned(int count) {
    Post([this, count] { m_ui.scanned->setText(QString::number(count)); });
}

void CMainDialog::SetArticlesSaved(int count) {
    Post([this, count] { m_ui.saved->setText(QString::number(count)); });
}

void CMainDialog::SetRate(ng::RateField field, int64_t seconds, int64_t bytes) {
    if (field != ng::BytesPerSec && field != ng::BinaryBytesPerSec) {
        return;
    }
    Post([this, field, seconds, bytes] {
        m_ui.rates[field]->setText(QString::fromStdString(ng::RateText(seconds, bytes)));
    });
}

void CMainDialog::SetRateSince(ng::RateField field, int64_t start, int64_t end, int64_t bytes) {
    if (field != ng::BytesPerSec && field != ng::BinaryBytesPerSec) {
        return;
    }
    Post([this, field, start, end, bytes] {
        m_ui.rates[field]->setText(QString::fromStdString(ng::RateSinceText(start, end, bytes)));
    });
}

void CMainDialog::SetHistorySkipped(int count) {
    Post([this, count] { m_ui.historySkipped->setText(QString::number(count)); });
}

void CMainDialog::SetCrosspostsSkipped(int count) {
    Post([this, count] { m_ui.crosspostsSkipped->setText(QString::number(count)); });
}

void CMainDialog::SetProgress(ng::ProgressBar bar, int done, int total, bool reset) {
    if (bar < ng::GroupProgress || bar > ng::LinesDecoded) {
        return;
    }
    Post([this, bar, done, total, reset] {
        QProgressBar* progress = m_ui.bars[bar];
        if (reset) {
            progress->setRange(0, 100);
            progress->setValue(0);
            m_ui.barTexts[bar]->setText(QString());
            return;
        }
        ng::ProgressState state = ng::ProgressOf(done, total);
        progress->setValue(std::clamp(state.percent, 0, 100));
        m_ui.barTexts[bar]->setText(QString::fromStdString(state.text));
    });
}

void CMainDialog::SetStatusProgress(int done, int total) {
    Post([this, done, total] {
        m_ui.statusBar->setValue(std::clamp(ng::StatusProgressPercent(done, total), 0, 100));
    });
}

void CMainDialog::EnablePending(bool enable) {
    Post([this, enable] { m_ui.pending->setEnabled(enable); });
}

void CMainDialog::ShowMessage(const std::string& text) {
    Post([this, text] { Inform(FromBytes(text), QMessageBox::Warning); });
}

void CMainDialog::PassEnded() {
    Post([this] { ApplyPassEnded(); });
}

// ---- States ----

void CMainDialog::ApplyState(bool idle) {
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

void CMainDialog::ApplyPassEnded() {
    m_timer.stop();
    if (m_pWorker) {
        m_pWorker->Join();  // its end-of-pass notice was its last act
    }
    // A pause pressed after the worker had finished holds nothing any more.
    HoldPause(false);
    ApplyState(true);
    emit passFinished();
    if (m_bCloseWhenDone) {
        m_bCloseWhenDone = false;
        close();
    }
}

void CMainDialog::UpdateTitle() {
    std::string host = ProductString(ng::keys::kNNTPHost, "");
    setWindowTitle(m_strTitlePrefix + QStringLiteral(" [") + FromBytes(host) + QStringLiteral("]"));
}

void CMainDialog::ApplySetupAccepted() {
    UpdateTitle();
    m_ui.show->setChecked(ProductInt(ng::keys::kShowThumbnail, ng::defaults::kShowThumbnail) != 0);
    ApplyShowState();
}

void CMainDialog::ApplyShowState() {
    m_ui.thumbnailFrame->setVisible(m_ui.show->isChecked());
}

void CMainDialog::ApplyThumbnail(const std::string& path) {
    if (!ng::ThumbnailTakes(path)) {
        return;  // not a JPEG: the picture and caption stay
    }
    m_ui.thumbnail->SetImageFile(path);
    if (!m_ui.thumbnail->LoadImage()) {
        return;  // unreadable: no message, the caption stays
    }
    QString name = FromBytes(ng::ThumbnailCaptionName(path));
    QFontMetrics metrics(m_ui.thumbnailFrame->font());
    name = metrics.elidedText(name, Qt::ElideMiddle, kThumbnailWidth - 8);
    m_ui.thumbnailFrame->setTitle(name.replace(u'&', QStringLiteral("&&")));
}

void CMainDialog::HoldPause(bool hold) {
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

bool CMainDialog::Confirm(const QString& text, bool yesIsDefault) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Newsgleaner"), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CMainDialog::Inform(const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QStringLiteral("Newsgleaner"), text, QMessageBox::Ok, this);
    box.exec();
}

// ---- Commands ----

void CMainDialog::OnGo() {
    if (!m_bIdle) {
        return;
    }
    if (ProductString(ng::keys::kNNTPHost, "").empty()) {
        Inform(QStringLiteral("No news server specified -- run 'Setup'"), QMessageBox::Information);
        return;
    }
    m_startTime = ng::NowSeconds();
    m_timer.start();
    ApplyState(false);

    int level =
        ng::PriorityLevelForSetting(ProductInt(ng::keys::kPriority, ng::defaults::kPriority));
    m_pWorker.reset();  // the previous pass's worker, long finished
    m_pWorker = std::make_unique<CProcessGroups>(ng::Profile(), *this, &m_prompt, m_pending);
    if (!StartWorker(*m_pWorker, level)) {
        m_pWorker.reset();
        m_timer.stop();
        ApplyState(true);
        Inform(QStringLiteral("The download could not be started: no new thread could be "
                              "created.\n\nClose other programs and press 'Go' again."),
               QMessageBox::Warning);
    }
}

bool CMainDialog::StartWorker(CProcessGroups& worker, int priorityLevel) {
    return worker.Start(priorityLevel);
}

void CMainDialog::OnStop() {
    if (m_bIdle || !Confirm(QStringLiteral("Are you sure you want to stop?"), true)) {
        return;
    }
    // The pass may have ended while the question was open.
    if (!m_bIdle && m_pWorker) {
        m_pWorker->RequestStop();
    }
}

void CMainDialog::OnPause(bool checked) {
    HoldPause(checked && !m_bIdle);
}

void CMainDialog::OnCatchUp() {
    if (m_bIdle ||
        !Confirm(QStringLiteral("This will cause all articles in this group to be marked as "
                                "read.\n\nDo you wish to continue?"),
                 false)) {
        return;
    }
    if (!m_bIdle && m_pWorker) {
        m_pWorker->SetCatchUp(true);
        m_pWorker->RequestStop();
    }
}

void CMainDialog::OnPending() {
    if (m_bIdle || !m_pWorker) {
        return;
    }
    // The pause nests with the Pause button's; the edit session keeps the
    // worker off the list even before the pause takes hold.
    m_pWorker->Pause();
    {
        ng::PendingList::EditSession session(m_pending);
        CPendingDialog dialog(session, this);
        dialog.exec();
    }
    m_pWorker->Resume();
}

void CMainDialog::OnClose() {
    if (!m_bIdle) {
        return;
    }
    m_pWorker.reset();
    m_strTitlePrefix.clear();
    accept();
}

void CMainDialog::OnSet() {
    int position = m_ui.slider->value();
    if (position < 1 || position > 5) {
        return;
    }
    if (m_pWorker && !m_bIdle) {
        // Raising the priority may be refused; the worker then keeps its own.
        m_pWorker->SetPriority(ng::PriorityLevelForSetting(position));
    }
    ng::Profile().WriteProfileInt(ng::keys::kProductSection, ng::keys::kPriority, position);
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
    if (!Confirm(QStringLiteral("Delete %1?").arg(FromBytes(path)), false)) {
        return;
    }
    if (::unlink(path.c_str()) != 0) {
        int error = errno;
        Inform(QStringLiteral("Unable to delete %1:\n\n%2")
                   .arg(FromBytes(path), QString::fromLocal8Bit(std::strerror(error))),
               QMessageBox::Warning);
        return;
    }
    ApplyThumbnail("");
}

void CMainDialog::OnAbout() {
    CAboutDialog about(this);
    about.exec();
}

void CMainDialog::OnTimer() {
    m_ui.elapsed->setText(QString::fromStdString(ng::ElapsedText(ng::NowSeconds() - m_startTime)));
}

// ---- Closing ----

void CMainDialog::reject() {
    // Escape must not end the program under a running pass.
    if (!m_bIdle) {
        return;
    }
    QDialog::reject();
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (m_bIdle) {
        QDialog::closeEvent(event);
        return;
    }
    // Closing now would leave the worker running without its window: offer
    // to stop it and close once it has finished.
    event->ignore();
    if (m_bCloseWhenDone) {
        return;
    }
    if (!Confirm(QStringLiteral("A download is running. Stop it and close when it has ended?"),
                 false)) {
        return;
    }
    if (m_bIdle) {
        close();  // it ended while the question was open
        return;
    }
    m_bCloseWhenDone = true;
    HoldPause(false);
    m_pWorker->RequestStop();
}

void CMainDialog::showEvent(QShowEvent* event) {
    ApplyState(m_bIdle);
    QDialog::showEvent(event);
}

// ---- The group select and setup dialogs ----

void CMainDialog::OnGroups() {
    if (!m_bIdle) {
        return;
    }
    RunGroupSelectDialog(this);  // nothing is done with its result here
}

void CMainDialog::OnSetup() {
    if (!m_bIdle) {
        return;
    }
    if (RunSetupDialog(this) == QDialog::Accepted) {
        ApplySetupAccepted();
    }
}
