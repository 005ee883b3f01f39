#include "pass/TerminalDisplay.h"

#include <chrono>

#include "engine/DisplayFormat.h"
#include "platform/ShowableText.h"
#include "platform/System.h"

using namespace ng;

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A bar of 20 cells for the live display.
std::string BarCells(int percent) {
    const size_t filled = percent < 0 ? 0 : (percent > 100 ? 20 : percent / 5);
    std::string bar(22, '.');
    bar.front() = '[';
    bar.back() = ']';
    bar.replace(1, filled, filled, '#');
    return bar;
}

// Keeps a live line to one terminal row, so the redraw can count rows. The
// server's text is shown without its control characters.
std::string Fit(const std::string& text, size_t width = 100) {
    std::string line = ShowableText(text);
    return line.size() > width ? line.substr(0, width - 3) + "..." : line;
}

const char* const kBarNames[] = {"Group Progress:  ", "Article Progress:", "Lines Decoded:   "};

}  // namespace

TerminalDisplay::TerminalDisplay(std::FILE* out, bool live, std::string title)
    : m_out(out), m_bLive(live), m_strTitle(std::move(title)), m_start(NowSeconds()) {}

void TerminalDisplay::PlainLocked(const std::string& line) {
    // Once the reader has gone (a closed pipe) the pass goes on unseen.
    if (!m_bLive && !std::ferror(m_out)) {
        std::fprintf(m_out, "%s\n", ShowableText(line).c_str());
        std::fflush(m_out);
    }
}

void TerminalDisplay::DrawLocked(bool force) {
    if (!m_bLive) {
        return;
    }
    int64_t now = NowMs();
    if (!force && now - m_lastDrawMs < 100) {
        return;  // at most ten redraws a second
    }
    m_lastDrawMs = now;
    std::string block;
    if (m_nDrawnLines > 0) {
        block += "\033[" + std::to_string(m_nDrawnLines) + "F";  // back to the block's top
    }
    auto line = [&](const std::string& text) { block += "\033[2K" + Fit(text) + "\n"; };
    line(m_strTitle + "   " + ElapsedText(NowSeconds() - m_start));
    for (int bar = 0; bar < 3; ++bar) {
        const ProgressState state =
            m_bars[bar].shown ? ProgressOf(m_bars[bar].done, m_bars[bar].total) : ProgressState{};
        line(std::string(kBarNames[bar]) + " " + BarCells(state.percent) + " " + state.text);
    }
    line("Subject:   " + m_subject);
    line("From:      " + m_from);
    line("Saving To: " + m_savingTo);
    line("Articles Scanned: " + std::to_string(m_scanned) + "   Articles Saved: " +
         std::to_string(m_saved) + "   Bytes Transferred: " + GroupThousands(m_bytes));
    line("Bytes/Sec: " + m_rate[BytesPerSec] + "   Binary Bytes/Sec: " + m_rate[BinaryBytesPerSec] +
         "   History Files Skipped: " + std::to_string(m_historySkipped) +
         "   Crossposts Skipped: " + std::to_string(m_crosspostsSkipped));
    line(StatusLineText(m_status) + (m_statusPercent > 0 ? "  " + BarCells(m_statusPercent) : ""));
    m_nDrawnLines = 10;
    std::fputs(block.c_str(), m_out);
    std::fflush(m_out);
}

void TerminalDisplay::SetStatusText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_status = text;
    PlainLocked(text);
    DrawLocked(true);
}

void TerminalDisplay::SetSubjectText(const std::string& text) {
    Update(m_subject, text);
}

void TerminalDisplay::SetSavingToText(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_savingTo = text;
    if (!text.empty() && text.front() != '(') {
        PlainLocked("  Saving to " + text);
    }
    DrawLocked(false);
}

void TerminalDisplay::SetFromText(const std::string& text) {
    Update(m_from, text);
}

void TerminalDisplay::ShowThumbnail(const std::string&) {}

void TerminalDisplay::SetBytesTransferred(int64_t count) {
    Update(m_bytes, count);
}

void TerminalDisplay::SetArticlesScanned(int count) {
    Update(m_scanned, count);
}

void TerminalDisplay::SetArticlesSaved(int count) {
    Update(m_saved, count);
}

void TerminalDisplay::SetRate(RateField field, int64_t seconds, int64_t bytes) {
    Update(m_rate[field == BytesPerSec ? 0 : 1], RateText(seconds, bytes));
}

void TerminalDisplay::SetRateSince(RateField field, int64_t start, int64_t end, int64_t bytes) {
    Update(m_rate[field == BytesPerSec ? 0 : 1], RateSinceText(start, end, bytes));
}

void TerminalDisplay::SetHistorySkipped(int count) {
    Update(m_historySkipped, count);
}

void TerminalDisplay::SetCrosspostsSkipped(int count) {
    Update(m_crosspostsSkipped, count);
}

void TerminalDisplay::SetProgress(ProgressBar bar, int done, int total, bool reset) {
    std::lock_guard lock(m_mutex);
    int index = bar == GroupProgress ? 0 : (bar == ArticleProgress ? 1 : 2);
    m_bars[index] = reset ? Bar{} : Bar{done, total, true};
    if (!reset && bar != LinesDecoded) {
        PlainLocked((bar == GroupProgress ? "Group " : "  File ") + ProgressOf(done, total).text);
    }
    DrawLocked(false);
}

void TerminalDisplay::SetStatusProgress(int done, int total) {
    std::lock_guard lock(m_mutex);
    m_statusPercent = StatusProgressPercent(done, total);
    DrawLocked(false);
}

void TerminalDisplay::EnablePending(bool) {}

void TerminalDisplay::ShowMessage(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_bShowedMessage = true;
    std::string oneLine = text;
    for (char& c : oneLine) {
        if (c == '\n') {
            c = ' ';
        }
    }
    size_t doubled;
    while ((doubled = oneLine.find("  ")) != std::string::npos) {
        oneLine.erase(doubled, 1);
    }
    m_status = oneLine;
    PlainLocked(oneLine);
    DrawLocked(true);
}

void TerminalDisplay::PassEnded() {
    {
        std::lock_guard lock(m_mutex);
        DrawLocked(true);
        m_bEnded = true;
    }
    m_ended.notify_all();
}

void TerminalDisplay::Note(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_bLive) {
        m_status = text;
        DrawLocked(true);
    } else {
        PlainLocked(text);
    }
}

void TerminalDisplay::WaitForPassEnd() {
    std::unique_lock lock(m_mutex);
    while (!m_bEnded) {
        m_ended.wait_for(lock, std::chrono::seconds(1));
        DrawLocked(true);
    }
}

void TerminalDisplay::PrintSummary() {
    std::lock_guard lock(m_mutex);
    if (m_bLive) {
        return;  // the block already shows every counter
    }
    std::fprintf(m_out,
                 "Articles Scanned: %d, Articles Saved: %d, Bytes Transferred: %s, "
                 "History Files Skipped: %d, Crossposts Skipped: %d, Elapsed: %s\n",
                 m_scanned, m_saved, GroupThousands(m_bytes).c_str(), m_historySkipped,
                 m_crosspostsSkipped, Fit(ElapsedText(NowSeconds() - m_start)).c_str());
    std::fflush(m_out);
}

std::string TerminalDisplay::LastStatus() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

bool TerminalDisplay::ShowedMessage() const {
    std::lock_guard lock(m_mutex);
    return m_bShowedMessage;
}
