#include "engine/ServerLink.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "engine/PassContext.h"
#include "nntp/Reply.h"

namespace ng {

namespace {

constexpr std::chrono::milliseconds kWaitSlice{100};
constexpr int64_t kMaxBusyWaitSeconds = 600;

}  // namespace

ServerLink::ServerLink(PassContext& pass, ServerSettings server, LoginSettings login,
                       IPasswordPrompt* prompt, RetrySettings retry, StatusHandler status)
    : m_pass(pass),
      m_server(server),
      m_login(std::move(login)),
      m_pPrompt(prompt),
      m_retry(retry),
      m_status(std::move(status)),
      m_fail([&pass](const std::string& text) { pass.Fail(text); }),
      m_session(std::move(server), &pass.StopFlag(), &pass.Pause()) {}

void ServerLink::GiveUp(const std::string& status) {
    m_bGaveUp = true;
    if (!m_bExtra) {
        m_fail(status);
    }
    m_status(status);
    m_session.Close();
}

bool ServerLink::OpenExtra(const LoginSettings& login) {
    m_bExtra = true;
    m_login = login;
    m_login.promptForPassword = false;  // asked once, for the pass's own connection
    m_login.keyringUnanswered = false;
    return Connect(/*firstTime=*/true, /*quiet=*/true);
}

bool ServerLink::Open() {
    m_status("Connecting to " + m_server.host);
    if (Connect(/*firstTime=*/true)) {
        return true;
    }
    if (m_pass.StopRequested()) {
        m_status(m_pass.FinalStatus());  // a stop while connecting ends as a stop
        return false;
    }
    if (m_bGaveUp) {
        return false;
    }
    // A busy server, or a connection lost after the greeting, is worth
    // asking again; a wrong host or port will not get better by waiting.
    if (m_session.LastFailure() != NntpSession::Failure::Busy && !m_bGreeted) {
        GiveUp(CantConnectText({}));
        return false;
    }
    return Recover();
}

// Opens the session, logs in and turns compression on; after a
// reconnection also selects the group again. False when it did not work:
// the session's failure says why, or the pass was given up (a refused
// login, or a refusal of the protection on the first connection).
bool ServerLink::Connect(bool firstTime, bool quiet) {
    const OpenOutcome opened = m_session.Open();
    ++m_generation;
    m_sentAhead.clear();
    if (opened.result == OpenResult::Stopped) {
        return false;
    }
    if (opened.result != OpenResult::Connected) {
        if (m_session.LastFailure() == NntpSession::Failure::Busy) {
            m_lastRefusal = opened;
        } else if (firstTime && !opened.problem.empty() && !quiet) {
            GiveUp(CantConnectText(opened));  // a certificate, or a refusal for good
        }
        return false;
    }
    m_bGreeted = true;
    if (firstTime && !quiet) {
        m_status(ConnectedText(m_server));
        if (m_login.keyringUnanswered) {
            m_status(NoKeyringText());
        }
    }
    switch (m_session.LogIn(m_login, m_pPrompt, PasswordRule::RefusedBy482Or502)) {
        case LoginResult::LoggedIn:
            break;
        case LoginResult::Lost:
        case LoginResult::Stopped:
            return false;
        case LoginResult::Refused:
            if (quiet) {
                m_session.Close();
            } else {
                GiveUp("Authentication failed");
            }
            return false;
    }
    // After the login, which may change what the server offers.
    if (m_server.compress && !m_pass.StopRequested()) {
        m_session.StartCompression();
    }
    if (!firstTime) {
        if (!m_strGroup.empty() && !m_session.Group(m_strGroup).Is(nntp::kGroupSelected)) {
            return false;
        }
        m_status(ConnectedText(m_server));
    }
    return m_session.Usable();
}

std::string ServerLink::WhatWentWrong() const {
    switch (m_session.LastFailure()) {
        case NntpSession::Failure::Busy:
            return "Server busy (" + m_session.FailureText() + ")";
        case NntpSession::Failure::Protocol:
            return "Server reply out of step (" + m_session.FailureText() + ")";
        default:
            return "Connection lost";
    }
}

int ServerLink::WaitSeconds(int attempt, bool tooMany) const {
    const int64_t cap = std::max(m_retry.maxWaitSeconds, m_retry.waitSeconds);
    int64_t seconds = std::max(0, m_retry.waitSeconds);
    for (int i = 1; i < attempt && seconds < cap; ++i) {
        seconds *= 2;
    }
    seconds = std::min(seconds, cap);
    if (tooMany) {
        seconds = std::min<int64_t>(seconds * m_retry.busyFactor, kMaxBusyWaitSeconds);
    }
    return static_cast<int>(seconds);
}

bool ServerLink::Wait(int seconds) {
    using Clock = std::chrono::steady_clock;
    Clock::duration left = std::chrono::seconds(seconds);
    while (left > Clock::duration::zero()) {
        // A pause holds the count-down where it is.
        m_pass.Pause().WaitWhilePaused();
        if (m_pass.StopRequested()) {
            return false;
        }
        const Clock::duration slice = std::min<Clock::duration>(left, kWaitSlice);
        std::this_thread::sleep_for(slice);
        left -= slice;
    }
    return !m_pass.StopRequested();
}

// After a connection failure: waits and reconnects until it works or the
// retries are spent. False when the pass cannot go on.
bool ServerLink::Recover() {
    for (;;) {
        if (m_pass.StopRequested() || m_bGaveUp) {
            return false;
        }
        if (m_session.LastFailure() == NntpSession::Failure::LoginRefused) {
            GiveUp("Authentication failed");
            return false;
        }
        if (m_attempts >= m_retry.retries) {
            // Nothing more to try: the pass ends as it always has.
            GiveUp(!m_bGreeted && !m_lastRefusal.problem.empty()
                       ? CantConnectText(m_lastRefusal)
                       : "Error--connection to " + m_server.host + " lost");
            return false;
        }
        ++m_attempts;
        if (m_session.LastFailure() == NntpSession::Failure::Protocol) {
            m_window = 1;  // a server that mixes up replies sent ahead gets one at a time
        }
        const bool tooMany = m_session.LastFailure() == NntpSession::Failure::Busy &&
                             m_session.FailureText().starts_with("502");
        const int seconds = WaitSeconds(m_attempts, tooMany);
        m_status(WhatWentWrong() + ", retrying in " + std::to_string(seconds) + " s (" +
                 std::to_string(m_attempts) + " of " + std::to_string(m_retry.retries) + ")");
        if (!Wait(seconds)) {
            return false;
        }
        if (Connect(/*firstTime=*/false)) {
            return true;
        }
    }
}

bool ServerLink::Run(const std::function<bool(NntpSession&)>& step) {
    for (;;) {
        if (m_session.Usable() && step(m_session)) {
            return true;
        }
        if (!Recover()) {
            return false;
        }
    }
}

NntpSession::Reply ServerLink::SelectGroup(const std::string& group) {
    m_strGroup.clear();  // a reconnection before the reply must not select it yet
    NntpSession::Reply reply;
    if (!Run([&](NntpSession& session) {
            reply = session.Group(group);
            return session.Usable() || reply.code != 0;
        })) {
        return {};
    }
    if (reply.Is(nntp::kGroupSelected)) {
        m_strGroup = group;
    }
    NoteProgress();
    return reply;
}

void ServerLink::DropSentAhead() {
    if (m_session.Usable()) {
        m_session.Drain();
    }
    m_sentAhead.clear();
}

FetchResult ServerLink::Fetch(const ArticleRequest& wanted,
                              const std::vector<ArticleRequest>& upcoming, ArticleSink& sink) {
    FetchResult result = FetchResult::Failed;
    auto same = [](const ArticleRequest& a, const ArticleRequest& b) {
        return a.number == b.number;
    };
    const bool done = Run([&](NntpSession& session) {
        // Replies to articles no longer wanted (removed in the pending
        // dialog) are read and dropped, up to the one wanted.
        auto at = std::find_if(m_sentAhead.begin(), m_sentAhead.end(),
                               [&](const ArticleRequest& r) { return same(r, wanted); });
        if (at == m_sentAhead.end()) {
            session.Drain();
            m_sentAhead.clear();
        } else {
            for (auto drop = at - m_sentAhead.begin(); drop > 0; --drop) {
                m_sentAhead.erase(m_sentAhead.begin());
                if (session.NextReply().code == 0) {
                    return false;
                }
            }
        }
        // The wanted article, then the upcoming ones past what was sent
        // last. An upcoming list that no longer holds it (the pending
        // dialog changed it) waits until this one has been read.
        std::vector<const ArticleRequest*> order{&wanted};
        for (const ArticleRequest& next : upcoming) {
            order.push_back(&next);
        }
        size_t from = 0;
        if (!m_sentAhead.empty()) {
            auto last = std::find_if(order.begin(), order.end(), [&](const ArticleRequest* r) {
                return same(*r, m_sentAhead.back());
            });
            from =
                last == order.end() ? order.size() : static_cast<size_t>(last - order.begin()) + 1;
        }
        for (size_t i = from; i < order.size() && m_sentAhead.size() < m_window; ++i) {
            session.SendArticle(order[i]->number, order[i]->messageId);
            m_sentAhead.push_back(*order[i]);
        }
        NntpSession::Reply reply = session.NextReply();
        if (reply.code == 0) {
            return false;
        }
        m_sentAhead.erase(m_sentAhead.begin());
        if (!reply.Is(nntp::kArticleFollows)) {
            result = FetchResult::Missing;  // 423, 430, or another refusal of this article
            NoteProgress();
            return true;
        }
        sink.Begin();
        const bool whole = session.ReadBlock(
            kMaxArticleBytes,
            [&](std::string_view line, int64_t received) { sink.Line(line, received); },
            [&](std::string_view lines, std::span<const uint32_t> ends) {
                sink.Run(LineRun{lines, ends});
            });
        if (!whole) {
            return false;
        }
        NoteProgress();
        result = FetchResult::Body;
        return true;
    });
    if (!done) {
        return m_pass.StopRequested() ? FetchResult::Stopped : FetchResult::Failed;
    }
    return result;
}

}  // namespace ng
