#include "engine/GroupListRefresh.h"

#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#include "nntp/NewsServer.h"
#include "nntp/Reply.h"
#include "nntp/Session.h"
#include "settings/Settings.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

namespace ng {

namespace {

constexpr std::chrono::milliseconds kStopPoll{100};

std::string ProgressText(int scanned, int added) {
    char text[80];
    std::snprintf(text, sizeof text, "  %5d groups scanned -- %5d added", scanned, added);
    return text;
}

std::string CompletionText(int scanned, int added) {
    char text[96];
    std::snprintf(text, sizeof text, "  Operation complete -- %d groups scanned; %d groups added",
                  scanned, added);
    return text;
}

// The LIST block as the walk reads it.
class SessionLines : public IListLines {
public:
    explicit SessionLines(NntpSession& session) : m_session(session) {}
    std::string ReadLine() override {
        std::string_view line;
        int64_t received = 0;
        switch (m_session.NextBlockLine(line, received)) {
            case NntpSession::BlockLine::Line:
                return std::string(line);
            case NntpSession::BlockLine::End:
                return ".\r\n";
            case NntpSession::BlockLine::Broken:
                break;
        }
        return {};
    }
    bool IsConnected() const override { return m_session.Connected(); }

private:
    NntpSession& m_session;
};

}  // namespace

bool PassesGroupFilter(std::string_view name, const std::vector<std::string>& filters) {
    for (const auto& token : filters) {
        if (token.empty() || name.find(token) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::string_view GroupNameOfLine(std::string_view line) {
    size_t blank = line.find(' ');
    return blank == std::string_view::npos ? std::string_view() : line.substr(0, blank);
}

// The updates gathered since the last hand-over.
class CGroupListRefresh::Batch {
public:
    void Add(RefreshUpdate::Kind kind, std::string text = {}) {
        if (m_updates.empty()) {
            m_started = std::chrono::steady_clock::now();
        }
        if (kind == RefreshUpdate::AddGroup) {
            ++m_nNames;
            m_nBytes += text.size();
        }
        m_updates.push_back({kind, std::move(text)});
    }
    bool Due() const {
        if (m_updates.empty()) {
            return false;
        }
        return m_nNames >= kBatchNames || m_nBytes >= kBatchBytes ||
               m_updates.size() >= kBatchNames * 2 ||
               std::chrono::steady_clock::now() - m_started >= kBatchAge;
    }
    bool HasNames() const { return m_nNames > 0; }
    bool Empty() const { return m_updates.empty(); }
    std::vector<RefreshUpdate> Take() {
        m_nNames = 0;
        m_nBytes = 0;
        return std::exchange(m_updates, {});
    }

private:
    std::vector<RefreshUpdate> m_updates;
    size_t m_nNames = 0;
    size_t m_nBytes = 0;
    std::chrono::steady_clock::time_point m_started;
};

CGroupListRefresh::CGroupListRefresh(const SettingsStore& settings, IGroupListSink& sink,
                                     IPasswordPrompt* prompt)
    : m_settings(settings), m_sink(sink), m_pPrompt(prompt) {}

CGroupListRefresh::~CGroupListRefresh() {
    Stop();
    Join();
}

bool CGroupListRefresh::Start(std::vector<std::string> filters) {
    std::lock_guard lock(m_threadMutex);
    if (m_bRunning.load()) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // A Stop pressed after the last refresh read its last line must not end
    // this one, and a late acknowledgement must not release its first wait.
    m_bStop = false;
    m_refreshStopEvent.Reset();
    m_groupsTaken.Reset();
    m_bRunning = true;
    try {
        m_thread =
            std::thread([this, filters = std::move(filters)] { GroupListThreadProc(filters); });
    } catch (const std::system_error&) {
        m_bRunning = false;
        return false;
    }
    return true;
}

void CGroupListRefresh::Stop() {
    m_refreshStopEvent.Set();
    m_bStop = true;
}

void CGroupListRefresh::Join() {
    std::lock_guard lock(m_threadMutex);
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CGroupListRefresh::Hand(Batch& batch) {
    if (batch.Empty()) {
        return true;
    }
    bool waitForDialog = batch.HasNames();
    m_sink.Deliver(batch.Take());
    if (!waitForDialog) {
        return true;
    }
    // The names are the dialog's now; waiting keeps at most one batch queued.
    while (!m_groupsTaken.WaitFor(kStopPoll)) {
        if (StopPending()) {
            return false;
        }
    }
    return true;
}

void CGroupListRefresh::Finish(Batch& batch, const std::string& status) {
    if (!status.empty()) {
        batch.Add(RefreshUpdate::Status, status);
    }
    Hand(batch);
    m_bRunning = false;
    batch.Add(RefreshUpdate::Done);
    m_sink.Deliver(batch.Take());
}

void CGroupListRefresh::GroupListThreadProc(const std::vector<std::string>& filters) {
    m_bRunning = true;
    m_nScanned = 0;
    m_nAdded = 0;
    Batch batch;
    const std::string host = ng::Read(m_settings, ng::setting::kNNTPHost);
    if (host.empty()) {
        // Still say Done: the dialog keeps its buttons locked until it hears it.
        Finish(batch, {});
        return;
    }

    const ServerSettings server = ReadServerSettings(m_settings);
    auto session = std::make_unique<NntpSession>(server, &m_bStop, nullptr);
    batch.Add(RefreshUpdate::Status, "  Connecting to " + host);
    batch.Add(RefreshUpdate::Clear);
    Hand(batch);

    auto complete = [&] {
        batch.Add(RefreshUpdate::SelectFirst);
        batch.Add(RefreshUpdate::Status, CompletionText(m_nScanned, m_nAdded));
        Hand(batch);
        session.reset();
        Finish(batch, {});
    };
    auto fail = [&](const std::string& status) {
        session.reset();
        Finish(batch, status);
    };

    const OpenOutcome opened = session->Open();
    switch (opened.result) {
        case OpenResult::Connected:
            break;
        case OpenResult::Stopped:
            complete();  // a Stop while connecting ends the refresh as a Stop does later on
            return;
        case OpenResult::Failed:
        case OpenResult::Refused:
            fail("  " + CantConnectText(opened));
            return;
    }
    batch.Add(RefreshUpdate::Status, "  " + ConnectedText(server));
    Hand(batch);

    const LoginSettings login = ReadLoginSettings(m_settings, host);
    if (login.keyringUnanswered) {
        batch.Add(RefreshUpdate::Status, "  " + NoKeyringText());
        Hand(batch);
    }
    // Here anything but 281 to the password is a refusal; a user name
    // accepted without a password goes straight on to the list.
    switch (session->LogIn(login, m_pPrompt, PasswordRule::AcceptedOnlyBy281)) {
        case LoginResult::LoggedIn:
        case LoginResult::Lost:  // the list below finds the connection gone
            break;
        case LoginResult::Stopped:
            complete();
            return;
        case LoginResult::Refused:
            fail("  Authentication failed");
            return;
    }

    if (server.compress) {
        session->StartCompression();  // the list shrinks several times
    }
    // Without 215 no list follows (a refusal, or a lost connection): waiting
    // for list lines would wait for nothing.
    if (session->List().Is(nntp::kListFollows)) {
        SessionLines lines(*session);
        Walk(lines, filters, batch);
    }
    complete();
}

void CGroupListRefresh::WalkList(IListLines& lines, const std::vector<std::string>& filters) {
    m_nScanned = 0;
    m_nAdded = 0;
    Batch batch;
    Walk(lines, filters, batch);
    Hand(batch);
}

void CGroupListRefresh::Walk(IListLines& lines, const std::vector<std::string>& filters,
                             Batch& batch) {
    size_t bytesAdded = 0;
    for (;;) {
        // Empty: the server closed, the connection failed, or a Stop cut the
        // wait short. The state is asked after the read: once the server has
        // closed, lines that arrived before it did are dropped, not handled.
        std::string line = lines.ReadLine();
        if (line.empty() || nntp::IsEndOfBlock(line) || !lines.IsConnected()) {
            break;
        }
        if (m_refreshStopEvent.TryWait()) {
            break;
        }
        std::string_view name = GroupNameOfLine(line);
        if (PassesGroupFilter(name, filters)) {
            if (m_nAdded >= kMaxGroupsAdded || bytesAdded + name.size() > kMaxBytesAdded) {
                break;
            }
            bytesAdded += name.size();
            batch.Add(RefreshUpdate::AddGroup, std::string(name));
            ++m_nAdded;
        }
        ++m_nScanned;
        if (m_nScanned % 10 == 0) {
            batch.Add(RefreshUpdate::Status, ProgressText(m_nScanned, m_nAdded));
        }
        if (batch.Due() && !Hand(batch)) {
            break;
        }
    }
}

}  // namespace ng
