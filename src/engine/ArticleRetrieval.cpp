// One accepted article: fetch it, let the saver find and decode its
// attachments into the group's folder, log them, show them, and remember
// their names.

#include <cstring>

#include "engine/ProcessGroups.h"
#include "platform/ShowableText.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "store/DownloadLog.h"

using namespace ng;

CProcessGroups::Fetched CProcessGroups::FetchIntoSaver(const std::string& number,
                                                       int64_t& articleStart) {
    switch (m_fetcher.Request(number)) {
        case ArticleFetcher::Reply::None:
            return Fetched::NoAnswer;
        case ArticleFetcher::Reply::Other:
            Window().SetProgress(LinesDecoded, 0, 0, true);
            return Fetched::NoArticle;
        case ArticleFetcher::Reply::Follows:
            break;
    }

    Window().SetSubjectText(m_strSubject);
    Window().SetSavingToText("(Looking for binary attachment)");
    articleStart = NowSeconds();
    m_saver.Begin(m_strSaveDir, m_strSubject);
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
        return Fetched::Cut;
    }
    Window().SetProgress(LinesDecoded, m_expectedLines, m_expectedLines, false);
    return Fetched::Held;
}

bool CProcessGroups::RetrieveArticle(const std::string& number) {
    int64_t articleStart = 0;
    switch (FetchIntoSaver(number, articleStart)) {
        case Fetched::NoAnswer:
            // No answer at all (connection lost, or a stop cut the wait
            // short): the article was not dealt with and must be offered again.
        case Fetched::Cut:
            return false;
        case Fetched::NoArticle:
            return true;  // no such article: dealt with
        case Fetched::Held:
            break;
    }
    if (!ReportOutcomes(m_saver.Save(
            {m_settings.saveAscii, &m_pause, HashesInUse(), m_settings.picturesOnly}))) {
        return false;
    }
    ShowTransferFigures(articleStart);
    Window().SetSavingToText("");
    Window().SetProgress(LinesDecoded, 0, 0, true);
    return true;
}

// Reports what became of each attachment of an article and remembers the
// names of those saved or there already; a damaged one (a repost may still
// be fetched) and one that is no picture are not remembered. False when the
// article is not dealt with: it holds nothing to save, a name that cannot
// be saved, or the folder cannot be written.
bool CProcessGroups::ReportOutcomes(const std::vector<SaveOutcome>& outcomes) {
    bool dealtWith = !outcomes.empty();
    for (const SaveOutcome& saved : outcomes) {
        if (!ReportOutcome(saved)) {
            if (saved.kind == SaveOutcome::Failed) {
                return false;
            }
            dealtWith = false;
        } else if (saved.kind != SaveOutcome::Damaged && saved.kind != SaveOutcome::NotPicture) {
            RememberName(saved.given);
        }
    }
    return dealtWith;
}

// Shows, logs and counts what became of a picture. False when nothing was
// saved for a reason that makes the article not dealt with.
bool CProcessGroups::ReportOutcome(const SaveOutcome& saved) {
    switch (saved.kind) {
        case SaveOutcome::NotSaved:
            return false;
        case SaveOutcome::Failed:
            // Not the article's fault: no later file would fare better.
            m_pass.Fail(IsDiskFullError(saved.error) ? "Error--disk or directory full"
                                                     : "Error--cannot write in " + m_strSaveDir +
                                                           " (" + std::strerror(saved.error) + ")");
            return false;
        case SaveOutcome::Damaged:
            ReportDamage(saved.name.empty() ? m_strSubject : saved.name, saved.damage);
            break;
        case SaveOutcome::NotPicture:
            ++m_notPictures;
            ReportNotPicture(saved.name);
            break;
        case SaveOutcome::Duplicate:
            // The picture is there already: a history skip.
            ++m_historySkipped;
            Window().SetHistorySkipped(m_historySkipped);
            if (m_settings.filter.logHistoryHits) {
                LogHistoryHit(ToUpperAscii(saved.name), ToUpperAscii(m_strSubject));
            }
            break;
        case SaveOutcome::KnownContent:
            // The same bytes were saved before under another name.
            ++m_historySkipped;
            Window().SetHistorySkipped(m_historySkipped);
            if (m_settings.filter.logHistoryHits) {
                LogHistoryHit(saved.name, "duplicate of " + saved.earlier);
            }
            break;
        case SaveOutcome::Saved: {
            const std::string outputPath = m_strSaveDir + saved.name;
            if (saved.name != saved.asked) {
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
    return true;
}

// A post whose sizes or checksums do not add up: nothing is kept under its
// name. The status line says so, and the download log, when it is kept,
// gets a record that cannot be taken for a saved file's.
void CProcessGroups::ReportDamage(const std::string& name, const std::string& why) {
    const std::string path = m_strSaveDir + name;
    Window().SetStatusText("Damaged post, not saved: " + ShowableText(name) + " (" +
                           ShowableText(why) + ")");
    if (m_settings.enableLogging) {
        AppendTextLine(m_settings.logFile, ShowableText("damaged post, not saved (" + why +
                                                        "): " + path + " -> " + m_strFrom));
    }
}

// An attachment that decoded to no picture while only pictures are kept:
// said once, on the status line and in the download log when it is kept.
void CProcessGroups::ReportNotPicture(const std::string& name) {
    Window().SetStatusText("Not a picture, not saved: " + ShowableText(name));
    if (m_settings.enableLogging) {
        AppendTextLine(
            m_settings.logFile,
            ShowableText("not a picture, not saved: " + m_strSaveDir + name + " -> " + m_strFrom));
    }
}

// The history keeps the name the article gave, whatever name the file got:
// that is what the next subject with it is tested against. Names without a
// dot, and index files, are not worth remembering; a name already there
// (a picture fetched again because its subject quotes the name, say) is
// not entered twice.
void CProcessGroups::RememberName(const std::string& name) {
    std::string lowerName = ToLowerAscii(name);
    if (lowerName.find("index") == std::string::npos && lowerName.find('.') != std::string::npos &&
        !m_history.Holds(lowerName)) {
        m_history.Add(lowerName);
        m_bHistoryChanged = true;
    }
}

void CProcessGroups::ShowTransferFigures(int64_t articleStart) {
    Window().SetBytesTransferred(m_bytesTransferred);
    const int64_t now = NowSeconds();
    Window().SetRateSince(BytesPerSec, m_passStart, now, m_bytesTransferred);
    m_articleSeconds += now - articleStart;
    Window().SetRate(BinaryBytesPerSec, m_articleSeconds, m_bytesTransferred);
}
