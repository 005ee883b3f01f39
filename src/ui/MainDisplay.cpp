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
QString Showable(const std::string& text) {
    return FromBytes(ng::ShowableText(text));
}

}  // namespace

CMainDisplay::CMainDisplay(const MainControls& ui, QWidget* window) : m_ui(ui), m_pWindow(window) {
    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, &CMainDisplay::drain);
}

template <typename Set>
void CMainDisplay::Update(Set&& set) {
    m_mailbox.Fill([&set](std::vector<Step>& steps) {
        if (steps.empty() || steps.back().after != After::Nothing) {
            steps.emplace_back();
        }
        set(steps.back().shown);
    });
}

void CMainDisplay::Close(After after, std::string message) {
    m_bClosedStep = true;  // before the step goes in, so its drain sees it
    m_mailbox.Fill([&](std::vector<Step>& steps) {
        if (steps.empty() || steps.back().after != After::Nothing) {
            steps.emplace_back();
        }
        steps.back().after = after;
        steps.back().message = std::move(message);
    });
    m_mailbox.Wake();
}

void CMainDisplay::drain() {
    // However fast the worker reports, the window redraws at most every
    // kRefresh; what came meanwhile waits in the mailbox, folded together.
    const auto now = std::chrono::steady_clock::now();
    const bool closed = m_bClosedStep.exchange(false);
    if (now < m_nextApply && !closed) {
        if (!m_later.isActive()) {
            m_later.start(std::chrono::ceil<std::chrono::milliseconds>(m_nextApply - now));
        }
        return;
    }
    m_nextApply = now + kRefresh;
    // A message box runs a nested event loop; the steps behind it wait for
    // the box, as the worker's later reports follow the message it showed.
    m_mailbox.Drain([this](Step& step) { Apply(step); });
}

void CMainDisplay::Apply(Step& step) {
    Shown& s = step.shown;
    auto number = [](auto value) { return QString::number(value); };
    if (s.status) {
        m_ui.status->setText(Showable(ng::StatusLineText(*s.status)));
    }
    if (s.subject) {
        m_ui.subject->setText(Showable(ng::DoubleAmpersands(*s.subject)));
    }
    if (s.savingTo) {
        m_ui.savingTo->setText(Showable(ng::DoubleAmpersands(*s.savingTo)));
    }
    if (s.from) {
        m_ui.from->setText(Showable(*s.from));  // a single "&" marks a mnemonic there
    }
    if (s.thumbnail) {
        ApplyThumbnail(*s.thumbnail);
    }
    if (s.bytes) {
        m_ui.bytes->setText(QString::fromStdString(ng::GroupThousands(*s.bytes)));
    }
    if (s.scanned) {
        m_ui.scanned->setText(number(*s.scanned));
    }
    if (s.saved) {
        m_ui.saved->setText(number(*s.saved));
    }
    for (int field : {ng::BytesPerSec, ng::BinaryBytesPerSec}) {
        if (s.rates[field]) {
            m_ui.rates[field]->setText(QString::fromStdString(*s.rates[field]));
        }
    }
    if (s.historySkipped) {
        m_ui.historySkipped->setText(number(*s.historySkipped));
    }
    if (s.crosspostsSkipped) {
        m_ui.crosspostsSkipped->setText(number(*s.crosspostsSkipped));
    }
    for (int bar = ng::GroupProgress; bar <= ng::LinesDecoded; ++bar) {
        if (!s.bars[bar]) {
            continue;
        }
        QProgressBar* progress = m_ui.bars[bar];
        if (s.bars[bar]->reset) {
            progress->setRange(0, 100);
            progress->setValue(0);
            m_ui.barTexts[bar]->setText(QString());
            continue;
        }
        ng::ProgressState state = ng::ProgressOf(s.bars[bar]->done, s.bars[bar]->total);
        progress->setValue(std::clamp(state.percent, 0, 100));
        m_ui.barTexts[bar]->setText(QString::fromStdString(state.text));
    }
    if (s.statusPercent) {
        m_ui.statusBar->setValue(std::clamp(*s.statusPercent, 0, 100));
    }
    if (s.pendingEnabled) {
        m_ui.pending->setEnabled(*s.pendingEnabled);
    }
    switch (step.after) {
        case After::Nothing:
            break;
        case After::Message:
            ng::ui::Tell(m_pWindow, FromBytes(step.message), QMessageBox::Warning);
            break;
        case After::End:
            emit passEnded();
            break;
    }
}

