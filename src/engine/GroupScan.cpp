// One active group: select it, fetch the overview lines of the articles
// since its high-water mark, filter them into the pending list, retrieve
// what was accepted, and store the new mark.

#include <algorithm>
#include <cstdio>

#include "engine/Overview.h"
#include "engine/ProcessGroups.h"
#include "net/Socket.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

using namespace ng;

namespace {

std::string Format(const char* format, long long number, const std::string& text) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, number);
    return buffer + text;
}

struct GroupReply {
    int64_t code = 0, count = 0, first = 0, last = 0;
};

// "211 count first last name": the number at the start of each blank-separated field.
GroupReply ParseGroupResponse(const std::string& reply) {
    GroupReply result;
    int64_t* fields[] = {&result.code, &result.count, &result.first, &result.last};
    size_t start = 0;
    for (int i = 0; i < 4 && start != std::string::npos; ++i) {
        size_t blank = i < 3 ? reply.find(' ', start) : std::string::npos;
        *fields[i] = LeadingNumber(std::string_view(reply).substr(
            start, blank == std::string::npos ? std::string::npos : blank - start));
        start = blank == std::string::npos ? blank : blank + 1;
    }
    return result;
}

int ClampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

void CProcessGroups::ProcessGroup(const std::string& group) {
    IDisplay& window = *m_pWindow;
    const SettingsStore& store = m_settings;

    // The group's own folder, when separate folders are enabled and it has one.
    std::string dirText = store.GetProfileString(keys::kDownloadDirsSection, group, "");
    bool ownDirectory =
        !dirText.empty() && store.GetProfileInt(keys::kDownloadDirsSection, keys::kEnable, 0) != 0;
    std::string groupPath = m_strDownloadDir + dirText;
    bool groupPathExisted = false;
    if (ownDirectory) {
        groupPathExisted = CanEnterDirectory(groupPath);
        m_strSaveDir = groupPath + "/";
    } else {
        m_strSaveDir = m_strDownloadDir;
    }

    const int64_t mark = LeadingNumber(
        store.GetProfileString(m_strHost, group, std::to_string(defaults::kHighWaterMark)));
    int64_t lastDealtWith = mark;

    m_pSocket->SendLine("GROUP " + group + "\r\n");
    GroupReply reply = ParseGroupResponse(ReadLine());
    if (reply.code != 211 || reply.count == 0) {
        return;
    }
    // New articles are those above both the mark and first - 1: a group whose
    // only new article is its first one still has one to fetch.
    int64_t estimate = std::min(reply.count, reply.last - std::max(mark, reply.first - 1));
    if (estimate == 0) {
        window.SetStatusText("No articles found in " + group);
        return;
    }
    m_pSocket->SendLine("XOVER " + std::to_string(mark + 1) + "-\r\n");
    if (ReplyCode(ReadLine()) != 224) {
        return;
    }
    window.SetStatusText(Format("Retrieving up to %lld headers in ", estimate, group));

    std::vector<std::string> fetched;
    int64_t fetchedBytes = 0;
    for (std::string line = ReadLine(); !IsEndOfBlock(line); line = ReadLine()) {
        if (!Connected()) {
            NoteConnectionLost();
        }
        if (PollStop()) {
            break;
        }
        fetchedBytes += static_cast<int64_t>(line.size()) + kHeldLineCost;
        if (fetchedBytes > kMaxOverviewBytes) {
            DropConnection();  // noticed as a lost connection at the next line
            continue;
        }
        fetched.push_back(std::move(line));
        if (fetched.size() % 10 == 0) {
            window.SetStatusProgress(static_cast<int>(fetched.size()), ClampToInt(estimate));
        }
    }

    const int fetchedCount = static_cast<int>(fetched.size());
    window.SetStatusText(Format("Scanning %lld retrieved headers in ", fetchedCount, group));
    int scanned = 0;
    for (const std::string& line : fetched) {
        if (PollStop()) {
            break;
        }
        OverviewFields fields = ParseOverviewLine(line);
        if (AcceptHeader(fields.number, fields.subject, fields.from, fields.lines)) {
            m_pending.Append(line);
            m_acceptedSubjects.insert(fields.subject);
        }
        ++scanned;
        if (scanned % 10 == 0) {
            window.SetStatusProgress(scanned, fetchedCount);
        }
    }
    fetched.clear();
    m_articlesScanned += scanned;
    window.SetArticlesScanned(m_articlesScanned);

    int pendingTotal = static_cast<int>(m_pending.Size());
    if (pendingTotal > 0) {
        window.SetStatusText(Format("Retrieving %lld files from ", pendingTotal, group));
    } else {
        window.SetStatusText("No articles found in " + group);
    }
    window.SetStatusProgress(0, 0);

    if (pendingTotal > 0) {
        window.EnablePending(true);
        int j = 0;
        while (auto head = m_pending.TakeHead()) {
            if (!Connected()) {
                m_bStopRequested = true;
            }
            if (PollStop()) {
                break;
            }
            ++j;
            window.SetProgress(ArticleProgress, j, pendingTotal, false);
            // A frequency of 0 or less means: save at the end of the pass only.
            if (m_histSaveFrequency > 0 && j % m_histSaveFrequency == 0) {
                SaveHistory();
            }
            OverviewFields fields = ParseOverviewLine(*head);
            m_strSubject = fields.subject;
            m_strFrom = fields.from;
            m_expectedLines = fields.lines;
            window.SetFromText(m_strFrom);
            if (ownDirectory && !groupPathExisted) {
                MakeDirectories(groupPath);  // a failure shows when the file cannot be created
            }
            bool dealtWith = RetrieveArticle(fields.number);
            ++m_articlesSaved;
            window.SetArticlesSaved(m_articlesSaved);
            if (dealtWith) {
                lastDealtWith = LeadingNumber(fields.number);
            }
            if (m_bCatchUp) {
                lastDealtWith = reply.last;
            }
            window.SetFromText("");
            window.SetSubjectText("");
            if (auto removed = m_pending.TakeRemovals()) {
                pendingTotal -= *removed;
                window.SetProgress(ArticleProgress, j, pendingTotal, false);
            }
        }
    }
    m_pending.Clear();
    window.EnablePending(false);

    int64_t newMark = m_bStopRequested ? lastDealtWith : reply.last;
    m_settings.WriteProfileString(m_strHost, group, std::to_string(newMark));
}
