#pragma once
// One NNTP session: the only place that writes a command or reads a status
// line. It owns one connection to the news server and offers the protocol's
// verbs: connect (TLS or STARTTLS) and greeting, login, capabilities and
// compression, GROUP, overview ranges, a window of ARTICLE commands, LIST
// and QUIT.
//
// Commands may be sent ahead of their replies (the server answers in
// order). Every reply is checked against the command it answers: its code
// must be one the command can get, and a 220 must name the article asked
// for. A reply that does not fit is a protocol error, never data: the
// session is then broken, as after a lost connection, and its owner may
// open it again. So are a 400 or 502 in mid-session (a server closing an
// idle or busy session, or one with too many), and a stop.
//
// A 480 ("authentication required") logs in again once and repeats the
// command, and every command sent after it.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nntp/NewsServer.h"

class CNewsSocket;

namespace ng {

class PauseGate;

class NntpSession {
public:
    // Why a session is broken. Lost, Protocol and Busy are connection
    // failures that a new session may get past; Refused is an answer.
    enum class Failure {
        None,
        Lost,          // closed, failed, silent past the read timeout, or a reply past a cap
        Protocol,      // a reply that does not answer the command sent
        Busy,          // 400 or 502: the server will not serve this session now
        Refused,       // the greeting said no, for good
        LoginRefused,  // a login repeated after a 480 was refused
        Stopped,       // the stop flag cut a wait short
    };

    // A status line: its code (0 for none) and its text without the line end.
    struct Reply {
        int code = 0;
        std::string text;
        bool Is(int c) const { return code == c; }
    };

    // The stop flag and the pause gate may be null; both must outlive the session.
    NntpSession(ServerSettings server, const std::atomic<bool>* stop, PauseGate* pause);
    ~NntpSession();
    NntpSession(const NntpSession&) = delete;
    NntpSession& operator=(const NntpSession&) = delete;

    const ServerSettings& Server() const { return m_server; }

    // Connects (dropping any connection there was), turns TLS on as the
    // settings ask, and reads the greeting: 200 and 201 go on, any other
    // code is a refusal with the server's own words. No byte of a session
    // whose protection failed is sent.
    [[nodiscard]] OpenOutcome Open();
    // AUTHINFO USER and PASS as the login says; the same login is repeated
    // after a 480. `rule` says which answers to the password refuse it.
    [[nodiscard]] LoginResult LogIn(const LoginSettings& login, IPasswordPrompt* prompt,
                                    PasswordRule rule);
    // CAPABILITIES, upper-cased lines; nullopt when not answered with 101.
    std::optional<std::vector<std::string>> Capabilities();
    // COMPRESS DEFLATE when the capabilities offer it; true when it is on.
    bool StartCompression();
    bool Compressed() const { return m_bCompressed; }
    // The login as last used (a password typed at the prompt included), for
    // more sessions to the same server without asking again.
    std::optional<LoginSettings> UsedLogin() const { return m_login; }

    // Sends QUIT and closes; Close closes without a word.
    void Quit();
    void Close();

    bool Usable() const { return m_failure == Failure::None && m_socket != nullptr; }
    Failure LastFailure() const { return m_failure; }
    // The status line (cleaned) that broke the session, for Busy, Refused and Protocol.
    const std::string& FailureText() const { return m_strFailureText; }

    // GROUP: the reply, checked. Code 0 when the name cannot go into a
    // command (blank, control character) or the session is broken.
    Reply Group(std::string_view name);
    // LIST: the reply; its block follows when the code is 215.
    Reply List();

    // Commands sent ahead: each gets its reply through NextReply, oldest
    // first. `last` < 0 asks for an open range.
    void SendOverview(int64_t first, int64_t last);
    // `messageId` (may be empty) also accepts "220 0 <id>" for the article.
    void SendArticle(int64_t number, std::string_view messageId = {});
    size_t InFlight() const { return m_sent.size(); }

    // The reply to the oldest command sent ahead, checked. Code 0 when the
    // session broke (LastFailure says why). A block it announces must be
    // read with ReadBlock before anything else; if it is not, the next
    // command reads and drops it.
    Reply NextReply();
    // Reads the block after a reply that has one, up to its "." line; each
    // line (dot-stuffing undone) goes to onLine with the bytes it took on
    // the wire, as a view valid until the next line. Waits while paused
    // before every line. False when the session broke instead (a stop, a
    // lost connection, or more than `cap` bytes held counting kHeldLineCost
    // a line).
    static constexpr int64_t kHeldLineCost = 64;
    using LineHandler = std::function<void(std::string_view line, int64_t received)>;
    [[nodiscard]] bool ReadBlock(int64_t cap, const LineHandler& onLine);
    // As above, but the lines already received that need no undoing go to
    // onRun in runs, end to end, with where each ends (each took as many
    // bytes on the wire as it has): a large article costs a call per read
    // from the network instead of one per line. The rest go to onLine.
    // Waits while paused before every run or line.
    using RunHandler = std::function<void(std::string_view lines, std::span<const uint32_t> ends)>;
    [[nodiscard]] bool ReadBlock(int64_t cap, const LineHandler& onLine, const RunHandler& onRun);
    // The same one line at a time: End at the "." line, Broken when the
    // session broke (or no block is due).
    enum class BlockLine { Line, End, Broken };
    BlockLine NextBlockLine(std::string_view& line, int64_t& received);
    // The connection is still open (lines it received before it closed are
    // still handed out).
    bool Connected() const;
    // Reads and drops the replies (and blocks) of every command sent ahead.
    void Drain();

    // The system error behind the last lost connection (ETIMEDOUT, EPROTO, ...).
    int LastSocketError() const { return m_nSocketError; }

private:
    enum class Kind {
        Group,
        Overview,
        Article,
        List,
        Capabilities,
        Compress,
        StartTls,
        User,
        Pass
    };
    struct Sent {
        Sent(Kind k, std::string text, int64_t n = 0, std::string id = {})
            : kind(k), line(std::move(text)), number(n), messageId(std::move(id)) {}
        Kind kind;
        std::string line;  // as sent, with CR LF, for a repeat after a login
        int64_t number;
        std::string messageId;
    };

    void Send(Sent command);
    void FlushOutgoing();
    Reply ReadStatus();
    // Checks the reply against the command; false when it breaks the session.
    bool Fits(const Sent& command, const Reply& reply);
    bool RepeatAfterLogin();
    void Break(Failure failure, std::string text = {});
    bool BlockGoesOn();
    BlockLine TakeBlockLine(std::string_view& line, int64_t& received);
    bool SkipBlock();
    Reply Exchange(Sent command);
    LoginResult SendLogin();

    ServerSettings m_server;
    const std::atomic<bool>* m_pStop;
    PauseGate* m_pPause;
    std::unique_ptr<CNewsSocket> m_socket;
    std::deque<Sent> m_sent;  // sent, reply not yet read, oldest first
    std::string m_outgoing;   // commands not yet handed to the connection
    bool m_bBlockPending = false;
    std::vector<uint32_t> m_runEnds;  // room for ReadBlock's runs, kept
    Failure m_failure = Failure::None;
    std::string m_strFailureText;
    int m_nSocketError = 0;
    bool m_bCompressed = false;

    // The login, kept for a 480: the password as first used (typed or stored).
    std::optional<LoginSettings> m_login;
    PasswordRule m_rule = PasswordRule::RefusedBy482Or502;
    bool m_bLoginRepeated = false;  // since the last reply that was not a 480
};

}  // namespace ng
