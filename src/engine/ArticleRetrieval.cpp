// One accepted article: fetch it, let the saver find and decode its
// attachment into the group's folder, log it, show it, and remember its name.

#include "engine/ProcessGroups.h"
#include "platform/System.h"
#include "store/DownloadLog.h"

using namespace ng;

bool CProcessGroups::RetrieveArticle(const std::string& number) {
    switch (m_fetcher.Request(number)) {
        case ArticleFetcher::Reply::None:
            // No answer at all (connection lost, or a stop cut the wait
            // short): the article was not dealt with and must be offered again.
            return false;
        case ArticleFetcher::Reply::Other:
            Window().SetProgress(LinesDecoded, 0, 0, true);
            return true;  // no such article: dealt with
        case ArticleFetcher::Reply::Follows:
            break;
    }

    Window().SetSubjectText(m_strSubject);
    Window().SetSavingToText("(Looking for binary attachment)");
    const int64_t articleStart = NowSeconds();
    m_saver.Begin(m_strSaveDir);
    int lineCounter = 0;
    bool result = m_fetcher.ReadBody([&](std::string_view line, int64_t received) {
        LineNote note = m_saver.Take(line);
        if (note.shown) {
            Window().SetSavingToText(m_strSaveDir + *note.shown);
        }
        if (note.restartCount) {
            lineCounter = 0;
        }
        m_bytesTransferred += received;
        ++lineCounter;
        if (lineCounter % 10 == 0) {
            Window().SetProgress(LinesDecoded, lineCounter, m_expectedLines, false);
        }
    });
    if (!m_pass.StopRequested()) {
        Window().SetProgress(LinesDecoded, m_expectedLines, m_expectedLines, false);
    }

    switch (m_saver.Save(m_settings.saveAscii, &m_pause)) {
        case AttachmentSaver::Result::NotCreatedDiskFull:
            m_pass.Fail("Error--disk or directory full");
            return false;
        case AttachmentSaver::Result::NotCreated:
            return false;
        case AttachmentSaver::Result::Refused:
            result = false;
            break;
        case AttachmentSaver::Result::DiskFull:
            m_pass.Fail("Error--disk or directory full");
            result = false;
            break;
        case AttachmentSaver::Result::Saved:
            break;
    }

    const std::string outputPath = m_saver.OutputPath();
    if (m_settings.enableLogging) {
        AppendDownloadLog(m_settings.logFile, outputPath, m_strFrom);
    }
    Window().ShowThumbnail(outputPath);
    Window().SetBytesTransferred(m_bytesTransferred);

    const int64_t now = NowSeconds();
    Window().SetRateSince(BytesPerSec, m_passStart, now, m_bytesTransferred);
    m_articleSeconds += now - articleStart;
    Window().SetRate(BinaryBytesPerSec, m_articleSeconds, m_bytesTransferred);

    // Names without a dot, and index files, are not worth remembering.
    std::string lowerName = ToLowerAscii(m_saver.FileName());
    bool keepInHistory =
        lowerName.find("index") == std::string::npos && lowerName.find('.') != std::string::npos;
    if (result && keepInHistory) {
        m_history.Add(lowerName);
    }
    Window().SetSavingToText("");
    Window().SetProgress(LinesDecoded, 0, 0, true);
    return result;
}
