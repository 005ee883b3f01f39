#pragma once
// A news group served from a table of articles by the scripted server, with
// articles made the way a poster's program would (the encoders in
// Encoders.h): for tests that run a pass, in the process or as a program.

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/Encoders.h"
#include "support/ScriptedServer.h"

namespace ngtest {

// Bytes that look like a JPEG file to the engine: their base64 form begins
// with "/9j/", which is where it starts decoding.
inline std::string JpegLikeBytes(size_t size, uint32_t seed) {
    std::string bytes = RandomBytes(size, seed);
    bytes[0] = static_cast<char>(0xFF);
    bytes[1] = static_cast<char>(0xD8);
    bytes[2] = static_cast<char>(0xFF);
    return bytes;
}

// A MIME article body carrying one base64 part.
inline std::string Base64Body(const std::string& bytes, const std::string& disposition) {
    return "This is a multi-part message in MIME format.\r\n"
           "------=_NextPart_000\r\n"
           "Content-Type: image/jpeg\r\n"
           "Content-Transfer-Encoding: base64\r\n" +
           disposition + "\r\n" + Base64Encode(bytes) + "------=_NextPart_000--\r\n";
}

// An overview line; the message-id "<number@test>" unless given.
inline std::string OverviewLine(int number, const std::string& subject, const std::string& from,
                                int lines, const std::string& messageId = {},
                                int64_t bytes = 12345) {
    return std::to_string(number) + "\t" + subject + "\t" + from +
           "\tMon, 1 Jan 2024 00:00:00 GMT\t" +
           (messageId.empty() ? "<" + std::to_string(number) + "@test>" : messageId) + "\t\t" +
           std::to_string(bytes) + "\t" + std::to_string(lines) + "\tXref: test\r\n";
}

struct TestArticle {
    int number = 0;
    std::string subject;
    std::string body;  // as posted (not yet dot-stuffed), CR LF line ends
    std::string from = "Poster <poster@example.com>";
    int lines = 1000;  // what the overview line claims
    int64_t bytes = 12345;
    std::string messageId;  // "<number@test>" when empty (in alt.test)
    // The whole reply instead of "220 ..." + stuffed head and body + ".".
    std::optional<Reply> reply;
};

inline std::string ArticleText(const TestArticle& a) {
    const std::string id =
        a.messageId.empty() ? "<" + std::to_string(a.number) + "@test>" : a.messageId;
    return "Path: test\r\nFrom: " + a.from + "\r\nNewsgroups: alt.test\r\nSubject: " + a.subject +
           "\r\nMessage-ID: " + id + "\r\n\r\n" + a.body;
}

// Groups on the scripted server, answered from a table: GROUP gives the
// group's numbers (411 for an unknown group), XOVER the overview lines of
// the selected group from the asked number on, ARTICLE the article of the
// selected group (dot-stuffed), or 423. The article hook runs on the
// server's thread when an article is asked for, before it is answered.
class FakeNews {
public:
    explicit FakeNews(ScriptedServer& server) {
        server.OnPrefix("GROUP ", [this](const std::string& line) { return OnGroup(line); });
        server.OnPrefix("XOVER ", [this](const std::string& line) { return OnXover(line); });
        server.OnPrefix("ARTICLE ", [this](const std::string& line) { return OnArticle(line); });
    }

    void AddGroup(const std::string& group) {
        std::lock_guard lock(m_mutex);
        m_groups[group];
    }
    void Add(const std::string& group, TestArticle article) {
        std::lock_guard lock(m_mutex);
        int number = article.number;
        if (article.messageId.empty() && group != "alt.test") {
            // Articles of other groups get message-ids of their own: an equal
            // number is no crosspost. A crosspost is made by giving two the same.
            article.messageId = "<" + std::to_string(number) + "." + group + "@test>";
        }
        m_groups[group].articles[number] = std::move(article);
    }
    // Articles 1..count: uuencoded pictures prefix + n + ".jpg" of `size`
    // random bytes (seed n).
    void AddPictures(const std::string& group, const std::string& prefix, int count, size_t size);

