#include "engine/ProcessGroups.h"

#include <cerrno>
#include <chrono>
#include <system_error>

#include "engine/GatedDisplay.h"
#include "engine/Login.h"
#include "engine/Overview.h"
#include "net/Socket.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "store/GroupFiles.h"

using namespace ng;

namespace {

std::vector<std::string> UpperAll(const std::vector<std::string>& list) {
    std::vector<std::string> upper;
    upper.reserve(list.size());
    for (const auto& entry : list) {
        upper.push_back(ToUpperAscii(entry));
    }
    return upper;
}

}  // namespace

CProcessGroups::CProcessGroups(SettingsStore& settings, IDisplay& display, IPasswordPrompt* prompt,
                               PendingList& pending)
    : m_pWindow(std::make_unique<GatedDisplay>(display, m_pause)),
      m_settings(settings),
      m_pPrompt(prompt),
      m_pending(pending) {}

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

bool CProcessGroups::PollStop() {
    WaitWhilePaused();
    return m_bStopRequested;
}

bool CProcessGroups::Connected() const {
    return m_pSocket && m_pSocket->m_nState == CNewsSocket::Connected;
}

void CProcessGroups::NoteConnectionLost() {
    m_bStopRequested = true;
    m_strFinalStatus = "Error--connection to " + m_strHost + " lost";
}

void CProcessGroups::DropConnection() {
    if (m_pSocket) {
        m_pSocket->m_nState = CNewsSocket::Failed;
    }
}

std::string CProcessGroups::ReadLine() {
    if (!m_pSocket) {
        return {};
    }
    std::string line = m_pSocket->ReadLine();
    // A reply that never came because the connection went is a lost
    // connection, also when no later poll point would notice it (the last
    // group's GROUP or XOVER, the next file's ARTICLE).
    if (line.empty() && !Connected()) {
        NoteConnectionLost();
    }
    return line;
}

int CProcessGroups::SplitList(const std::string& text, std::vector<std::string>& list) {
    int added = 0;
    size_t start = 0;
    for (size_t colon = text.find(':'); colon != std::string::npos; colon = text.find(':', start)) {
        list.push_back(text.substr(start, colon - start));
        ++added;
        start = colon + 1;
    }
    if (start < text.size()) {
        list.push_back(text.substr(start));
        ++added;
    }
    return added;
}

void CProcessGroups::ReadFilterSettings() {
    m_bLogHistoryHits =
        m_settings.GetProfileString(keys::kProductSection, keys::kLogHistAct, "") == "yes";
    m_bEnableLogging =
        m_settings.GetProfileInt(keys::kProductSection, keys::kEnableLogging, 0) != 0;
    m_strLogFile = m_settings.GetProfileString(keys::kProductSection, keys::kLogFile,
                                               defaults::kWorkerLogFile);

    std::vector<std::string> list;
    SplitList(m_settings.GetProfileString(keys::kProductSection, keys::kSubjectIncl,
                                          defaults::kWorkerSubjectIncl),
              list);
    m_subjectIncludes = UpperAll(list);
    list.clear();
    SplitList(m_settings.GetProfileString(keys::kProductSection, keys::kSubjectIncl2,
                                          defaults::kWorkerSubjectIncl2),
              list);
    m_subjectIncludes2 = UpperAll(list);
    list.clear();
    SplitList(m_settings.GetProfileString(keys::kProductSection, keys::kSubjectExcl, ""), list);
    m_subjectExcludes = UpperAll(list);

    list.clear();
    ReadTextLines("FromExcludes", list);  // a missing file means no sender excludes
    m_fromExcludes = UpperAll(list);

    m_minLines =
        m_settings.GetProfileInt(keys::kProductSection, keys::kMinLines, defaults::kWorkerMinLines);
    m_maxLines =
        m_settings.GetProfileInt(keys::kProductSection, keys::kMaxLines, defaults::kWorkerMaxLines);
}

void CProcessGroups::InitInstance() {
    // The stop and catch-up flags start clear with the object, not here: a
    // Stop pressed just after Go must not be forgotten when the thread starts.
    m_bLogHistoryHits = false;
    ReadFilterSettings();

    IDisplay& window = *m_pWindow;
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

    m_strFinalStatus = "Operation complete";
    RunPass();
    ExitInstance();
}

