#include "engine/ProcessGroups.h"

#include <cerrno>
#include <system_error>

#include "net/Socket.h"
#include "nntp/NewsServer.h"
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
      m_filter(m_settings.filter, m_history),
      m_fetcher(m_pass) {}

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
    m_fetcher.SetWindow(m_settings.articlesInFlight);

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

    m_pass.SetFinalStatus("Operation complete");
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

    m_bytesTransferred = 0;
    m_articlesScanned = 0;
    m_articlesSaved = 0;
    m_articleSeconds = 0;

    std::vector<std::string> groups;
    if (!OpenServer(groups) || !LogIn()) {
        return;
    }

    m_passStart = NowSeconds();
    m_historySkipped = 0;
    m_crosspostsSkipped = 0;
    m_notPictures = 0;
    LoadHistory();
    // Parts of posts that never became whole are given up after a while.
    m_parts.Expire(m_passStart - int64_t{m_settings.partialKeepDays} * 24 * 60 * 60);

    int n = 0;
    for (const std::string& group : groups) {
        ++n;
        if (!m_pass.Connected()) {
            m_pass.NoteConnectionLost();
        }
        if (m_pass.PollStop()) {
            break;
        }
        Window().SetProgress(GroupProgress, n, groupCount, false);
        ProcessGroup(group);
        Window().SetProgress(GroupProgress, 0, 0, true);
        Window().SetProgress(ArticleProgress, 0, 0, true);
        Window().SetSubjectText("");
    }

    Window().SetStatusText(m_pass.FinalStatus());
    m_pass.Disconnect();  // closes without a quit command
    SaveHistory();
    m_strHost.clear();
    m_strDownloadDir.clear();
}

bool CProcessGroups::OpenServer(std::vector<std::string>& groups) {
    auto socket = std::make_unique<CNewsSocket>(true);
    socket->SetInterrupt(&m_bStopRequested, &m_pause);
    Window().SetStatusText("Connecting to " + m_strHost);
    const OpenOutcome opened = OpenNewsServer(*socket, m_settings.server);
    if (opened.result != OpenResult::Connected) {
        // A stop while connecting ends the pass as a stop, not as a failure.
        Window().SetStatusText(opened.result == OpenResult::Stopped ? m_pass.FinalStatus()
                                                                    : CantConnectText(opened));
        return false;
    }
    m_pass.Connect(std::move(socket), m_strHost);
    Window().SetStatusText(ConnectedText(m_settings.server));

    if (!ReadActiveGroups(m_strHost, groups)) {
        m_pass.Disconnect();
        Window().SetStatusText("Unable to open GroupList");
        return false;
    }
    return true;
}

bool CProcessGroups::LogIn() {
    if (m_settings.login.keyringUnanswered) {
        Window().SetStatusText(NoKeyringText());
    }
    // Only 482 and 502 to the password end a pass; any other answer goes on,
    // and a stop is noticed before the first group.
    LoginResult result = ng::LogIn(*m_pass.Socket(), m_settings.login, m_pPrompt, m_bStopRequested,
                                   PasswordRule::RefusedBy482Or502);
    if (result == LoginResult::Refused) {
        Window().SetStatusText("Authentication failed");
        m_pass.Disconnect();
        return false;
    }
    // After the login, which may change what the server offers.
    if (m_settings.server.compress && !m_pass.StopRequested()) {
        StartCompression(*m_pass.Socket());
    }
    return true;
}

void CProcessGroups::LoadHistory() {
    errno = 0;
    if (!m_history.Load(files::kHistList, m_settings.maxHist)) {
        // A list that is there but cannot be read must not be replaced by
        // the few names of this pass: that would lose the whole history.
        m_bHistoryUnreadable = errno != ENOENT;
    }
    if (m_settings.skipDuplicates) {
        errno = 0;
        if (!m_hashes.Load(files::kPictureHashes, m_settings.maxHist)) {
            m_bHashesUnreadable = errno != ENOENT;  // as for the history
        }
    }
}

void CProcessGroups::SaveHistory(bool unlessUnchanged) {
    if (!unlessUnchanged || m_bHistoryChanged || m_bHistoryUnreadable) {
        m_bHistoryChanged = false;
        if (m_bHistoryUnreadable || !m_history.Save(files::kHistList)) {
            Window().SetStatusText("Unable to open HistList");
        }
    }
    // Written only when a picture was added (a name already in the history
    // may bring a new hash): a pass that saved nothing leaves no new file.
    if (m_settings.skipDuplicates && m_hashes.Changed() &&
        (m_bHashesUnreadable || !m_hashes.Save(files::kPictureHashes, m_settings.maxHist))) {
        Window().SetStatusText(std::string("Unable to open ") + files::kPictureHashes);
    }
}

void CProcessGroups::ExitInstance() {
    m_history.Clear();
    m_hashes.Clear();
    m_filter.Clear();
    m_saver.Release();
    m_pass.Disconnect();
    Window().PassEnded();
}
