#pragma once
// The download worker: one object per download pass, run on its own thread.
// It takes a snapshot of the settings, connects and logs in to the news
// server, walks the active groups, filters each group's overview lines,
// retrieves and decodes the accepted articles, and keeps the history and the
// groups' high-water marks. It reports only through IDisplay.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/ArticleFetcher.h"
#include "engine/AttachmentSaver.h"
#include "engine/Display.h"
#include "engine/HeaderFilter.h"
#include "engine/PassContext.h"
#include "engine/PassSettings.h"
#include "engine/PendingList.h"
#include "engine/PostParts.h"
#include "nntp/Overview.h"
#include "platform/Sync.h"
#include "store/DownloadHistory.h"
#include "store/PartialPosts.h"
#include "store/PictureHashes.h"

namespace ng {
class SettingsStore;
}

class CProcessGroups {
public:
    // One group's overview is held whole before it is filtered; past this
    // many bytes (each line counting its bytes and the cost of holding it)
    // the connection is dropped, as for a lost connection.
    static constexpr int64_t kMaxOverviewBytes = 512LL * 1024 * 1024;
    // A group's overview is asked for in ranges of this many articles, this
    // many commands out at once.
    static constexpr int64_t kOverviewRange = 10000;
    static constexpr size_t kRangesInFlight = 3;

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

    // Counters and the final status, for after the pass.
    int ArticlesScanned() const { return m_articlesScanned; }
    int ArticlesSaved() const { return m_articlesSaved; }
    int HistorySkipped() const { return m_historySkipped; }
    int CrosspostsSkipped() const { return m_crosspostsSkipped; }
    int NotPictures() const { return m_notPictures; }
    int64_t BytesTransferred() const { return m_bytesTransferred; }
    const std::string& FinalStatus() const { return m_pass.FinalStatus(); }

private:
    void RunPass();
    void ExitInstance();
    bool OpenServer(std::vector<std::string>& groups);
    bool LogIn();
    void ProcessGroup(const std::string& group);
    bool FetchOverview(const std::string& group, int64_t from, int64_t groupFirst, int64_t last,
                       int64_t estimate, int64_t& overviewEnd);
    void FilterOverview(const std::string& group, const std::vector<std::string>& fetched);
    void Judge(const ng::OverviewFields& fields, const std::string& line);
    void SendAhead(const std::vector<std::string_view>& current);
    enum class Fetched { NoAnswer, NoArticle, Cut, Held };
    // Fetches an article into the saver; its body starts at articleStart.
    Fetched FetchIntoSaver(const std::string& number, int64_t& articleStart);
    bool RetrieveArticle(const std::string& number);
    bool ReportOutcome(const ng::SaveOutcome& saved);
    bool ReportOutcomes(const std::vector<ng::SaveOutcome>& outcomes);
    bool RetrievePost(const std::vector<std::string_view>& lines);
    bool KeepPart(ng::PartialPost& post, int64_t number, const ng::OverviewFields& fields);
    bool JoinPost(const ng::PartialPost& post);
    void Count(const ng::HeaderFilter::Decision& decision, const std::string& subject);
    void JudgePost(const ng::PostGrouper::Post& post, const std::vector<std::string>& fetched);
    void ReportDamage(const std::string& name, const std::string& why);
    void ReportNotPicture(const std::string& name);
    void ShowTransferFigures(int64_t articleStart);
    void RememberName(const std::string& name);
    void LoadHistory();
    // Writes the history (and the picture hashes). On the way through a
    // group (`unlessUnchanged`) a list that gained no name since it was last
    // written is left as it is: the file would come out the same.
    void SaveHistory(bool unlessUnchanged = false);
    // The saved pictures' hashes, when duplicates by content are skipped.
    ng::PictureHashes* HashesInUse() { return m_settings.skipDuplicates ? &m_hashes : nullptr; }

    ng::IDisplay& Window() { return m_pass.Window(); }

    ng::SettingsStore& m_store;
    ng::IPasswordPrompt* m_pPrompt;
    ng::PendingList& m_pending;
    ng::PauseGate m_pause;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bCatchUp{false};
    ng::PassContext m_pass;
    ng::PassSettings m_settings;
    ng::DownloadHistory m_history;
    bool m_bHistoryUnreadable = false;  // "HistList" exists but could not be loaded
    bool m_bHistoryChanged = false;     // names added since the history was last written
    ng::PictureHashes m_hashes;
    bool m_bHashesUnreadable = false;  // "PictureHashes" exists but could not be loaded
    bool m_bLogRefusalShown = false;   // the download log was refused once already
    ng::PartialPosts m_parts;          // parts of multi-part posts waiting for the rest
    bool m_bWorkFolderRefusalShown = false;
    ng::HeaderFilter m_filter;
    // Posts accepted in the group's earlier overview ranges: the rest of
    // their parts, in a later range, is the same post, not a crosspost.
    std::unordered_set<std::string> m_groupPostKeys;
    ng::ArticleFetcher m_fetcher;
    ng::AttachmentSaver m_saver;
    std::thread m_thread;
    std::atomic<int> m_nThreadId{0};
    std::atomic<int> m_nPriorityLevel{0};

    // The pass's state.
    std::string m_strHost;
    std::string m_strDownloadDir;  // ends with "/"
    std::string m_strSaveDir;      // the current group's folder, ending with "/"
    std::string m_strSubject;      // of the article being retrieved
    std::string m_strFrom;
    int m_expectedLines = 0;
    int64_t m_passStart = 0;
    int64_t m_bytesTransferred = 0;
    int64_t m_articleSeconds = 0;
    int m_articlesSaved = 0;
    int m_articlesScanned = 0;
    int m_historySkipped = 0;
    int m_crosspostsSkipped = 0;
    int m_notPictures = 0;  // attachments not saved for being no picture
};
