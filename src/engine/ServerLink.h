#pragma once
// The pass's connection to the news server, kept up for the whole pass: an
// NNTP session that is opened again after a connection failure (a lost
// connection, a read timeout, a reply out of step, a 400 or 502). It waits
// (RetryWait seconds, doubling each time up to a cap; longer for "502 too
// many connections"), reconnects, logs in, turns compression back on,
// selects the group again, and the step that failed runs again. The retries
// (ConnectRetries) start afresh once a step has done some work again; when
// they are spent, or with none, the pass ends as for a lost connection.
//
// Stop and Pause work during the waits; the status line says what happens.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/ArticleSource.h"
#include "nntp/NewsServer.h"
#include "nntp/Session.h"

namespace ng {

class PassContext;

struct RetrySettings {
    int retries = 3;           // reconnections after a failure; 0: the pass ends at the first
    int waitSeconds = 10;      // before the first; doubling after each
    int maxWaitSeconds = 300;  // the doubling stops here
    int busyFactor = 6;        // "502 too many connections" waits this much longer
};

class ServerLink : public ArticleSource {
public:
    // Past this many bytes held for one article the connection is given up.
    static constexpr int64_t kMaxArticleBytes = 256LL * 1024 * 1024;

    using StatusHandler = std::function<void(const std::string&)>;

    ServerLink(PassContext& pass, ServerSettings server, LoginSettings login,
               IPasswordPrompt* prompt, RetrySettings retry, StatusHandler status);

    // Connects and logs in, retrying a busy server. False when the pass
    // cannot go on; the status line then says why.
    [[nodiscard]] bool Open();
    // An extra connection beside the pass's own: one try to open it, without
    // a word on the status line; later, retries spent end this link, never
    // the pass. False when the server did not take it.
    [[nodiscard]] bool OpenExtra(const LoginSettings& login);
    bool GaveUp() const { return m_bGaveUp; }
    // The login as used, a typed password included.
    LoginSettings UsedLogin() const { return m_session.UsedLogin().value_or(m_login); }
    // Where the link's status texts go from now on; the handler before.
    StatusHandler SetStatusHandler(StatusHandler status) {
        return std::exchange(m_status, std::move(status));
    }
    // What giving up does with the final status (by default: the pass
    // fails with it); the handler before. A link fetching ahead of the pass
    // leaves it to the pass, which first finishes what came before.
    StatusHandler SetFailHandler(StatusHandler fail) {
        return std::exchange(m_fail, std::move(fail));
    }
    void Close() { m_session.Close(); }

    // Selects the group; kept for reconnections. The reply, or code 0 when
    // the pass cannot go on.
    NntpSession::Reply SelectGroup(const std::string& group);

    // Runs `step` on the session until it succeeds: after a connection
    // failure the session is opened again and the step runs again (it sees
    // a new Generation()). False when the retries are spent or on a stop.
    [[nodiscard]] bool Run(const std::function<bool(NntpSession&)>& step);
    // A number that changes with every (re)connection.
    int Generation() const { return m_generation; }
    // A step did work: the retries start afresh.
    void NoteProgress() { m_attempts = 0; }

    // ARTICLE commands out at once (1 to 16).
    void SetWindow(size_t window) { m_window = std::clamp<size_t>(window, 1, 16); }
    // Fetches one article into the sink, with the articles to come after it
    // (in the order they will be asked for) sent ahead as far as the window
    // allows. Replies to articles sent ahead and no longer wanted are read
    // and dropped.
    FetchResult Fetch(const ArticleRequest& wanted, const std::vector<ArticleRequest>& upcoming,
                      ArticleSink& sink) override;
    // Reads and drops the replies to every article sent ahead: before any
    // other command, the server must have answered them all.
    void DropSentAhead();

    const std::string& Host() const { return m_server.host; }

private:
    bool Connect(bool firstTime, bool quiet = false);
    bool Recover();
    void GiveUp(const std::string& status);
    std::string WhatWentWrong() const;
    int WaitSeconds(int attempt, bool busy) const;
    // Waits, parked while paused; false on a stop.
    bool Wait(int seconds);

    PassContext& m_pass;
    ServerSettings m_server;
    LoginSettings m_login;
    IPasswordPrompt* m_pPrompt;
    RetrySettings m_retry;
    StatusHandler m_status;
    StatusHandler m_fail;
    NntpSession m_session;
    std::string m_strGroup;  // selected again after a reconnection
    int m_attempts = 0;      // reconnections since the last step that did work
    int m_generation = 0;
    bool m_bGreeted = false;    // some connection of this pass got past the greeting
    bool m_bGaveUp = false;     // the link cannot go on (said already)
    bool m_bExtra = false;      // an extra connection: its end is not the pass's
    OpenOutcome m_lastRefusal;  // a greeting that said the server is busy
    size_t m_window = 1;
    std::vector<ArticleRequest> m_sentAhead;  // on this session, reply not yet read
};

}  // namespace ng
