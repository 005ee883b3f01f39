#include "engine/ProcessGroups.h"

#include <system_error>

#include "engine/PassParts.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "settings/SettingsStore.h"
#include "store/GroupFiles.h"
#include "store/WorkingFiles.h"

using namespace ng;

CProcessGroups::CProcessGroups(SettingsStore& settings, IDisplay& display, IPasswordPrompt* prompt,
                               PendingList& pending)
    : m_store(settings),
      m_pPrompt(prompt),
      m_pending(pending),
      m_pass(display, m_pause, m_bStopRequested),
      m_report(m_pass) {}

CProcessGroups::~CProcessGroups() {
    Join();
}

bool CProcessGroups::Start(int priorityLevel) {
    m_nPriorityLevel = priorityLevel;
    try {
        m_thread = std::thread([this] {
            m_nThreadId = CurrentThreadId();
            if (m_nPriorityLevel != 0) {
                SetThreadPriorityLevel(m_nThreadId, m_nPriorityLevel);
            }
            InitInstance();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CProcessGroups::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CProcessGroups::SetPriority(int level) {
    m_nPriorityLevel = level;
    int tid = m_nThreadId;
    return tid == 0 || SetThreadPriorityLevel(tid, level);
}

void CProcessGroups::InitInstance() {
    // The stop and catch-up flags start clear with the object, not here: a
    // Stop pressed just after Go must not be forgotten when the thread starts.
    m_settings = ReadPassSettings(m_store);
    m_pParts = std::make_unique<Parts>(*this, m_settings);
    m_report.ShowStart();
    m_pass.SetFinalStatus(PassContext::kComplete);
    RunPass();
    ExitInstance();
}

void CProcessGroups::RunPass() {
    m_strHost = m_settings.server.host;

    const std::string groupsFile = ActiveGroupsFileName(m_strHost);
    int groupCount = CountActiveGroups(
        m_strHost, groupsFile, [&](const std::string& text) { Window().SetStatusText(text); });
    if (groupCount == 0) {
        return;
    }

    m_strDownloadDir = m_settings.downloadDir;
    if (!CanEnterDirectory(m_strDownloadDir)) {
        Window().ShowMessage("Unable to open download directory:\n\n" + m_strDownloadDir);
        return;
    }
    if (m_settings.filter.fromExcludesUnreadable) {
        Window().SetStatusText(std::string("Unable to open ") + files::kFromExcludes);
        return;
    }
    // Paths are the directory followed directly by a name: a directory typed
    // without its separator would put every file beside it instead of in it.
    if (m_strDownloadDir.back() != '/') {
        m_strDownloadDir += '/';
    }

    // The list is read before connecting: a file that cannot be read costs
    // no connection.
    std::vector<std::string> groups;
    if (!ReadActiveGroups(m_strHost, groups)) {
        Window().SetStatusText("Unable to open GroupList");
        return;
    }
    if (!m_pParts->link.Open()) {
        return;
    }

    m_report.StartClock();
    m_pParts->history.Load();
    m_bSeenReadable = m_pParts->seen.Load(files::kCrosspostsPrefix + m_strHost);
    // Parts of posts that never became whole are given up after a while.
    m_report.CountIncomplete(
        m_parts.Expire(NowSeconds() - int64_t{m_settings.partialKeepDays} * 24 * 60 * 60));

    int n = 0;
    for (const std::string& group : groups) {
        ++n;
        if (m_pass.PollStop()) {
            break;
        }
        Window().SetProgress(GroupProgress, n, groupCount, false);
        ProcessGroup(group);
        Window().SetProgress(GroupProgress, 0, 0, true);
        Window().SetProgress(ArticleProgress, 0, 0, true);
        Window().SetSubjectText("");
    }

    const PartialPosts::Waiting waiting = m_parts.WaitingPosts();
    m_report.SetWaiting(waiting.posts, waiting.bytes);
    if (std::string left = m_report.LeftBehindText(); !left.empty()) {
        Window().SetStatusText(left);
    }
    Window().SetStatusText(m_pass.FinalStatus());
    m_pParts->link.Close();  // closes without a quit command
    SaveHistory();
    // A list that could not be read is not replaced by this pass's few.
    if (m_bSeenReadable && m_pParts->seen.Changed()) {
        // Unwritten, it costs a crosspost fetched again, never a picture.
        (void)m_pParts->seen.Save(files::kCrosspostsPrefix + m_strHost);
    }
    m_strHost.clear();
    m_strDownloadDir.clear();
}

void CProcessGroups::SaveHistory(bool unlessUnchanged) {
    m_pParts->history.Save([&](const std::string& text) { Window().SetStatusText(text); },
                           unlessUnchanged);
}

void CProcessGroups::ExitInstance() {
    if (m_pParts) {
        m_pParts->history.Clear();
        m_pParts->filter.Clear();
        m_pParts->retriever.Release();
        m_pParts->link.Close();
    }
    Window().PassEnded();
}
