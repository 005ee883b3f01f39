#pragma once
// One client connection of the sample server: reads command lines, answers
// them the way an INN reader server does.

#include <cstdint>
#include <string>
#include <string_view>

#include "sample-server/ArticleStore.h"

namespace ngsample {

struct ServerOptions {
    std::string root;
    std::string bind = "127.0.0.1";
    int port = 119;
    std::string portFile;
    std::string user;  // login required when not empty
    std::string password;
    long lifetimeSeconds = 0;
    int maxConnections = 64;  // more at once are greeted "502 too many connections"
    bool quiet = false;
    bool noPosting = false;                   // greet with 201 instead of 200
    std::string hostName = "sample.invalid";  // the host part of synthesised Xref fields
};

// Writes one line to standard error unless the server runs quietly.
void LogLine(const ServerOptions& options, const std::string& text);

class NntpSession {
public:
    NntpSession(int fd, int id, ArticleStore& store, const ServerOptions& options);
    ~NntpSession();
    NntpSession(const NntpSession&) = delete;
    NntpSession& operator=(const NntpSession&) = delete;

    // Greets the client and serves it until it quits, goes silent too long,
    // or the connection breaks. Closes the socket.
    void Run();

    // Answers one command line (without its line end) into out. Returns false
    // when the connection is to be closed after sending out.
    bool Handle(std::string_view line, std::string& out);

private:
    void HandleGroup(std::string_view arg, std::string& out);
    void HandleOver(std::string_view arg, std::string& out);
    void HandleArticle(std::string_view verb, std::string_view arg, std::string& out);
    void HandleList(std::string_view arg, std::string& out);
    void HandleAuthinfo(std::string_view arg, std::string& out);
    void AppendOverviewLine(const std::string& group, std::uint64_t number, std::string& out);
    std::string Greeting() const;

    bool SendAll(const std::string& data);

    int m_fd;
    int m_id;
    ArticleStore& m_store;
    const ServerOptions& m_options;
    std::string m_group;          // selected group, empty when none
    std::uint64_t m_current = 0;  // current article number, 0 when none
    bool m_authenticated = false;
    bool m_haveUser = false;  // AUTHINFO USER seen, PASS expected
    std::string m_pendingUser;
};

}  // namespace ngsample