void CProcessGroups::RunPass() {
    IDisplay& window = *m_pWindow;
    m_histSaveFrequency = m_settings.GetProfileInt(keys::kProductSection, keys::kHistSaveFrequency,
                                                   defaults::kHistSaveFrequency);
    m_bSaveAscii = m_settings.GetProfileInt(keys::kProductSection, keys::kSaveAscii, 0) != 0;
    m_strHost = m_settings.GetProfileString(keys::kProductSection, keys::kNNTPHost, "");

    const std::string groupsFile = ActiveGroupsFileName(m_strHost);
    int groupCount = CountActiveGroups(
        m_strHost, groupsFile, [&](const std::string& text) { window.SetStatusText(text); });
    if (groupCount == 0) {
        return;
    }

    m_strDownloadDir = m_settings.GetProfileString(keys::kProductSection, keys::kDownloadDirectory,
                                                   defaults::kWorkerDownloadDirectory);
    if (!CanEnterDirectory(m_strDownloadDir)) {
        window.ShowMessage("Unable to open download directory:\n\n" + m_strDownloadDir);
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
    LoadHistory("HistList");

    int n = 0;
    for (const std::string& group : groups) {
        ++n;
        if (!Connected()) {
            NoteConnectionLost();
        }
        if (PollStop()) {
            break;
        }
        window.SetProgress(GroupProgress, n, groupCount, false);
        ProcessGroup(group);
        window.SetProgress(GroupProgress, 0, 0, true);
        window.SetProgress(ArticleProgress, 0, 0, true);
        window.SetSubjectText("");
    }

    window.SetStatusText(m_strFinalStatus);
    m_pSocket.reset();  // closes without a quit command
    SaveHistory();
    m_strHost.clear();
    m_strDownloadDir.clear();
}

bool CProcessGroups::OpenServer(std::vector<std::string>& groups) {
    IDisplay& window = *m_pWindow;
    m_pSocket = std::make_unique<CNewsSocket>(true);
    m_pSocket->SetInterrupt(&m_bStopRequested, &m_pause);
    int timeout = m_settings.GetProfileInt(keys::kProductSection, keys::kReadTimeout,
                                           defaults::kReadTimeoutSeconds);
    if (timeout > 0) {
        m_pSocket->SetReadTimeout(std::chrono::seconds(timeout));
    }
    window.SetStatusText("Connecting to " + m_strHost);

    // The port the user set up; one that cannot be a port fails to connect.
    int port = m_settings.GetProfileInt(keys::kProductSection, keys::kNNTPPort, defaults::kPort);
    if (port < 1 || port > 65535 || !m_pSocket->OpenConnection(m_strHost, port)) {
        // A stop while connecting ends the pass as a stop, not as a failure.
        window.SetStatusText(m_pSocket->InterruptedByStop() ? m_strFinalStatus
                                                            : "Can't connect to server");
        m_pSocket.reset();
        return false;
    }
    window.SetStatusText("Connected to " + m_strHost);

    if (!ReadActiveGroups(m_strHost, groups)) {
        m_pSocket.reset();
        window.SetStatusText("Unable to open GroupList");
        return false;
    }
    return true;
}

bool CProcessGroups::LogIn() {
    LoginSettings login = ReadLoginSettings(m_settings, m_strHost, m_pPrompt, m_bStopRequested);
    if (!login.required) {
        return true;
    }
    // No blank before CR LF: real servers take it as part of the name.
    m_pSocket->SendLine("AUTHINFO USER " + login.user + "\r\n");
    if (ReplyCode(ReadLine()) != 381) {
        return true;  // accepted without a password, or an answer we go on after
    }
    m_pSocket->SendLine("AUTHINFO PASS " + login.password + "\r\n");
    int code = ReplyCode(ReadLine());
    if (code == 482 || code == 502) {
        m_pWindow->SetStatusText("Authentication failed");
        m_pSocket.reset();
        return false;
    }
    return true;
}

void CProcessGroups::LoadHistory(const std::string& fileName) {
    errno = 0;
    if (!m_history.Load(fileName, m_settings.GetProfileInt(keys::kProductSection, keys::kMaxHist,
                                                           defaults::kMaxHist))) {
        // A list that is there but cannot be read must not be replaced by
        // the few names of this pass: that would lose the whole history.
        m_bHistoryUnreadable = errno != ENOENT;
    }
}

void CProcessGroups::SaveHistory() {
    if (m_bHistoryUnreadable || !m_history.Save("HistList")) {
        m_pWindow->SetStatusText("Unable to open HistList");
    }
}

void CProcessGroups::ExitInstance() {
    m_history.Clear();
    m_acceptedSubjects.clear();
    m_subjectIncludes.clear();
    m_subjectIncludes2.clear();
    m_subjectExcludes.clear();
    m_fromExcludes.clear();
    m_articleLines.Release();
    m_pSocket.reset();
    m_pWindow->PassEnded();
}
