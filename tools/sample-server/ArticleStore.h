#pragma once
// The sample server's articles: ROOT/<group name>/<article number>, one whole
// article per file (headers, empty line, body; LF or CR LF line ends).

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ngsample {

// What an overview line needs to know about one article.
struct ArticleInfo {
    std::string subject;
    std::string from;
    std::string date;
    std::string messageId;
    std::string references;
    std::string xref;         // value of an Xref header stored with the article, if any
    std::uint64_t bytes = 0;  // size with CR LF line ends
    std::uint64_t lines = 0;  // number of body lines
};

// Reads the headers and counts of an article as stored on disk. Folded
// headers are joined; TAB, CR and LF in values become blanks so that the
// values fit into one overview line.
ArticleInfo ParseArticle(std::string_view raw);

// Appends the article in wire form: every line ends in CR LF and a line that
// begins with "." gets a second one. The terminating "." line is not added.
void AppendDotStuffed(std::string& out, std::string_view raw);

// Where the header part of an article ends: the offset of its body, or the
// whole size when there is no empty line.
std::size_t BodyOffset(std::string_view raw);

class ArticleStore {
public:
    explicit ArticleStore(std::string root);

    // A group name the store accepts: it becomes one path component, so no
    // slashes, no leading dot, printable ASCII only.
    static bool IsValidGroupName(std::string_view name);

    // The groups: sub-folders of the root with valid names, sorted.
    std::vector<std::string> Groups() const;
    // Article numbers of a group in ascending order; nullopt for an unknown group.
    std::optional<std::vector<std::uint64_t>> Numbers(const std::string& group) const;
    // The whole article file; nullopt when it is missing or unreadable.
    std::optional<std::string> Read(const std::string& group, std::uint64_t number) const;
    // Overview data, kept while the file's size and modification time stay the same.
    std::optional<ArticleInfo> Info(const std::string& group, std::uint64_t number);
    // Finds an article by its message identifier (with angle brackets) in any group.
    std::optional<std::pair<std::string, std::uint64_t>> Find(const std::string& messageId);

private:
    struct CacheEntry {
        std::int64_t size = -1;
        std::int64_t mtimeNs = -1;
        ArticleInfo info;
    };

    std::string PathOf(const std::string& group, std::uint64_t number) const;

    std::string m_root;
    std::mutex m_mutex;
    std::map<std::string, CacheEntry> m_cache;  // by file path
};

}  // namespace ngsample
