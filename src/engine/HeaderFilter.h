#pragma once
// The header filter: whether an overview line's article is worth
// retrieving, judged by its size in lines, its subject, its sender, the
// download history and the subjects already accepted in this pass. It only
// decides; counting, showing and logging the rejections is the caller's.

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
    // Remembers an accepted subject, so that the same subject later in the
    // pass (in any group) is a crosspost.
    void NoteAccepted(const std::string& subject) { m_acceptedSubjects.insert(subject); }
    // Forgets the accepted subjects, giving back their room.
    void Clear() { std::unordered_set<std::string>().swap(m_acceptedSubjects); }

    // True when the upper-cased text holds one of the (upper-cased) entries.
    static bool MatchesAny(const std::vector<std::string>& upperList, std::string_view upperText);

private:
    const FilterSettings& m_settings;
    const DownloadHistory& m_history;
    std::unordered_set<std::string> m_acceptedSubjects;
};

}  // namespace ng
