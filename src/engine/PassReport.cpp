#include "engine/PassReport.h"

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

void PassReport::CountRetrieval() {
    ++m_retrieved;
    Window().SetArticlesSaved(m_retrieved);
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

std::string PassReport::LeftBehindText() const {
    if (m_givenUp == 0) {
        return {};
    }
    return "Gave up on " + std::to_string(m_givenUp) + (m_givenUp == 1 ? " article" : " articles") +
           " the server no longer has";
}

}  // namespace ng
