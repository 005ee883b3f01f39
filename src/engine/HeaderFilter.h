#pragma once
// The header filter: whether an overview line's article is worth
// retrieving, judged by its size, its subject, its sender, the download
// history and the articles already accepted or dealt with. It only decides;
// counting, showing and logging the rejections is the caller's.
//
// Sizes: lines, per article, where the profile sets MinLines or MaxLines;
// kilobytes of the whole picture (the overview's bytes, over all of a
// post's parts) where MinKB or MaxKB holds.
//
// Crossposts: an article whose message-id, or whose Xref place in another
// group, was accepted earlier in the pass or dealt with in an earlier one.
// Where the overview gives neither, the same subject accepted earlier in
// the pass, as it always was.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/PassSettings.h"
#include "nntp/Overview.h"

namespace ng {

class DownloadHistory;
class SeenArticles;

class HeaderFilter {
public:
    enum class Verdict {
        Accept,
        LineCount,    // outside MinLines..MaxLines, or MinKB..MaxKB (all inclusive)
        NotIncluded,  // misses one of the two include lists
        Excluded,     // holds a subject exclude term
        SenderExcluded,
        InHistory,  // a downloaded file's name; `matched` says which text
        Crosspost,  // accepted earlier in the pass, or dealt with before
    };
    struct Decision {
        Verdict verdict = Verdict::Accept;
        std::string matched;  // for InHistory: the history text found, upper-cased
    };

    // `seen` (may be null): what earlier passes dealt with.
    HeaderFilter(const FilterSettings& settings, const DownloadHistory& history,
                 const SeenArticles* seen = nullptr);

    // One article by its subject, sender and size alone (bytes < 0:
    // unknown, so no kilobyte limit); a crosspost by subject.
    Decision AcceptHeader(std::string_view subject, std::string_view sender, int lines,
                          int64_t bytes = -1) const;
    // One article of `group` by its overview record.
    Decision AcceptArticle(const OverviewRecord& record, std::string_view group) const;

    // A post split over several articles, judged as a whole: the parts
    // listed now and those kept from earlier passes.
    struct PostView {
        std::vector<const OverviewRecord*> parts;  // listed now, each part once
        std::string_view key;                      // names the post
        std::string_view group;
        int64_t keptBytes = 0;  // of the parts kept from earlier passes
        int64_t keptParts = 0;
        int64_t keptLargestLines = 0;
        int64_t total = 0;
    };
    // The largest part known (listed or kept) must be within the line limits. The bytes add
    // up: more than MaxKB already is too many; fewer than MinKB counts once
    // the post is whole, and before that as the parts known so far scaled to
    // all of them. A subject that misses an include list, or holds an
    // exclude term or a downloaded file's name, decides for every part.
    Decision AcceptPost(const PostView& post) const;

    // Remembers an accepted article (or post, by its key and the records
    // of its parts), so that it is a crosspost later in the pass.
    void NoteAccepted(std::string_view subject);
    void NoteAccepted(const OverviewRecord& record, std::string_view group);
    void NoteAccepted(const PostView& post);
    // Forgets the accepted articles, giving back their room.
    void Clear();

    // True when the upper-cased text holds one of the (upper-cased) entries.
    static bool MatchesAny(const std::vector<std::string>& upperList, std::string_view upperText);

private:
    // Looked up by view: no copy of the text for each overview line.
    struct ViewHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using TextSet = std::unordered_set<std::string_view, ViewHash>;
    // A pass may accept a million articles: their texts go into blocks that
    // never move, and the sets hold views of them.
    class Remembered {
    public:
        bool Has(std::string_view text) const { return m_set.count(text) != 0; }
        void Add(std::string_view text);
        void Clear();

    private:
        TextSet m_set;
        std::vector<std::string> m_blocks;
    };

    bool SizeFits(int64_t lines, int64_t bytes, int64_t estimatedBytes) const;
    // The subject and sender tests, before the history and crosspost tests.
    Verdict TestText(const std::string& upperSubject, std::string_view sender) const;
    // nullopt: the record says too little to tell (no message-id, no Xref).
    std::optional<bool> SeenBefore(const OverviewRecord& record, std::string_view group) const;

    const FilterSettings& m_settings;
    const DownloadHistory& m_history;
    const SeenArticles* m_pSeen;
    Remembered m_subjects;  // subjects and post keys accepted in this pass
    Remembered m_ids;       // message-ids accepted in this pass
    Remembered m_places;    // "group:number" of the articles accepted in this pass
};

}  // namespace ng