void CMainDisplay::SetStatusText(const std::string& text) {
    Update([&](Shown& s) { s.status = text; });
}

void CMainDisplay::SetSubjectText(const std::string& text) {
    Update([&](Shown& s) { s.subject = text; });
}

void CMainDisplay::SetSavingToText(const std::string& text) {
    Update([&](Shown& s) { s.savingTo = text; });
}

void CMainDisplay::SetFromText(const std::string& text) {
    Update([&](Shown& s) { s.from = text; });
}

void CMainDisplay::ShowThumbnail(const std::string& path) {
    Update([&](Shown& s) { s.thumbnail = path; });
}

void CMainDisplay::SetBytesTransferred(int64_t count) {
    Update([&](Shown& s) { s.bytes = count; });
}

void CMainDisplay::SetArticlesScanned(int count) {
    Update([&](Shown& s) { s.scanned = count; });
}

void CMainDisplay::SetArticlesSaved(int count) {
    Update([&](Shown& s) { s.saved = count; });
}

void CMainDisplay::SetRate(ng::RateField field, int64_t seconds, int64_t bytes) {
    if (field == ng::BytesPerSec || field == ng::BinaryBytesPerSec) {
        Update([&](Shown& s) { s.rates[field] = ng::RateText(seconds, bytes); });
    }
}

void CMainDisplay::SetRateSince(ng::RateField field, int64_t start, int64_t end, int64_t bytes) {
    if (field == ng::BytesPerSec || field == ng::BinaryBytesPerSec) {
        Update([&](Shown& s) { s.rates[field] = ng::RateSinceText(start, end, bytes); });
    }
}

void CMainDisplay::SetHistorySkipped(int count) {
    Update([&](Shown& s) { s.historySkipped = count; });
}

void CMainDisplay::SetCrosspostsSkipped(int count) {
    Update([&](Shown& s) { s.crosspostsSkipped = count; });
}

void CMainDisplay::SetProgress(ng::ProgressBar bar, int done, int total, bool reset) {
    if (bar >= ng::GroupProgress && bar <= ng::LinesDecoded) {
        Update([&](Shown& s) { s.bars[bar] = Shown::Bar{done, total, reset}; });
    }
}

void CMainDisplay::SetStatusProgress(int done, int total) {
    Update([&](Shown& s) { s.statusPercent = ng::StatusProgressPercent(done, total); });
}

void CMainDisplay::EnablePending(bool enable) {
    Update([&](Shown& s) { s.pendingEnabled = enable; });
}

void CMainDisplay::ShowMessage(const std::string& text) {
    Close(After::Message, text);
}

void CMainDisplay::PassEnded() {
    Close(After::End);
}

void CMainDisplay::ApplyThumbnail(const std::string& path) {
    if (!ng::ThumbnailTakes(path)) {
        return;  // not a JPEG: the picture and caption stay
    }
    m_ui.thumbnail->SetImageFile(path);
    if (!m_ui.thumbnail->LoadImage()) {
        return;  // unreadable: no message, the caption stays
    }
    QString name = Showable(ng::ThumbnailCaptionName(path));
    QFontMetrics metrics(m_ui.thumbnailFrame->font());
    name = metrics.elidedText(name, Qt::ElideMiddle, m_ui.thumbnail->width() - 8);
    m_ui.thumbnailFrame->setTitle(name.replace(u'&', QStringLiteral("&&")));
}
