// One accepted article: fetch it, let the saver find and decode its
// attachment into the group's folder, log it, show it, and remember its name.

#include <cstring>

#include "engine/ProcessGroups.h"
#include "platform/System.h"
#include "platform/TextFile.h"
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
    bool complete = m_fetcher.ReadBody([&](std::string_view line, int64_t received) {
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
    if (!complete) {
        // A stopped or broken download leaves no file under the picture's name.
        m_saver.Drop();
        return false;
    }
    Window().SetProgress(LinesDecoded, m_expectedLines, m_expectedLines, false);

    AttachmentSaver::Outcome saved = m_saver.Save(m_settings.saveAscii, &m_pause);
    switch (saved.kind) {
        case AttachmentSaver::Outcome::NotSaved:
            return false;
        case AttachmentSaver::Outcome::Failed:
            // Not the article's fault: no later file would fare better.
            m_pass.Fail(IsDiskFullError(saved.error) ? "Error--disk or directory full"
                                                     : "Error--cannot write in " + m_strSaveDir +
                                                           " (" + std::strerror(saved.error) + ")");
            return false;
        case AttachmentSaver::Outcome::Duplicate:
            // The picture is there already: a history skip.
            ++m_historySkipped;
            Window().SetHistorySkipped(m_historySkipped);
            if (m_settings.filter.logHistoryHits) {
                LogHistoryHit(ToUpperAscii(saved.name), ToUpperAscii(m_strSubject));
            }
            break;
        case AttachmentSaver::Outcome::Saved: {
            const std::string outputPath = m_strSaveDir + saved.name;
            if (saved.name != m_saver.FileName()) {
                Window().SetSavingToText(outputPath);  // the name really written
            }
            int error = 0;
            if (m_settings.enableLogging &&
                !AppendDownloadLog(m_settings.logFile, outputPath, m_strFrom, &error) &&
                IsRefusedFile(error) && !m_bLogRefusalShown) {
                // A link or a FIFO planted as the log is refused; say so once.
                m_bLogRefusalShown = true;
                Window().SetStatusText("Unable to write to " + m_settings.logFile +
                                       " (not a plain file of its own)");
            }
            Window().ShowThumbnail(outputPath);
            break;
        }
    }
    Window().SetBytesTransferred(m_bytesTransferred);
    const int64_t now = NowSeconds();
    Window().SetRateSince(BytesPerSec, m_passStart, now, m_bytesTransferred);
    m_articleSeconds += now - articleStart;
    Window().SetRate(BinaryBytesPerSec, m_articleSeconds, m_bytesTransferred);

    // The history keeps the name the article gave, whatever name the file
    // got: that is what the next subject with it is tested against. Names
    // without a dot, and index files, are not worth remembering.
    std::string lowerName = ToLowerAscii(m_saver.FileName());
    if (lowerName.find("index") == std::string::npos && lowerName.find('.') != std::string::npos) {
        m_history.Add(lowerName);
    }
    Window().SetSavingToText("");
    Window().SetProgress(LinesDecoded, 0, 0, true);
    return true;
}
