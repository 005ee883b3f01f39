#include "engine/PostRetriever.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/PassContext.h"
#include "engine/PassHistory.h"
#include "engine/PassReport.h"
#include "engine/PostParts.h"
#include "platform/ShowableText.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "store/DownloadLog.h"

namespace ng {

// An article's lines on their way from the server into the saver, with
// what the window shows of them.
class PostRetriever::Sink : public ArticleSink {
public:
    Sink(PostRetriever& owner, int64_t& articleStart)
        : m_owner(owner), m_articleStart(articleStart) {}

    void Begin() override {
        IDisplay& window = m_owner.m_report.Window();
        window.SetSubjectText(m_owner.m_strSubject);
        window.SetSavingToText("(Looking for binary attachment)");
        m_articleStart = NowSeconds();
        m_owner.m_saver.Begin(m_owner.m_folder.saveDir, m_owner.m_strSubject);
        m_lineCounter = 0;
    }
    void Line(std::string_view line, int64_t received) override {
        LineNote note = m_owner.m_saver.Take(line);
        if (note.shown) {
            m_owner.m_report.Window().SetSavingToText(m_owner.m_folder.saveDir + *note.shown);
        }
        if (note.restartCount) {
            m_lineCounter = 0;
        }
        m_owner.m_report.AddBytes(received);
        if (++m_lineCounter % 10 == 0) {
            m_owner.m_report.Window().SetProgress(LinesDecoded, m_lineCounter,
                                                  m_owner.m_expectedLines, false);
        }
    }
    // Runs of lines that mean nothing for the window but the count are
    // taken at once; the bar still moves at every tenth line.
    void Lines(const LineBlock& block) override {
        const LineRun run = block.Run();
        for (size_t i = 0; i < run.Size();) {
            const size_t count = m_owner.m_saver.TakeQuiet(run, i);
            if (count == 0) {
                Line(run[i], block.received[i]);
                ++i;
                continue;
            }
            int64_t bytes = 0;
            for (size_t k = i; k < i + count; ++k) {
                bytes += block.received[k];
            }
            m_owner.m_report.AddBytes(bytes);
            const int last = m_lineCounter + static_cast<int>(count);
            for (int tenth = m_lineCounter / 10 * 10 + 10; tenth <= last; tenth += 10) {
                m_owner.m_report.Window().SetProgress(LinesDecoded, tenth, m_owner.m_expectedLines,
                                                      false);
            }
            m_lineCounter = last;
            i += count;
        }
    }

private:
    PostRetriever& m_owner;
    int64_t& m_articleStart;
    int m_lineCounter = 0;
};

PostRetriever::PostRetriever(PassContext& pass, PassReport& report, const PassSettings& settings,
                             ArticleSource& source, PartialPosts& parts, PassHistory& history)
    : m_pass(pass),
      m_report(report),
      m_settings(settings),
      m_source(source),
      m_parts(parts),
      m_history(history) {}

PostRetriever::Fetched PostRetriever::Fetch(const OverviewRecord& record,
                                            const std::vector<ArticleRequest>& upcoming,
                                            int64_t& articleStart) {
    Sink sink(*this, articleStart);
    switch (m_source.Fetch({record.number, record.messageId}, upcoming, sink)) {
        case FetchResult::Body:
            break;
        case FetchResult::Missing:
            m_report.Window().SetProgress(LinesDecoded, 0, 0, true);
            return Fetched::Missing;
        case FetchResult::Failed:
        case FetchResult::Stopped:
            // A stopped or broken download leaves no file under the picture's name.
            m_saver.Drop();
            return Fetched::Cut;
    }
    m_report.Window().SetProgress(LinesDecoded, m_expectedLines, m_expectedLines, false);
    return Fetched::Body;
}

EntryOutcome PostRetriever::Retrieve(const PendingEntry& entry,
                                     const std::vector<ArticleRequest>& later) {
    EntryOutcome outcome;
    const OverviewRecord& first = entry.front();
    m_strSubject = first.subject;
    m_strFrom = first.from;
    m_expectedLines = first.lines;
    m_report.Window().SetFromText(m_strFrom);
    if (!m_folder.makeFirst.empty()) {
        MakeDirectories(m_folder.makeFirst);  // a failure shows when the file cannot be created
    }
    if (MultiPartCounter(first.subject)) {
        RetrievePost(entry, later, outcome);
    } else {
        RetrieveArticle(first, later, outcome);
    }
    return outcome;
}

void PostRetriever::Finished() {
    m_report.Window().SetSavingToText("");
    m_report.Window().SetProgress(LinesDecoded, 0, 0, true);
}

void PostRetriever::RetrieveArticle(const OverviewRecord& record,
                                    const std::vector<ArticleRequest>& later,
                                    EntryOutcome& outcome) {
    int64_t articleStart = 0;
    switch (Fetch(record, later, articleStart)) {
        case Fetched::Cut:
            // No answer at all (connection lost, or a stop cut the wait
            // short): the article was not dealt with and must be offered again.
            outcome.undone.push_back(record.number);
            return;
        case Fetched::Missing:
            outcome.missing.push_back(record);
            return;
        case Fetched::Body:
            break;
    }
    if (std::optional<FilePart> held = m_saver.HeldPart()) {
        KeepLonePart(*held, record, articleStart, outcome);
        return;
    }
    switch (SaveAll(outcome)) {
        case Saving::Failed:
            outcome.undone.push_back(record.number);
            return;
        case Saving::Nothing:
            return;  // the window stays as it is
        case Saving::Done:
            break;
    }
    m_report.ShowTransferFigures(articleStart);
    Finished();
}

PostRetriever::Saving PostRetriever::SaveAll(EntryOutcome& outcome) {
    const std::vector<SaveOutcome> outcomes = m_saver.Save(
        {m_settings.saveAscii, &m_pass.Pause(), m_history.Hashes(), m_settings.picturesOnly});
    Saving result = Saving::Nothing;
    for (const SaveOutcome& saved : outcomes) {
        if (!Report(saved, outcome)) {
            return Saving::Failed;
        }
        Remember(saved);
        if (saved.kind != SaveOutcome::NotSaved) {
            result = Saving::Done;
        }
    }
    return result;
}

// The history keeps the name the article gave for what is in the folder;
// a damaged post (a repost may still be fetched) and a file that is no
// picture are not remembered.
void PostRetriever::Remember(const SaveOutcome& saved) {
    switch (saved.kind) {
        case SaveOutcome::Saved:
        case SaveOutcome::Duplicate:
        case SaveOutcome::KnownContent:
            m_history.Remember(saved.given);
            break;
        default:
            break;
    }
}

void PostRetriever::WriteFailed(int error, const std::string& where, bool groupFolder,
                                EntryOutcome& outcome) {
    if (IsDiskFullError(error)) {
        m_pass.Fail("Error--disk or directory full");  // no later file would fare better
        return;
    }
    const std::string reason = std::string(" (") + std::strerror(error) + ")";
    if (groupFolder) {
        const std::string status = "Error--cannot write in " + where + reason;
        m_report.Window().SetStatusText(status);
        m_pass.NoteFailure(status);
        outcome.groupFailed = true;
        return;
    }
    const std::string status = "Unable to keep parts in " + where + reason;
    if (!m_bWorkFolderRefusalShown) {
        m_bWorkFolderRefusalShown = true;  // said once; every split post meets it
        m_report.Window().SetStatusText(status);
    }
    m_pass.NoteFailure(status);
}

bool PostRetriever::Report(const SaveOutcome& saved, EntryOutcome& outcome) {
    switch (saved.kind) {
        case SaveOutcome::NotSaved:
            return true;  // the callers leave the window as it is
        case SaveOutcome::Failed:
            WriteFailed(saved.error, m_folder.saveDir, /*groupFolder=*/true, outcome);
            return false;
        case SaveOutcome::Damaged:
            // Dealt with, but not remembered: a repost may still be fetched.
            ReportDamage(saved.name.empty() ? m_strSubject : saved.name, saved.damage);
            break;
        case SaveOutcome::NotPicture:
            ReportNotPicture(saved.name);
            break;
        case SaveOutcome::Duplicate:
            // The picture is there already: a history skip.
            m_report.HistorySkip(m_settings.filter.logHistoryHits, ToUpperAscii(saved.name),
                                 ToUpperAscii(m_strSubject));
            break;
        case SaveOutcome::KnownContent:
            // The same bytes were saved before under another name.
            m_report.HistorySkip(m_settings.filter.logHistoryHits, saved.name,
                                 "duplicate of " + saved.earlier);
            break;
        case SaveOutcome::Saved: {
            const std::string outputPath = m_folder.saveDir + saved.name;
            if (saved.name != saved.asked) {
                m_report.Window().SetSavingToText(outputPath);  // the name really written
            }
            int error = 0;
            if (m_settings.enableLogging &&
                !AppendDownloadLog(m_settings.logFile, outputPath, m_strFrom, &error) &&
                IsRefusedFile(error) && !m_bLogRefusalShown) {
                // A link or a FIFO planted as the log is refused; say so once.
                m_bLogRefusalShown = true;
                m_report.Window().SetStatusText("Unable to write to " + m_settings.logFile +
                                                " (not a plain file of its own)");
            }
            m_report.Window().ShowThumbnail(outputPath);
            m_report.CountSaved();
            break;
        }
    }
    return true;
}

// A post whose sizes or checksums do not add up: nothing is kept under its
// name. The status line says so, and the download log, when it is kept,
// gets a record that cannot be taken for a saved file's.
void PostRetriever::ReportDamage(const std::string& name, const std::string& why) {
    m_report.CountDamaged();
    const std::string path = m_folder.saveDir + name;
    m_report.Window().SetStatusText("Damaged post, not saved: " + ShowableText(name) + " (" +
                                    ShowableText(why) + ")");
    if (m_settings.enableLogging) {
        // A log that cannot be written loses a record, never a picture.
        (void)AppendTextLine(m_settings.logFile, ShowableText("damaged post, not saved (" + why +
                                                              "): " + path + " -> " + m_strFrom));
    }
}

// An attachment that decoded to no picture while only pictures are kept:
// said on the status line, and in the download log when it is kept.
void PostRetriever::ReportNotPicture(const std::string& name) {
    m_report.CountNotPicture();
    m_report.Window().SetStatusText("Not a picture, not saved: " + ShowableText(name));
    if (m_settings.enableLogging) {
        (void)AppendTextLine(m_settings.logFile,
                             ShowableText("not a picture, not saved: " + m_folder.saveDir + name +
                                          " -> " + m_strFrom));
    }
}

}  // namespace ng
