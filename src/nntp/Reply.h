#pragma once
// What a news server's reply lines mean: the codes the program acts on,
// named once here, and the small readers of status and block lines.

#include <string_view>

#include "platform/Numbers.h"

namespace ng::nntp {

// Reply codes (RFC 3977 and RFC 4643) that the program looks for.
enum Code : int {
    kCapabilitiesFollow = 101,   // CAPABILITIES
    kReadyPostingAllowed = 200,  // greeting
    kReadyNoPosting = 201,       // greeting
    kCompressionActive = 206,    // COMPRESS DEFLATE
    kGroupSelected = 211,        // GROUP: "211 count first last name"
    kListFollows = 215,          // LIST
    kArticleFollows = 220,       // ARTICLE
    kOverviewFollows = 224,      // XOVER
    kAuthAccepted = 281,         // AUTHINFO PASS (or USER without a password)
    kPasswordRequired = 381,     // AUTHINFO USER: send the password
    kContinueWithTls = 382,      // STARTTLS: begin the handshake
    kServiceUnavailable = 400,   // busy, or closing the session
    kNoSuchGroup = 411,          // GROUP
    kNoArticleInRange = 423,     // XOVER: the range holds no article (RFC 3977); ARTICLE: none
    kNoSuchArticle = 430,        // ARTICLE by number at some servers, by message-id
    kAuthRequired = 480,         // any command: log in first
    kAuthOutOfSequence = 482,    // AUTHINFO in the wrong order
    kNotPermitted = 502,         // command not permitted
};

// The code of a status line: the number it begins with (0 for no line).
inline int ReplyCode(std::string_view line) {
    return LeadingInt(line);
}

// A line without its line end ("\r\n", "\n", or stray ones).
inline std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

// A multi-line block ends at exactly ".\r\n".
inline bool IsEndOfBlock(std::string_view line) {
    return line == ".\r\n";
}

// A line of a block as it was posted: the server doubled a leading ".".
inline std::string_view WithoutDotStuffing(std::string_view line) {
    if (!line.empty() && line.front() == '.') {
        line.remove_prefix(1);
    }
    return line;
}

}  // namespace ng::nntp