    // Numbers the GROUP reply gives instead of those of the table.
    void SetGroupNumbers(const std::string& group, int64_t count, int64_t first, int64_t last) {
        std::lock_guard lock(m_mutex);
        m_groups[group].numbers = {count, first, last};
    }
    // A reply of its own for GROUP, or for XOVER.
    void SetGroupReply(const std::string& group, Reply reply) {
        std::lock_guard lock(m_mutex);
        m_groups[group].groupReply = std::move(reply);
    }
    // XOVER for a range starting at `from` or later is refused.
    void RefuseXoverFrom(int64_t from) {
        std::lock_guard lock(m_mutex);
        m_refuseXoverFrom = from;
    }
    // XOVER of a range without articles gets 423, as RFC 3977 has it (INN
    // sends an empty block instead).
    void AnswerEmptyRangesWith423() {
        std::lock_guard lock(m_mutex);
        m_emptyRange423 = true;
    }
    void SetXoverReply(const std::string& group, Reply reply) {
        std::lock_guard lock(m_mutex);
        m_groups[group].xoverReply = std::move(reply);
    }
    void OnArticle(std::function<void(const std::string& group, int number)> hook) {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }
    // Changes the reply to an ARTICLE command: given the article's number,
    // how many times it has been asked for (1 the first time), and the reply
    // the table gives for any article of the group. Runs on the server's
    // thread, under the table's lock.
    using NormalOf = std::function<Reply(int number)>;
    using ArticleFault = std::function<Reply(int number, int asked, const NormalOf& normal)>;
    void SetArticleFault(ArticleFault fault) {
        std::lock_guard lock(m_mutex);
        m_fault = std::move(fault);
    }
    std::vector<int> ArticlesAsked() const {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

private:
    struct Group {
        std::map<int, TestArticle> articles;
        std::optional<std::array<int64_t, 3>> numbers;
        std::optional<Reply> groupReply;
        std::optional<Reply> xoverReply;
    };

    Reply OnGroup(const std::string& line) {
        std::lock_guard lock(m_mutex);
        std::string name = line.substr(6);
        auto found = m_groups.find(name);
        if (found == m_groups.end()) {
            return "411 no such group\r\n";
        }
        m_current = name;
        const Group& g = found->second;
        if (g.groupReply) {
            return *g.groupReply;
        }
        int64_t count = static_cast<int64_t>(g.articles.size());
        int64_t first = g.articles.empty() ? 1 : g.articles.begin()->first;
        int64_t last = g.articles.empty() ? 0 : g.articles.rbegin()->first;
        if (g.numbers) {
            count = (*g.numbers)[0];
            first = (*g.numbers)[1];
            last = (*g.numbers)[2];
        }
        return "211 " + std::to_string(count) + " " + std::to_string(first) + " " +
               std::to_string(last) + " " + name + "\r\n";
    }

    Reply OnXover(const std::string& line) {
        std::lock_guard lock(m_mutex);
        const Group& g = m_groups[m_current];
        if (g.xoverReply) {
            return *g.xoverReply;
        }
        // "XOVER a-" or "XOVER a-b".
        int64_t from = std::atoll(line.c_str() + 6);
        size_t dash = line.find('-');
        int64_t to = dash == std::string::npos || dash + 1 == line.size()
                         ? INT64_MAX
                         : std::atoll(line.c_str() + dash + 1);
        if (from >= m_refuseXoverFrom) {
            return "503 overview not available now\r\n";
        }
        std::string reply = "224 overview follows\r\n";
        bool any = false;
        for (const auto& [number, article] : g.articles) {
            if (number >= from && number <= to) {
                reply += OverviewLine(number, article.subject, article.from, article.lines,
                                      article.messageId, article.bytes);
                any = true;
            }
        }
        if (!any && m_emptyRange423) {
            return "423 no articles in that range\r\n";
        }
        return reply + ".\r\n";
    }

    Reply OnArticle(const std::string& line) {
        int number = std::atoi(line.c_str() + 8);
        std::function<void(const std::string&, int)> hook;
        std::string group;
        {
            std::lock_guard lock(m_mutex);
            m_asked.push_back(number);
            hook = m_hook;
            group = m_current;
        }
        if (hook) {
            hook(group, number);
        }
        std::lock_guard lock(m_mutex);
        const Group& g = m_groups[group];
        if (m_fault) {
            const int asked = static_cast<int>(std::count(m_asked.begin(), m_asked.end(), number));
            return m_fault(number, asked, [&g](int n) { return NormalReplyLocked(g, n); });
        }
        return NormalReplyLocked(g, number);
    }

    static Reply NormalReplyLocked(const Group& g, int number) {
        auto found = g.articles.find(number);
        if (found == g.articles.end()) {
            return "423 no such article\r\n";
        }
        const TestArticle& a = found->second;
        if (a.reply) {
            return *a.reply;
        }
        return "220 " + std::to_string(number) + " <" + std::to_string(number) + "@test>\r\n" +
               DotStuff(ArticleText(a)) + ".\r\n";
    }

    mutable std::mutex m_mutex;
    std::map<std::string, Group> m_groups;
    std::string m_current;
    std::function<void(const std::string&, int)> m_hook;
    ArticleFault m_fault;
    std::vector<int> m_asked;
    int64_t m_refuseXoverFrom = INT64_MAX;
    bool m_emptyRange423 = false;
};

// A uuencoded picture article whose file is `name`.
inline TestArticle UUArticle(int number, const std::string& name, const std::string& bytes) {
    TestArticle a;
    a.number = number;
    a.subject = name + " (1/1)";
    a.body = "A picture for you.\r\n\r\n" + UUEncode(bytes, name);
    return a;
}

inline void FakeNews::AddPictures(const std::string& group, const std::string& prefix, int count,
                                  size_t size) {
    for (int n = 1; n <= count; ++n) {
        Add(group, UUArticle(n, prefix + std::to_string(n) + ".jpg",
                             RandomBytes(size, static_cast<uint32_t>(n))));
    }
}

// A base64 picture article: the part's Content-Disposition line as given.
inline TestArticle Base64Article(int number, const std::string& subject, const std::string& bytes,
                                 const std::string& disposition) {
    TestArticle a;
    a.number = number;
    a.subject = subject;
    a.body = Base64Body(bytes, disposition);
    return a;
}

}  // namespace ngtest
