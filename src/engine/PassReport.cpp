#include "engine/PassReport.h"

#include <cstdio>

#include "platform/AsciiCase.h"
#include "platform/System.h"
#include "store/DownloadHistory.h"

namespace ng {

void PassReport::ShowStart() {
    IDisplay& window = Window();
    window.SetHistorySkipped(0);
    window.SetCrosspostsSkipped(0);
    window.SetRate(BytesPerSec, 0, 0);
    window.SetRate(BinaryBytesPerSec, 0, 0);
    window.SetArticlesSaved(0);
    window.SetArticlesScanned(0);
    window.SetBytesTransferred(0);
    window.SetProgress(GroupProgress, 0, 0, true);
    window.SetProgress(ArticleProgress, 0, 0, true);
    window.SetProgress(LinesDecoded, 0, 0, true);
}

void PassReport::StartClock() {
    m_passStart = NowSeconds();
}

void PassReport::AddScanned(int count) {
    m_scanned += count;
    Window().SetArticlesScanned(m_scanned);
}

void PassReport::CountSaved() {
    ++m_saved;
    Window().SetArticlesSaved(m_saved);
}

void PassReport::HistorySkip(bool log, const std::string& matched, const std::string& subject) {
    ++m_historySkipped;
    Window().SetHistorySkipped(m_historySkipped);
    if (log) {
        LogHistoryHit(matched, subject);
    }
}

void PassReport::CrosspostSkip() {
    ++m_crosspostsSkipped;
    Window().SetCrosspostsSkipped(m_crosspostsSkipped);
}

void PassReport::ShowTransferFigures(int64_t articleStart) {
    Window().SetBytesTransferred(m_bytes);
    const int64_t now = NowSeconds();
    Window().SetRateSince(BytesPerSec, m_passStart, now, m_bytes);
    m_articleSeconds += now - articleStart;
    Window().SetRate(BinaryBytesPerSec, m_articleSeconds, m_bytes);
}

namespace {

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string Megabytes(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

}  // namespace

std::string PassReport::LeftBehindText() const {
    std::string text;
    if (m_waitingPosts > 0) {
        text = Counted(m_waitingPosts, "post waits", "posts wait") + " for missing parts (" +
               Megabytes(m_waitingBytes) + ")";
    }
    std::string givenUp;
    auto add = [&](int count, const std::string& why) {
        if (count > 0) {
            givenUp += (givenUp.empty() ? "" : ", ") + std::to_string(count) + " " + why;
        }
    };
    add(m_takenDown, "taken down");
    add(m_damaged, "damaged");
    add(m_incomplete, "incomplete");
    add(m_notPictures, m_notPictures == 1 ? "not a picture" : "not pictures");
    if (!givenUp.empty()) {
        text += (text.empty() ? "Given up: " : "; given up: ") + givenUp;
    }
    return text;
}

}  // namespace ng
