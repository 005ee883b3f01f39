#pragma once
// The download worker: one object per download pass, run on its own thread.
// It takes a snapshot of the settings, connects and logs in to the news
// server, walks the active groups, filters each group's overview lines,
// retrieves and decodes the accepted articles, and keeps the history and the
// groups' high-water marks. It reports only through IDisplay.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/ArticleLines.h"
#include "engine/Display.h"
#include "engine/PendingList.h"
#include "platform/Sync.h"
#include "store/DownloadHistory.h"

class CNewsSocket;
namespace ng {
class SettingsStore;
}

class CProcessGroups {
public:
    // Caps that keep a hostile server from exhausting memory. Past either,
    // the connection is dropped and the pass ends as for a lost connection.
    // Each line held counts its bytes plus kHeldLineCost, the string that
    // holds it: a flood of blank lines must not cost many times the cap.
    static constexpr int64_t kMaxArticleBytes = 256LL * 1024 * 1024;
    static constexpr int64_t kMaxOverviewBytes = 512LL * 1024 * 1024;
    static constexpr int64_t kHeldLineCost = 64;

    CProcessGroups(ng::SettingsStore& settings, ng::IDisplay& display, ng::IPasswordPrompt* prompt,
                   ng::PendingList& pending);
    ~CProcessGroups();  // waits for the thread when it still runs
    CProcessGroups(const CProcessGroups&) = delete;
    CProcessGroups& operator=(const CProcessGroups&) = delete;

    // Runs the pass on a new thread at the given priority level (-2..2).
    // False when the thread cannot be started.
    bool Start(int priorityLevel = 0);
    // Waits for the pass's thread to end.
    void Join();

    // The window's requests; safe from any thread.
    void RequestStop() { m_bStopRequested = true; }
    void SetCatchUp(bool flag) { m_bCatchUp = flag; }
    // Nests like a suspend count: the worker parks until every Pause is resumed.
    void Pause() { m_pause.Pause(); }
    void Resume() { m_pause.Resume(); }
    bool SetPriority(int level);

    // The whole pass, on the calling thread; ends with ExitInstance.
    void InitInstance();

    // The header filter, usable on its own.
    static int SplitList(const std::string& text, std::vector<std::string>& list);
    static bool MatchesAny(const std::vector<std::string>& upperList, const std::string& upperText);
    bool AcceptHeader(const std::string& number, const std::string& subject,
                      const std::string& sender, int lines);

    // For tests: counters after the pass.
    int ArticlesScanned() const { return m_articlesScanned; }
    int ArticlesSaved() const { return m_articlesSaved; }
    int HistorySkipped() const { return m_historySkipped; }
    int CrosspostsSkipped() const { return m_crosspostsSkipped; }
    int64_t BytesTransferred() const { return m_bytesTransferred; }
    const std::string& FinalStatus() const { return m_strFinalStatus; }
    ng::DownloadHistory& History() { return m_history; }

    // Settings snapshot for the filter (InitInstance reads them; tests may set them).
    void ReadFilterSettings();

private:
    void RunPass();
    void ExitInstance();
    bool OpenServer(std::vector<std::string>& groups);
    bool LogIn();
    void ProcessGroup(const std::string& group);
    bool RetrieveArticle(const std::string& number);
    void LoadHistory(const std::string& fileName);
    void SaveHistory();

    // Waits while paused; true when a stop was requested.
    bool PollStop();
    // Waits while paused. Cheap when not paused: asked for every line.
    void WaitWhilePaused() { m_pause.WaitWhilePaused(); }
    bool Connected() const;
    void NoteConnectionLost();
    void DropConnection();
    std::string ReadLine();

    // The window as the pass sees it: every call waits while paused.
    std::unique_ptr<ng::IDisplay> m_pWindow;
    ng::SettingsStore& m_settings;
    ng::IPasswordPrompt* m_pPrompt;
    ng::PendingList& m_pending;
    ng::PauseGate m_pause;
    ng::ArticleLines m_articleLines;
    std::thread m_thread;
    std::atomic<int> m_nThreadId{0};
    std::atomic<int> m_nPriorityLevel{0};

public:
    // The pass's state, named as the window and the tests know it.
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bCatchUp{false};
    bool m_bLogHistoryHits = false;
    bool m_bSaveAscii = false;
    bool m_bEnableLogging = false;
    bool m_bHistoryUnreadable = false;  // "HistList" exists but could not be loaded
    std::string m_strSubject;
    std::string m_strFrom;
    std::string m_strHost;
    std::string m_strDownloadDir;
    std::string m_strSaveDir;
    std::string m_strFinalStatus;
    std::string m_strLogFile;
    ng::DownloadHistory m_history;
    std::unordered_set<std::string> m_acceptedSubjects;
    std::vector<std::string> m_subjectIncludes;   // upper-cased
    std::vector<std::string> m_subjectIncludes2;  // upper-cased
    std::vector<std::string> m_subjectExcludes;   // upper-cased
    std::vector<std::string> m_fromExcludes;      // upper-cased
    int64_t m_passStart = 0;
    std::unique_ptr<CNewsSocket> m_pSocket;
    int64_t m_bytesTransferred = 0;
    int64_t m_articleSeconds = 0;
    int m_expectedLines = 0;
    int m_articlesSaved = 0;
    int m_minLines = 0;
    int m_maxLines = 0;
    int m_articlesScanned = 0;
    int m_historySkipped = 0;
    int m_crosspostsSkipped = 0;
    int m_histSaveFrequency = 0;
};
