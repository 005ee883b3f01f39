#pragma once
// The header filter: whether an overview line's article is worth
// retrieving, judged by its size in lines, its subject, its sender, the
// download history and the subjects already accepted in this pass. It only
// decides; counting, showing and logging the rejections is the caller's.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/PassSettings.h"

namespace ng {

class DownloadHistory;

class HeaderFilter {
public:
    enum class Verdict {
        Accept,
        LineCount,    // outside MinLines..MaxLines (both inclusive)
        NotIncluded,  // misses one of the two include lists
        Excluded,     // holds a subject exclude term
        SenderExcluded,
        InHistory,  // a downloaded file's name; `matched` says which text
        Crosspost,  // the same subject was accepted earlier in the pass
    };
    struct Decision {
        Verdict verdict = Verdict::Accept;
        std::string matched;  // for InHistory: the history text found, upper-cased
    };

    HeaderFilter(const FilterSettings& settings, const DownloadHistory& history);

    Decision AcceptHeader(std::string_view subject, std::string_view sender, int lines) const;

    // A post split over several articles, judged as a whole: the parts
    // listed now and those kept from earlier passes.
    struct PostView {
        std::vector<std::string_view> subjects;  // of the parts listed now
        std::string_view sender;
        std::string_view key;  // names the post, for the crosspost test
        int64_t lines = 0;     // of every part known, listed or kept
        int64_t partsKnown = 0;
        int64_t total = 0;
    };
    // The line counts add up: more than MaxLines already is too many; fewer
    // than MinLines counts once the post is whole, and before that as the
    // parts known so far scaled to all of them. A subject that misses an
    // include list, or holds an exclude term or a downloaded file's name,
    // decides for every part.
    Decision AcceptPost(const PostView& post) const;
    // Remembers an accepted subject, so that the same subject later in the
    // pass (in any group) is a crosspost.
    void NoteAccepted(std::string_view subject);
    // Forgets the accepted subjects, giving back their room.
    void Clear();

    // True when the upper-cased text holds one of the (upper-cased) entries.
    static bool MatchesAny(const std::vector<std::string>& upperList, std::string_view upperText);

private:
    // Looked up by view: no copy of the subject for each overview line.
    struct ViewHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using SubjectSet = std::unordered_set<std::string_view, ViewHash>;

    // The subject and sender tests, before the history and crosspost tests.
    Verdict TestText(const std::string& upperSubject, std::string_view sender) const;

    const FilterSettings& m_settings;
    const DownloadHistory& m_history;
    // A pass may accept a million subjects: their text goes into blocks
    // that never move, and the set holds views of it.
    SubjectSet m_acceptedSubjects;
    std::vector<std::string> m_subjectBlocks;
};

}  // namespace ng
