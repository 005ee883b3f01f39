#include "ui/MainDisplay.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "engine/DisplayFormat.h"
#include "engine/ThumbnailRules.h"
#include "platform/ShowableText.h"
#include "ui/Imvb.h"
#include "ui/MessageBoxes.h"
#include "ui/StaticText.h"
#include "ui/UiText.h"

using ng::ui::FromBytes;

namespace {

// What the server sent, without its control characters.
QString Shown(const std::string& text) {
    return FromBytes(ng::ShowableText(text));
}

}  // namespace

CMainDisplay::CMainDisplay(const MainControls& ui, QWidget* window) : m_ui(ui), m_pWindow(window) {}

void CMainDisplay::Post(std::function<void()> update) {
    m_mailbox.Post(std::move(update));
}

void CMainDisplay::drain() {
    // An update that opens a message box runs a nested event loop; the
    // updates behind it wait for the box, as the worker's later reports
    // follow the message it asked to show.
    m_mailbox.Drain([](const std::function<void()>& update) { update(); });
}

void CMainDisplay::SetStatusText(const std::string& text) {
    Post([this, text] { m_ui.status->setText(Shown(ng::StatusLineText(text))); });
}

void CMainDisplay::SetSubjectText(const std::string& text) {
    Post([this, text] { m_ui.subject->setText(Shown(ng::DoubleAmpersands(text))); });
}

void CMainDisplay::SetSavingToText(const std::string& text) {
    Post([this, text] { m_ui.savingTo->setText(Shown(ng::DoubleAmpersands(text))); });
}

void CMainDisplay::SetFromText(const std::string& text) {
    // Shown as the text stands: a single "&" marks a mnemonic there.
    Post([this, text] { m_ui.from->setText(Shown(text)); });
}

void CMainDisplay::ShowThumbnail(const std::string& path) {
    Post([this, path] { ApplyThumbnail(path); });
}

void CMainDisplay::SetBytesTransferred(int64_t count) {
    Post([this, count] { m_ui.bytes->setText(QString::fromStdString(ng::GroupThousands(count))); });
}

void CMainDisplay::SetArticlesScanned(int count) {
    Post([this, count] { m_ui.scanned->setText(QString::number(count)); });
}

void CMainDisplay::SetArticlesSaved(int count) {
    Post([this, count] { m_ui.saved->setText(QString::number(count)); });
}

void CMainDisplay::SetRate(ng::RateField field, int64_t seconds, int64_t bytes) {
    if (field != ng::BytesPerSec && field != ng::BinaryBytesPerSec) {
        return;
    }
    Post([this, field, seconds, bytes] {
        m_ui.rates[field]->setText(QString::fromStdString(ng::RateText(seconds, bytes)));
    });
}

void CMainDisplay::SetRateSince(ng::RateField field, int64_t start, int64_t end, int64_t bytes) {
    if (field != ng::BytesPerSec && field != ng::BinaryBytesPerSec) {
        return;
    }
    Post([this, field, start, end, bytes] {
        m_ui.rates[field]->setText(QString::fromStdString(ng::RateSinceText(start, end, bytes)));
    });
}

void CMainDisplay::SetHistorySkipped(int count) {
    Post([this, count] { m_ui.historySkipped->setText(QString::number(count)); });
}

void CMainDisplay::SetCrosspostsSkipped(int count) {
    Post([this, count] { m_ui.crosspostsSkipped->setText(QString::number(count)); });
}

void CMainDisplay::SetProgress(ng::ProgressBar bar, int done, int total, bool reset) {
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

void CMainDisplay::SetStatusProgress(int done, int total) {
    Post([this, done, total] {
        m_ui.statusBar->setValue(std::clamp(ng::StatusProgressPercent(done, total), 0, 100));
    });
}

void CMainDisplay::EnablePending(bool enable) {
    Post([this, enable] { m_ui.pending->setEnabled(enable); });
}

void CMainDisplay::ShowMessage(const std::string& text) {
    Post([this, text] { ng::ui::Tell(m_pWindow, FromBytes(text), QMessageBox::Warning); });
}

void CMainDisplay::PassEnded() {
    Post([this] { emit passEnded(); });
}

void CMainDisplay::ApplyThumbnail(const std::string& path) {
    if (!ng::ThumbnailTakes(path)) {
        return;  // not a JPEG: the picture and caption stay
    }
    m_ui.thumbnail->SetImageFile(path);
    if (!m_ui.thumbnail->LoadImage()) {
        return;  // unreadable: no message, the caption stays
    }
    QString name = Shown(ng::ThumbnailCaptionName(path));
    QFontMetrics metrics(m_ui.thumbnailFrame->font());
    name = metrics.elidedText(name, Qt::ElideMiddle, m_ui.thumbnail->width() - 8);
    m_ui.thumbnailFrame->setTitle(name.replace(u'&', QStringLiteral("&&")));
}
