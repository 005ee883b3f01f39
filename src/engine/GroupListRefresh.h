#pragma once
// The group list refresh: fetches the news server's full group list ("LIST")
// on a thread of its own, keeps the names that pass the group filter and
// hands them to the group select dialog, with progress texts along the way.
// It writes no file; the dialog writes the list on OK.
//
// The refresh talks to its dialog only through IGroupListSink. Names are
// handed over in batches; after each batch the refresh waits until the
// dialog acknowledges it (AcknowledgeGroups), so the dialog's queue never
// holds more than one batch of names.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Sync.h"
#include "settings/ColonList.h"  // SplitGroupFilter, for the callers

class CNewsSocket;

namespace ng {

class IPasswordPrompt;
class SettingsStore;

// One thing the dialog is to do, in the order the refresh asks for them.
struct RefreshUpdate {
    enum Kind {
        Status,       // show `text` on the status line
        Clear,        // empty All Groups
        AddGroup,     // add `text` to All Groups (an empty name is ignored)
        SelectFirst,  // select the first All Groups entry
        Done,         // the refresh has ended; restore the buttons
    };
    Kind kind;
    std::string text;
};

class IGroupListSink {
public:
    virtual ~IGroupListSink() = default;
    // Called on the refresh thread; the updates are the receiver's to keep.
    // When they hold an AddGroup, the refresh waits for AcknowledgeGroups
    // before it goes on. Done is always the last update of a refresh, and
    // the refresh touches nothing of the receiver's after delivering it.
    virtual void Deliver(std::vector<RefreshUpdate> updates) = 0;
};

// True when some token is empty or occurs in the name (case-sensitive).
bool PassesGroupFilter(std::string_view name, const std::vector<std::string>& filters);
// The text of a LIST line before its first blank; "" when it has no blank.
std::string_view GroupNameOfLine(std::string_view line);

// What the list walk reads from: the server connection, in the program.
class IListLines {
public:
    virtual ~IListLines() = default;
    // The next line with its line end; "" when none is left or a Stop cut
    // the wait short.
    virtual std::string ReadLine() = 0;
    // Asked after every read: once the server has closed (or the connection
    // failed), the lines that came before are no longer handled.
    virtual bool IsConnected() const = 0;
};

class CGroupListRefresh {
public:
    // A batch is handed over when it holds this many names or bytes, or when
    // it has waited this long for more.
    static constexpr size_t kBatchNames = 2000;
    static constexpr size_t kBatchBytes = 1 << 20;
    static constexpr std::chrono::milliseconds kBatchAge{50};
    // A server cannot make the list grow without bound: past either cap the
    // walk ends as if the connection had closed.
    static constexpr int kMaxGroupsAdded = 1000000;
    static constexpr size_t kMaxBytesAdded = 64 << 20;

    // The prompt may be null: a login that asks for the password then sends
    // an empty one.
    CGroupListRefresh(const SettingsStore& settings, IGroupListSink& sink, IPasswordPrompt* prompt);
    ~CGroupListRefresh();  // stops a refresh that still runs and waits for it
    CGroupListRefresh(const CGroupListRefresh&) = delete;
    CGroupListRefresh& operator=(const CGroupListRefresh&) = delete;

    // Starts a refresh with these filter tokens on a new thread. A Stop left
    // over from an earlier refresh is cleared first. False when a refresh
    // still runs or the thread cannot be started.
    bool Start(std::vector<std::string> filters);
    // The whole refresh on the calling thread.
    void GroupListThreadProc(const std::vector<std::string>& filters);

    // The walk over the lines of a LIST reply after its first, on the
    // calling thread: the names, progress texts and counts of a refresh,
    // without its completion text. The thread runs it on the connection.
    void WalkList(IListLines& lines, const std::vector<std::string>& filters);

    // From any thread: ends the walk before the next list line, and cuts a
    // wait for the server or for the dialog short.
    void Stop();
    // From the receiver, once it has taken a batch of names.
    void AcknowledgeGroups() { m_groupsTaken.Set(); }
    // Waits for the thread of the last Start to end.
    void Join();
    bool Running() const { return m_bRunning.load(); }

    // Counts of the last refresh, once it has ended.
    int Scanned() const { return m_nScanned; }
    int Added() const { return m_nAdded; }

private:
    class Batch;
    void Walk(IListLines& lines, const std::vector<std::string>& filters, Batch& batch);
    // Gives the updates to the sink; waits for the acknowledgement when they
    // hold names. False when a Stop ended the wait.
    bool Hand(Batch& batch);
    bool StopPending() const { return m_bStop.load(); }
    void Finish(Batch& batch, const std::string& status);

    const SettingsStore& m_settings;
    IGroupListSink& m_sink;
    IPasswordPrompt* m_pPrompt;
    AutoResetEvent m_groupsTaken;
    AutoResetEvent m_refreshStopEvent;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRunning{false};
    std::mutex m_threadMutex;
    std::thread m_thread;
    int m_nScanned = 0;
    int m_nAdded = 0;
};

}  // namespace ng
