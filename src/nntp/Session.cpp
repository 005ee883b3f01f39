#include "nntp/Session.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "net/Socket.h"
#include "nntp/Overview.h"
#include "nntp/Reply.h"
#include "platform/AsciiCase.h"
#include "platform/Numbers.h"
#include "platform/ShowableText.h"
#include "platform/Sync.h"
#include "settings/SettingsKeys.h"

namespace ng {

namespace {

constexpr int64_t kMaxCapabilityBytes = 64 * 1024;
// A status line is shown and logged: as much of it as a status line holds.
constexpr size_t kMaxShownReply = 200;

std::string Shown(std::string_view line) {
    return ShowableText(nntp::WithoutLineEnd(line).substr(0, kMaxShownReply));
}

// Text that may stand as one argument of a command: no blank, no control
// character, nothing that could end the line or start another.
bool IsPlainArgument(std::string_view text) {
    return !text.empty() && text.size() <= 512 &&
           std::none_of(text.begin(), text.end(), [](char c) {
               auto u = static_cast<unsigned char>(c);
               return u <= ' ' || u == 0x7F;
           });
}

// What a login may send: anything on one line.
bool IsOneLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

NntpSession::NntpSession(ServerSettings server, const std::atomic<bool>* stop, PauseGate* pause)
    : m_server(std::move(server)), m_pStop(stop), m_pPause(pause) {}

NntpSession::~NntpSession() = default;

bool NntpSession::Connected() const {
    return m_socket && m_socket->IsConnected();
}

void NntpSession::Close() {
    m_outgoing.clear();
    m_socket.reset();
    m_sent.clear();
    m_bBlockPending = false;
    m_bCompressed = false;
}

void NntpSession::Break(Failure failure, std::string text) {
    if (m_failure == Failure::None) {
        m_failure = failure;
        m_strFailureText = std::move(text);
        m_nSocketError = m_socket ? m_socket->LastError() : 0;
    }
    m_sent.clear();
    m_outgoing.clear();
    m_bBlockPending = false;
    m_socket.reset();
}

OpenOutcome NntpSession::Open() {
    Close();
    m_failure = Failure::None;
    m_strFailureText.clear();
    m_nSocketError = 0;
    m_socket = std::make_unique<CNewsSocket>(true);
    m_socket->SetInterrupt(m_pStop, m_pPause);
    if (m_server.readTimeoutSeconds > 0) {
        m_socket->SetReadTimeout(std::chrono::seconds(m_server.readTimeoutSeconds));
    }
    OpenOutcome outcome;
    auto failed = [&](std::string problem, OpenResult result = OpenResult::Failed) {
        const bool stopped =
            m_failure == Failure::Stopped || (m_socket && m_socket->InterruptedByStop());
        outcome.result = stopped ? OpenResult::Stopped : result;
        outcome.problem = stopped ? std::string() : std::move(problem);
        Failure failure = Failure::Lost;
        if (stopped) {
            failure = Failure::Stopped;
        } else if (result == OpenResult::Refused) {
            // A busy server, or one with too many connections, may take us later.
            failure =
                outcome.code == nntp::kServiceUnavailable || outcome.code == nntp::kNotPermitted
                    ? Failure::Busy
                    : Failure::Refused;
        }
        Break(failure, outcome.problem);
        return outcome;
    };
    if (m_server.security == Security::Unknown) {
        return failed(std::string("unknown ") + keys::kNNTPSecurity + " setting");
    }
    if (m_server.port < 1 || m_server.port > 65535 ||
        !m_socket->Connect(m_server.host, m_server.port)) {
        return failed({});
    }
    const TlsOptions tls{HostWithoutBrackets(m_server.host), m_server.verifyCertificate,
                         m_server.caFile};
    if (m_server.security == Security::Tls && !m_socket->StartTls(tls)) {
        return failed(m_socket->TlsProblem());
    }
    const std::string greeting = m_socket->ReadLine();
    // Without a greeting nothing has been said to us: the connection is not usable.
    if (greeting.empty()) {
        return failed({});
    }
    const int code = nntp::ReplyCode(greeting);
    if (code != nntp::kReadyPostingAllowed && code != nntp::kReadyNoPosting) {
        // "400 too busy", "502 too many connections", ...: the server's words.
        outcome.code = code;
        return failed(Shown(greeting), OpenResult::Refused);
    }
    if (m_server.security == Security::StartTls) {
        auto capabilities = Capabilities();
        bool offered = capabilities && std::find(capabilities->begin(), capabilities->end(),
                                                 "STARTTLS") != capabilities->end();
        if (!offered) {
            return failed("the server does not offer STARTTLS");
        }
        Reply reply = Exchange({Kind::StartTls, "STARTTLS\r\n"});
        if (!reply.Is(nntp::kContinueWithTls)) {
            return failed(reply.code == 0 ? std::string()
                                          : "the server refused STARTTLS (" + reply.text + ")");
        }
        if (!m_socket->StartTls(tls)) {
            return failed(m_socket->TlsProblem());
        }
    }
    outcome.result = OpenResult::Connected;
    return outcome;
}

void NntpSession::Send(Sent command) {
    if (!Usable()) {
        return;
    }
    // Commands sent ahead go out together, in one write before the next
    // read: a window of them reaches the server at once.
    m_outgoing += command.line;
    m_sent.push_back(std::move(command));
}

void NntpSession::FlushOutgoing() {
    if (!m_outgoing.empty() && m_socket) {
        m_socket->SendLine(m_outgoing);
        m_outgoing.clear();
    }
}

NntpSession::Reply NntpSession::ReadStatus() {
    FlushOutgoing();
    std::string_view line = m_socket->ReadLineView();
    if (line.empty()) {
        Break(m_socket->InterruptedByStop() ? Failure::Stopped : Failure::Lost);
        return {};
    }
    return {nntp::ReplyCode(line), Shown(line)};
}

bool NntpSession::Fits(const Sent& command, const Reply& reply) {
    const int code = reply.code;
    if (code < 100 || code > 599) {
        Break(Failure::Protocol, reply.text);
        return false;
    }
    const bool login = command.kind == Kind::User || command.kind == Kind::Pass;
    if (code == nntp::kServiceUnavailable || (code == nntp::kNotPermitted && !login)) {
        Break(Failure::Busy, reply.text);
        return false;
    }
    if (code >= 400) {
        return true;  // an answer: the caller knows what it means for its command
    }
    bool expected = false;
    switch (command.kind) {
        case Kind::Group:
            expected = code == nntp::kGroupSelected;
            break;
        case Kind::Overview:
            expected = code == nntp::kOverviewFollows;
            break;
        case Kind::Article: {
            // "220 n <message-id>": the article asked for, by number, or by
            // its message-id where a server numbers it 0.
            std::string_view rest = std::string_view(reply.text).substr(3);
            rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
            const size_t blank = rest.find(' ');
            std::string_view number = rest.substr(0, blank);
            std::string_view id =
                blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
            id = id.substr(0, id.find(' '));
            expected = code == nntp::kArticleFollows && IsArticleNumber(number) &&
                       (LeadingNumber(number) == command.number ||
                        (LeadingNumber(number) == 0 && !command.messageId.empty() &&
                         id == command.messageId));
            break;
        }
        case Kind::List:
            expected = code == nntp::kListFollows;
            break;
        case Kind::Capabilities:
            expected = code == nntp::kCapabilitiesFollow;
            break;
        case Kind::Compress:
            expected = code == nntp::kCompressionActive;
            break;
        case Kind::StartTls:
            expected = code == nntp::kContinueWithTls;
            break;
        case Kind::User:
            expected = code == nntp::kAuthAccepted || code == nntp::kPasswordRequired;
            break;
        case Kind::Pass:
            expected = code == nntp::kAuthAccepted;
            break;
    }
    if (!expected) {
        Break(Failure::Protocol, reply.text);
        return false;
    }
    return true;
}

bool NntpSession::SkipBlock() {
    return ReadBlock(INT64_MAX, [](std::string_view, int64_t) {});
}

NntpSession::Reply NntpSession::NextReply() {
    for (;;) {
        if (m_bBlockPending && !SkipBlock()) {
            return {};
        }
        if (!Usable() || m_sent.empty()) {
            return {};
        }
        Reply reply = ReadStatus();
        if (reply.code == 0) {
            return {};
        }
        const Sent command = m_sent.front();
        const bool login = command.kind == Kind::User || command.kind == Kind::Pass;
        if (reply.code == nntp::kAuthRequired && !login && !m_bLoginRepeated && m_login) {
            if (!RepeatAfterLogin()) {
                return {};
            }
            continue;  // the repeated command's reply
        }
        m_sent.pop_front();
        if (!Fits(command, reply)) {
            return {};
        }
        // After a login repeated in vain, 480 is the command's answer (and
        // each command after it gets its 480 too, without another login).
        if (!login) {
            m_bLoginRepeated = m_bLoginRepeated && reply.code == nntp::kAuthRequired;
        }
        m_bBlockPending =
            reply.code == nntp::kArticleFollows || reply.code == nntp::kOverviewFollows ||
            reply.code == nntp::kListFollows || reply.code == nntp::kCapabilitiesFollow;
        return reply;
    }
}

// A 480: the replies to the commands after this one are read and dropped
// (they cannot be trusted to be more than 480s), the login is repeated, and
// the command and all after it are sent again.
bool NntpSession::RepeatAfterLogin() {
    m_bLoginRepeated = true;
    std::deque<Sent> again;
    again.push_back(m_sent.front());
    m_sent.pop_front();
    while (!m_sent.empty() && Usable()) {
        again.push_back(m_sent.front());
        Reply dropped = ReadStatus();
        if (dropped.code == 0) {
            return false;
        }
        m_sent.pop_front();
        if (dropped.code == nntp::kArticleFollows || dropped.code == nntp::kOverviewFollows ||
            dropped.code == nntp::kListFollows || dropped.code == nntp::kCapabilitiesFollow) {
            m_bBlockPending = true;
            if (!SkipBlock()) {
                return false;
            }
        }
    }
    if (SendLogin() == LoginResult::Refused) {
        Break(Failure::LoginRefused);
    }
    if (!Usable()) {
        return false;
    }
    for (Sent& command : again) {
        Send(std::move(command));
    }
    return Usable();
}

// What comes before every line or run of a block: a pause waited out, a
// stop heeded, commands sent ahead passed on. False when the block is over.
bool NntpSession::BlockGoesOn() {
    if (!m_bBlockPending || !Usable()) {
        return false;
    }
    if (m_pPause) {
        m_pPause->WaitWhilePaused();
    }
    if (m_pStop && *m_pStop) {
        Break(Failure::Stopped);
        return false;
    }
    FlushOutgoing();
    return true;
}

NntpSession::BlockLine NntpSession::NextBlockLine(std::string_view& line, int64_t& received) {
    return BlockGoesOn() ? TakeBlockLine(line, received) : BlockLine::Broken;
}

// The next line of a block, once BlockGoesOn has let it come.
NntpSession::BlockLine NntpSession::TakeBlockLine(std::string_view& line, int64_t& received) {
    std::string_view raw = m_socket->ReadLineView();
    if (raw.empty()) {
        Break(m_socket->InterruptedByStop() ? Failure::Stopped : Failure::Lost);
        return BlockLine::Broken;
    }
    if (nntp::IsEndOfBlock(raw)) {
        m_bBlockPending = false;
        return BlockLine::End;
    }
    line = nntp::WithoutDotStuffing(raw);
    received = static_cast<int64_t>(raw.size());
    return BlockLine::Line;
}

bool NntpSession::ReadBlock(int64_t cap, const LineHandler& onLine) {
    return ReadBlock(cap, onLine, nullptr);
}

bool NntpSession::ReadBlock(int64_t cap, const LineHandler& onLine, const RunHandler& onRun) {
    int64_t held = 0;
    // A hostile server must not exhaust memory: past the cap the connection
    // is given up.
    auto hold = [&](int64_t bytes) {
        held += bytes;
        if (held <= cap) {
            return true;
        }
        Break(Failure::Lost, "reply too long");
        return false;
    };
    for (;;) {
        if (!BlockGoesOn()) {
            return false;
        }
        if (onRun) {
            const std::string_view lines = m_socket->TakeReceivedLines(m_runEnds);
            if (!lines.empty()) {
                if (!hold(static_cast<int64_t>(lines.size() + kHeldLineCost * m_runEnds.size()))) {
                    return false;
                }
                onRun(lines, m_runEnds);
                continue;
            }
        }
        std::string_view line;
        int64_t received = 0;
        switch (TakeBlockLine(line, received)) {
            case BlockLine::End:
                return true;
            case BlockLine::Broken:
                return false;
            case BlockLine::Line:
                break;
        }
        if (!hold(received + kHeldLineCost)) {
            return false;
        }
        onLine(line, received);
    }
}

void NntpSession::Drain() {
    while (Usable() && (!m_sent.empty() || m_bBlockPending)) {
        if (m_bBlockPending) {
            if (!SkipBlock()) {
                return;
            }
            continue;
        }
        if (NextReply().code == 0) {
            return;
        }
    }
}

NntpSession::Reply NntpSession::Exchange(Sent command) {
    Drain();
    if (!Usable()) {
        return {};
    }
    Send(std::move(command));
    return NextReply();
}

std::optional<std::vector<std::string>> NntpSession::Capabilities() {
    Reply reply = Exchange({Kind::Capabilities, "CAPABILITIES\r\n"});
    if (!reply.Is(nntp::kCapabilitiesFollow)) {
        return std::nullopt;
    }
    std::vector<std::string> capabilities;
    int64_t held = 0;
    bool whole = ReadBlock(INT64_MAX, [&](std::string_view line, int64_t received) {
        // A sensible list is short: a server must not fill memory through it.
        held += received;
        if (held <= kMaxCapabilityBytes) {
            capabilities.push_back(ToUpperAscii(nntp::WithoutLineEnd(line)));
        }
    });
    if (!whole) {
        return std::nullopt;
    }
    return capabilities;
}

bool NntpSession::StartCompression() {
    auto capabilities = Capabilities();
    if (!capabilities || !Usable()) {
        return false;
    }
    bool offered = false;
    for (const std::string& line : *capabilities) {
        if (line.starts_with("COMPRESS ") &&
            (" " + line + " ").find(" DEFLATE ") != std::string::npos) {
            offered = true;
        }
    }
    if (!offered) {
        return false;
    }
    if (!Exchange({Kind::Compress, "COMPRESS DEFLATE\r\n"}).Is(nntp::kCompressionActive)) {
        return false;
    }
    m_socket->StartCompression();
    m_bCompressed = true;
    return true;
}

LoginResult NntpSession::LogIn(const LoginSettings& login, IPasswordPrompt* prompt,
                               PasswordRule rule) {
    static const std::atomic<bool> kNeverStopped{false};
    const std::atomic<bool>& stop = m_pStop ? *m_pStop : kNeverStopped;
    m_login = login;
    m_rule = rule;
    if (!login.required) {
        return LoginResult::LoggedIn;
    }
    if (login.promptForPassword) {
        // Asked once a session; a login repeated after a 480 uses the same.
        m_login->password = prompt ? prompt->AskPassword(stop).value_or("") : std::string();
        m_login->promptForPassword = false;
    }
    if (stop) {
        return LoginResult::Stopped;
    }
    return SendLogin();
}

LoginResult NntpSession::SendLogin() {
    const LoginSettings& login = *m_login;
    if (!login.required) {
        return LoginResult::LoggedIn;
    }
    if (!IsOneLine(login.user) || !IsOneLine(login.password)) {
        return LoginResult::Refused;  // it would end the command early and start another
    }
    auto broken = [&] {
        return m_failure == Failure::Stopped ? LoginResult::Stopped : LoginResult::Lost;
    };
    // No blank before CR LF: real servers take it as part of the name.
    Reply reply = Exchange({Kind::User, "AUTHINFO USER " + login.user + "\r\n"});
    if (!Usable()) {
        return broken();
    }
    if (!reply.Is(nntp::kPasswordRequired)) {
        return LoginResult::LoggedIn;  // accepted without a password, or an answer we go on after
    }
    reply = Exchange({Kind::Pass, "AUTHINFO PASS " + login.password + "\r\n"});
    if (!Usable() && m_failure != Failure::Protocol) {
        return broken();
    }
    const bool refused =
        m_rule == PasswordRule::RefusedBy482Or502
            ? reply.code == nntp::kAuthOutOfSequence || reply.code == nntp::kNotPermitted
            : reply.code != nntp::kAuthAccepted;
    return refused ? LoginResult::Refused : LoginResult::LoggedIn;
}

NntpSession::Reply NntpSession::Group(std::string_view name) {
    if (!IsPlainArgument(name)) {
        return {};
    }
    return Exchange({Kind::Group, "GROUP " + std::string(name) + "\r\n"});
}

NntpSession::Reply NntpSession::List() {
    return Exchange({Kind::List, "LIST\r\n"});
}

void NntpSession::SendOverview(int64_t first, int64_t last) {
    first = std::max<int64_t>(first, 0);
    std::string line = "XOVER " + std::to_string(first) + "-";
    if (last >= 0) {
        line += std::to_string(std::max(last, first));
    }
    Send({Kind::Overview, line + "\r\n"});
}

void NntpSession::SendArticle(int64_t number, std::string_view messageId) {
    if (number <= 0) {
        return;
    }
    // A message-id only ever helps to match the reply; it is never sent.
    Send({Kind::Article, "ARTICLE " + std::to_string(number) + "\r\n", number,
          IsPlainArgument(messageId) ? std::string(messageId) : std::string()});
}

void NntpSession::Quit() {
    if (Usable()) {
        Drain();
        if (Usable()) {
            FlushOutgoing();
            m_socket->SendLine("QUIT\r\n");
            (void)m_socket->ReadLineView();
        }
    }
    Close();
}

}  // namespace ng
