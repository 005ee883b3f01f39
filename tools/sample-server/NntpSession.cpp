#include "sample-server/NntpSession.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fnmatch.h>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <optional>

namespace ngsample {

namespace {

// Longest command line taken from a client, line end included. Longer
// lines are discarded whole and answered with an error.
constexpr std::size_t kMaxCommandLine = 2048;
// A client silent this long is dropped, like a real server's client timeout.
constexpr int kIdleTimeoutMs = 10 * 60 * 1000;

std::mutex g_logMutex;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits off the first word; the rest keeps its inner blanks but not its outer ones.
std::string_view NextWord(std::string_view& text) {
    text = Trim(text);
    std::size_t end = text.find_first_of(" \t");
    std::string_view word = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : Trim(text.substr(end));
    return word;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string Padded10(std::uint64_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%010llu", static_cast<unsigned long long>(value));
    return buf;
}

void AppendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

}  // namespace

void LogLine(const ServerOptions& options, const std::string& text) {
    if (options.quiet) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

NntpSession::NntpSession(int fd, int id, ArticleStore& store, const ServerOptions& options)
    : m_fd(fd), m_id(id), m_store(store), m_options(options) {}

NntpSession::~NntpSession() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string NntpSession::Greeting() const {
    return m_options.noPosting ? "201 newsgleaner-sample-server ready (no posting)"
                               : "200 newsgleaner-sample-server ready (posting ok)";
}

bool NntpSession::SendAll(const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void NntpSession::Run() {
    std::string prefix = "[" + std::to_string(m_id) + "] ";
    LogLine(m_options, prefix + "connected");
    if (!SendAll(Greeting() + "\r\n")) {
        return;
    }
    std::string pending;      // received bytes not yet handled, always under kMaxCommandLine
    bool discarding = false;  // inside an overlong line, dropping bytes up to its LF
    std::string out;
    char buf[4096];
    bool open = true;
    while (open) {
        pollfd pfd{m_fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, kIdleTimeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            LogLine(m_options, prefix + "idle too long, dropped");
            break;
        }
        ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        std::string_view chunk(buf, static_cast<std::size_t>(n));
        while (open && !chunk.empty()) {
            std::size_t lf = chunk.find('\n');
            std::string_view piece = chunk.substr(0, lf);
            chunk = lf == std::string_view::npos ? std::string_view() : chunk.substr(lf + 1);
            if (discarding) {
                discarding = lf == std::string_view::npos;
                continue;
            }
            if (pending.size() + piece.size() >= kMaxCommandLine) {
                pending.clear();
                discarding = lf == std::string_view::npos;
                if (!SendAll("500 Line too long\r\n")) {
                    open = false;
                }
                continue;
            }
            pending.append(piece);
            if (lf == std::string_view::npos) {
                break;
            }
            std::string line;
            line.swap(pending);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            std::string shown = Upper(line.substr(0, 13)) == "AUTHINFO PASS"
                                    ? std::string("AUTHINFO PASS ...")
                                    : line;
            LogLine(m_options, prefix + "> " + shown);
            out.clear();
            open = Handle(line, out);
            if (!SendAll(out)) {
                open = false;
            }
        }
    }
    LogLine(m_options, prefix + "closed");
}

bool NntpSession::Handle(std::string_view line, std::string& out) {
    std::string_view rest = line;
    std::string command = Upper(NextWord(rest));
    if (command == "QUIT") {
        AppendLine(out, "205 Bye!");
        return false;
    }
    bool loginNeeded = !m_options.user.empty() && !m_authenticated;
    if (loginNeeded && command != "AUTHINFO" && command != "MODE") {
        AppendLine(out, "480 Authentication required");
        return true;
    }
    if (command == "MODE") {
        if (Upper(rest) == "READER") {
            AppendLine(out, Greeting());
        } else {
            AppendLine(out, "501 Unknown MODE variant");
        }
    } else if (command == "GROUP") {
        HandleGroup(rest, out);
    } else if (command == "XOVER" || command == "OVER") {
        HandleOver(rest, out);
    } else if (command == "ARTICLE" || command == "HEAD" || command == "BODY" ||
               command == "STAT") {
        HandleArticle(command, rest, out);
    } else if (command == "LIST") {
        HandleList(rest, out);
    } else if (command == "AUTHINFO") {
        HandleAuthinfo(rest, out);
    } else {
        AppendLine(out, "500 Unknown command");
    }
    return true;
}

void NntpSession::HandleGroup(std::string_view arg, std::string& out) {
    std::string name(NextWord(arg));
    if (name.empty()) {
        AppendLine(out, "501 Syntax error");
        return;
    }
    auto numbers = m_store.Numbers(name);
    if (!numbers) {
        AppendLine(out, "411 No such group " + name);
        return;
    }
    m_group = name;
    if (numbers->empty()) {
        m_current = 0;
        AppendLine(out, "211 0 1 0 " + name);
        return;
    }
    m_current = numbers->front();
    AppendLine(out, "211 " + std::to_string(numbers->size()) + " " +
                        std::to_string(numbers->front()) + " " + std::to_string(numbers->back()) +
                        " " + name);
}

void NntpSession::AppendOverviewLine(const std::string& group, std::uint64_t number,
                                     std::string& out) {
    auto info = m_store.Info(group, number);
    if (!info) {
        return;  // vanished since the folder was listed
    }
    std::string xref = info->xref.empty()
                           ? m_options.hostName + " " + group + ":" + std::to_string(number)
                           : info->xref;
    std::string line = std::to_string(number) + "\t" + info->subject + "\t" + info->from + "\t" +
                       info->date + "\t" + info->messageId + "\t" + info->references + "\t" +
                       std::to_string(info->bytes) + "\t" + std::to_string(info->lines) +
                       "\tXref: " + xref;
    AppendDotStuffed(out, line);
}

void NntpSession::HandleOver(std::string_view arg, std::string& out) {
    if (m_group.empty()) {
        AppendLine(out, "412 No newsgroup selected");
        return;
    }
    std::string_view range = NextWord(arg);
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    if (range.empty()) {
        if (m_current == 0) {
            AppendLine(out, "420 No current article selected");
            return;
        }
        low = high = m_current;
    } else {
        std::size_t dash = range.find('-');
        auto first = ParseNumber(range.substr(0, dash));
        if (!first) {
            AppendLine(out, "501 Syntax error");
            return;
        }
        low = *first;
        if (dash == std::string_view::npos) {
            high = low;
        } else if (dash + 1 == range.size()) {
            high = UINT64_MAX;
        } else {
            auto last = ParseNumber(range.substr(dash + 1));
            if (!last) {
                AppendLine(out, "501 Syntax error");
                return;
            }
            high = *last;
        }
    }
    auto numbers = m_store.Numbers(m_group);
    AppendLine(out, "224 Overview information follows");
    if (numbers) {
        for (std::uint64_t number : *numbers) {
            if (number >= low && number <= high) {
                AppendOverviewLine(m_group, number, out);
            }
        }
    }
    AppendLine(out, ".");
}

void NntpSession::HandleArticle(std::string_view verb, std::string_view arg, std::string& out) {
    std::string_view which = NextWord(arg);
    std::string group;
    std::uint64_t number = 0;
    bool byId = !which.empty() && which.front() == '<';
    if (byId) {
        auto found = which.back() == '>' ? m_store.Find(std::string(which)) : std::nullopt;
        if (!found) {
            AppendLine(out, "430 No such article");
            return;
        }
        group = found->first;
        number = found->second;
    } else {
        if (m_group.empty()) {
            AppendLine(out, "412 No newsgroup selected");
            return;
        }
        if (which.empty()) {
            if (m_current == 0) {
                AppendLine(out, "420 No current article selected");
                return;
            }
            number = m_current;
        } else {
            auto parsed = ParseNumber(which);
            if (!parsed) {
                AppendLine(out, "501 Syntax error");
                return;
            }
            number = *parsed;
        }
        group = m_group;
    }
    auto raw = m_store.Read(group, number);
    if (!raw) {
        AppendLine(out, byId ? "430 No such article" : "423 No such article number in this group");
        return;
    }
    if (!byId) {
        m_current = number;
    }
    ArticleInfo info = ParseArticle(std::string_view(*raw).substr(0, BodyOffset(*raw)));
    std::string id = info.messageId.empty() ? std::string(byId ? which : "<0>") : info.messageId;
    std::string shownNumber = byId ? "0" : std::to_string(number);
    std::string_view all(*raw);
    std::size_t bodyAt = BodyOffset(all);
    if (verb == "STAT") {
        AppendLine(out, "223 " + shownNumber + " " + id);
        return;
    }
    if (verb == "HEAD") {
        AppendLine(out, "221 " + shownNumber + " " + id);
        std::size_t before = out.size();
        AppendDotStuffed(out, all.substr(0, bodyAt));
        // The empty line that ends the headers is not part of the reply.
        if (out.size() >= before + 2 && out.ends_with("\r\n\r\n")) {
            out.resize(out.size() - 2);
        }
    } else if (verb == "BODY") {
        AppendLine(out, "222 " + shownNumber + " " + id);
        AppendDotStuffed(out, all.substr(bodyAt));
    } else {
        AppendLine(out, "220 " + shownNumber + " " + id);
        AppendDotStuffed(out, all);
    }
    AppendLine(out, ".");
}

void NntpSession::HandleList(std::string_view arg, std::string& out) {
    std::string keyword = Upper(NextWord(arg));
    std::string pattern(NextWord(arg));
    if (keyword == "OVERVIEW.FMT") {
        AppendLine(out, "215 Order of fields in overview database");
        for (const char* field : {"Subject:", "From:", "Date:", "Message-ID:", "References:",
                                  "Bytes:", "Lines:", "Xref:full"}) {
            AppendLine(out, field);
        }
        AppendLine(out, ".");
        return;
    }
    if (!keyword.empty() && keyword != "ACTIVE") {
        AppendLine(out, "501 Syntax error");
        return;
    }
    AppendLine(out, "215 Newsgroups in form \"group high low status\"");
    for (const std::string& group : m_store.Groups()) {
        if (!pattern.empty() && ::fnmatch(pattern.c_str(), group.c_str(), 0) != 0) {
            continue;
        }
        auto numbers = m_store.Numbers(group);
        if (!numbers) {
            continue;
        }
        std::uint64_t high = numbers->empty() ? 0 : numbers->back();
        std::uint64_t low = numbers->empty() ? 1 : numbers->front();
        AppendLine(out, group + " " + Padded10(high) + " " + Padded10(low) + " y");
    }
    AppendLine(out, ".");
}

void NntpSession::HandleAuthinfo(std::string_view arg, std::string& out) {
    std::string kind = Upper(NextWord(arg));
    // The client sends a blank before the line end; the value is the rest of
    // the line with outer blanks removed.
    std::string value(Trim(arg));
    if (kind == "USER") {
        if (m_authenticated) {
            AppendLine(out, "502 Already authenticated");
            return;
        }
        m_pendingUser = value;
        m_haveUser = true;
        AppendLine(out, "381 Enter password");
    } else if (kind == "PASS") {
        if (m_authenticated) {
            AppendLine(out, "502 Already authenticated");
            return;
        }
        if (!m_haveUser) {
            AppendLine(out, "482 Authentication commands issued out of sequence");
            return;
        }
        // Without a configured login every name and password are welcome.
        bool good = m_options.user.empty() ||
                    (m_pendingUser == m_options.user && value == m_options.password);
        if (good) {
            m_authenticated = true;
            m_haveUser = false;
            AppendLine(out, "281 Authentication succeeded");
        } else {
            AppendLine(out, "481 Authentication failed");
        }
    } else {
        AppendLine(out, "501 Syntax error");
    }
}

}  // namespace ngsample
