#pragma once
// The download worker: one object per download pass, run on its own thread.
// It takes a snapshot of the settings, connects and logs in to the news
// server, walks the active groups, and for each scans the overview into the
// pending list (GroupScanner), retrieves what was accepted (PostRetriever)
// and stores the group's mark. It reports only through IDisplay.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/Display.h"
#include "engine/PassContext.h"
#include "engine/PassReport.h"
#include "engine/PassSettings.h"
#include "engine/PendingList.h"
#include "platform/Sync.h"
#include "store/PartialPosts.h"

namespace ng {
class SettingsStore;
struct EntryOutcome;
struct GroupFolder;
}  // namespace ng

class CProcessGroups {
public:
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
    int ArticlesScanned() const { return m_report.Scanned(); }
    int ArticlesSaved() const { return m_report.Saved(); }
    int HistorySkipped() const { return m_report.HistorySkipped(); }
    int CrosspostsSkipped() const { return m_report.CrosspostsSkipped(); }
    int NotPictures() const { return m_report.NotPictures(); }
    int64_t BytesTransferred() const { return m_report.Bytes(); }
    std::string FinalStatus() const { return m_pass.FinalStatus(); }

private:
    struct Parts;  // what one pass is made of, from its settings snapshot
    struct GroupWork;

    void RunPass();
    void ExitInstance();
    void ProcessGroup(const std::string& group);
    ng::GroupFolder FolderOf(const std::string& group) const;
    void RetrieveAll(const std::string& group, GroupWork& work);
    void NoteDealtWith(const std::string& group, const ng::PendingEntry& entry,
                       const ng::EntryOutcome& outcome);
    void AskAgainForMissing(const std::string& group, GroupWork& work);
    void StoreMark(const std::string& group, GroupWork& work);
    void SaveHistory(bool unlessUnchanged = false);

    ng::IDisplay& Window() { return m_pass.Window(); }

    ng::SettingsStore& m_store;
    ng::IPasswordPrompt* m_pPrompt;
    ng::PendingList& m_pending;
    ng::PauseGate m_pause;
    std::atomic<bool> m_bStopRequested{false};
    std::atomic<bool> m_bCatchUp{false};
    ng::PassContext m_pass;
    ng::PassReport m_report;
    ng::PassSettings m_settings;
    ng::PartialPosts m_parts;  // parts of multi-part posts waiting for the rest
    std::unique_ptr<Parts> m_pParts;
    std::thread m_thread;
    std::atomic<int> m_nThreadId{0};
    std::atomic<int> m_nPriorityLevel{0};

    std::string m_strHost;
    std::string m_strDownloadDir;  // ends with "/"
    bool m_bSeenReadable = false;  // the crossposts list loaded (or is not there yet)
};
