#include "store/DownloadHistory.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "platform/FileLock.h"
#include "platform/ShowableText.h"
#include "platform/TextFile.h"
#include "store/HistoryIndex.h"

namespace ng {
namespace {

// "~" goes before the last path component, so "HistList" backs up to
// "~HistList" and "dir/HistList" to "dir/~HistList".
std::string BackupNameOf(const std::string& fileName) {
    auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) {
        return "~" + fileName;
    }
    return fileName.substr(0, slash + 1) + "~" + fileName.substr(slash + 1);
}

// Line i of a text whose every line ends in LF, line i beginning at starts[i].
std::string_view LineAt(const std::string& text, const std::vector<uint32_t>& starts, size_t i) {
    size_t end = (i + 1 < starts.size() ? starts[i + 1] : text.size()) - 1;
    return std::string_view(text).substr(starts[i], end - starts[i]);
}

// Calls f(line) for every line of the text as SplitTextLines splits it.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    text = WithoutByteOrderMarks(text);
    while (!text.empty()) {
        size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        f(line);
        if (lf == std::string_view::npos) {
            break;
        }
        text.remove_prefix(lf + 1);
    }
}

// Brings a file's text to the form the list keeps and the backup holds:
// no byte order mark, LF alone ending every line, the last line included.
// A CR goes where it ends a line: before LF, or at the end of the text,
// where the LF that ends the last line takes its place.
void NormaliseText(std::string& text) {
    size_t from = text.size() - WithoutByteOrderMarks(text).size();
    if (from > 0 || text.ends_with('\r') || text.find("\r\n", from) != std::string::npos) {
        size_t to = 0;
        for (size_t i = from; i < text.size(); ++i) {
            if (text[i] != '\r' || (i + 1 < text.size() && text[i + 1] != '\n')) {
                text[to++] = text[i];
            } else if (i + 1 == text.size()) {
                text[to++] = '\n';
            }
        }
        text.resize(to);
        text.shrink_to_fit();
    }
    if (!text.empty() && text.back() != '\n') {
        // A string grows by doubling; a copy of the exact size costs less.
        std::string ended(text.size() + 1, '\n');
        std::memcpy(ended.data(), text.data(), text.size());
        text.swap(ended);
    }
}

}  // namespace

DownloadHistory::DownloadHistory() : m_index(std::make_unique<Index>()) {}
DownloadHistory::~DownloadHistory() = default;

// A moved-from list is empty and has no index; Add and Load make one.
DownloadHistory::DownloadHistory(DownloadHistory&& other) noexcept
    : m_text(std::exchange(other.m_text, {})),
      m_starts(std::exchange(other.m_starts, {})),
      m_added(std::exchange(other.m_added, {})),
      m_index(std::move(other.m_index)),
      m_onDisk(std::exchange(other.m_onDisk, {})) {}

DownloadHistory& DownloadHistory::operator=(DownloadHistory&& other) noexcept {
    if (this != &other) {
        m_text = std::exchange(other.m_text, {});
        m_starts = std::exchange(other.m_starts, {});
        m_added = std::exchange(other.m_added, {});
        m_index = std::exchange(other.m_index, nullptr);
        m_onDisk = std::exchange(other.m_onDisk, {});
    }
    return *this;
}

bool DownloadHistory::Load(const std::string& fileName, int maxHist) {
    std::string text;
    if (!ReadWholeFile(fileName, text)) {
        return false;
    }
    // Offsets into the kept text are 32 bits wide.
    size_t oldBytes = 0;
    for (size_t i = 0; i < Size(); ++i) {
        oldBytes += Name(i).size() + 1;
    }
    if (text.size() + oldBytes >= std::numeric_limits<uint32_t>::max()) {
        errno = EFBIG;
        return false;
    }
    NormaliseText(text);
    // The copy as it was before this pass; losing it must not stop the load.
    (void)ReplaceFileContents(BackupNameOf(fileName), text);

    std::vector<uint32_t> starts;
    starts.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        starts.push_back(static_cast<uint32_t>(at));
    }

    // Each line joins at the newest end; whenever the list is then longer
    // than maxHist the oldest name goes. A cap of 0 or less keeps nothing.
    // So a list of `had` names ends with max(had, cap) names at most, and
    // the oldest of old and new names go first.
    const size_t had = Size();
    const size_t lines = starts.size();
    const size_t cap = maxHist > 0 ? static_cast<size_t>(maxHist) : 0;
    const size_t kept = had >= cap ? had : std::min(cap, had + lines);
    const size_t dropped = had + lines - kept;
    const size_t droppedLines = dropped > had ? dropped - had : 0;

    // The file's names the list does not take are remembered for Save.
    m_onDisk.clear();
    for (size_t i = 0; i < droppedLines; ++i) {
        m_onDisk.push_back(HashOf(LineAt(text, starts, i)));
    }
    std::sort(m_onDisk.begin(), m_onDisk.end());
    m_onDisk.shrink_to_fit();

    // The names kept, end to end: the newest of the old ones, then the
    // file's. In the common case, a load into an empty list that keeps
    // every line, the file's text is the list's as it is.
    const size_t from = droppedLines < lines ? starts[droppedLines] : text.size();
    if (kept == lines && from == 0) {
        m_text.swap(text);
        m_starts.swap(starts);
    } else {
        std::string keptText;
        std::vector<uint32_t> keptStarts;
        keptStarts.reserve(kept);
        size_t oldSize = 0;
        for (size_t i = std::min(dropped, had); i < had; ++i) {
            oldSize += Name(i).size() + 1;
        }
        keptText.reserve(oldSize + text.size() - from);
        for (size_t i = std::min(dropped, had); i < had; ++i) {
            keptStarts.push_back(static_cast<uint32_t>(keptText.size()));
            keptText.append(Name(i)).push_back('\n');
        }
        keptText.append(text, from);
        for (size_t i = droppedLines; i < lines; ++i) {
            keptStarts.push_back(static_cast<uint32_t>(oldSize + starts[i] - from));
        }
        m_text.swap(keptText);
        m_starts.swap(keptStarts);
    }
    std::vector<std::string>().swap(m_added);
    RebuildIndex();
    return true;
}
bool DownloadHistory::KnownOnDisk(std::string_view name) const {
    return std::binary_search(m_onDisk.begin(), m_onDisk.end(), HashOf(name));
}

bool DownloadHistory::Save(const std::string& fileName, int* error, Durability durability) {
    FileLock lock(fileName);
    std::string onDisk;
    if (ReadWholeFile(fileName, onDisk)) {
        std::vector<uint64_t> mine;
        mine.reserve(Size());
        for (std::string_view name : Names()) {
            mine.push_back(HashOf(name));
        }
        std::sort(mine.begin(), mine.end());
        ForEachLine(onDisk, [&](std::string_view name) {
            if (name.size() > kShortName && !KnownOnDisk(name) &&
                !std::binary_search(mine.begin(), mine.end(), HashOf(name))) {
                Add(std::string(name));  // saved by another program since the load
            }
        });
    }
    std::string().swap(onDisk);

    std::string text;
    size_t size = 0;
    for (std::string_view name : Names()) {
        size += name.size() > kShortName ? name.size() + 1 : 0;
    }
    text.reserve(size);
    for (std::string_view name : Names()) {
        if (name.size() > kShortName) {
            text.append(name).push_back('\n');
        }
    }
    if (!ReplaceFileContents(fileName, text, error, 0666, durability)) {
        return false;
    }
    // Every name now on disk is in the list.
    std::vector<uint64_t>().swap(m_onDisk);
    return true;
}

void DownloadHistory::Add(std::string name) {
    if (!m_index) {
        m_index = std::make_unique<Index>();
        RebuildIndex();
    }
    m_added.push_back(std::move(name));
    m_index->Insert(*this, static_cast<uint32_t>(Size() - 1));
}

void DownloadHistory::Clear() {
    std::string().swap(m_text);
    std::vector<uint32_t>().swap(m_starts);
    std::vector<std::string>().swap(m_added);
    std::vector<uint64_t>().swap(m_onDisk);
    if (m_index) {
        m_index->Clear();
    }
}

void DownloadHistory::RebuildIndex() {
    if (!m_index) {
        m_index = std::make_unique<Index>();
    }
    m_index->Build(*this);
}

bool DownloadHistory::Holds(std::string_view name) const {
    if (!m_index || Size() == 0) {
        return false;
    }
    const std::string upper = ToUpperAscii(name);
    if (upper.size() <= kShortName) {  // not in the index: rare enough to look through
        for (size_t i = 0; i < Size(); ++i) {
            if (ToUpperAscii(Name(i)) == upper) {
                return true;
            }
        }
        return false;
    }
    const unsigned char* p = Bytes(upper);
    PrefixHash<false> hash(p, p + upper.size());
    return m_index->Find(*this, hash.At(upper.size()), p, upper.size()) != 0;
}

std::optional<std::string> DownloadHistory::FindHit(std::string_view upperSubject) const {
    if (!m_index || Size() == 0) {
        return std::nullopt;
    }
    // A name hits when the subject begins with it or holds it right after a
    // blank, a quote, a bracket or a parenthesis ("IMG_1.jpg" yEnc (1/1)):
    // so look from the start and from every such character's follower, for
    // each length a name beginning there could have. The newest hit wins;
    // on a tie the earlier look (the start of the subject) keeps its claim.
    const unsigned char* subject = Bytes(upperSubject);
    const size_t size = upperSubject.size();
    const unsigned char* end = subject + size;
    uint32_t best = 0;
    char bestAfter = 0;  // the character before the hit; 0 at the start
    auto look = [&](size_t from, char after) {
        size_t room = size - from;
        if (room <= kShortName) {
            return;
        }
        PrefixHash<false> hash(subject + from, end);
        for (uint64_t lengths = m_index->Lengths(subject + from); lengths != 0;
             lengths &= lengths - 1) {
            for (size_t n = 4 + static_cast<size_t>(std::countr_zero(lengths)); n <= room;
                 n += 64) {
                uint32_t found = m_index->Find(*this, hash.At(n), subject + from, n);
                if (found > best) {
                    best = found;
                    bestAfter = after;
                }
            }
        }
    };
    look(0, 0);
    const auto newest = static_cast<uint32_t>(Size());
    for (size_t i = 0; i < size && best != newest; ++i) {
        const char c = upperSubject[i];
        if (c == ' ' || c == '"' || c == '\'' || c == '[' || c == '(') {
            look(i + 1, c);
        }
    }
    if (best == 0) {
        return std::nullopt;
    }
    std::string upperName = ToUpperAscii(Name(best - 1));
    return bestAfter == 0 ? upperName : std::string(1, bestAfter) + upperName;
}

void LogHistoryHit(std::string_view entry, std::string_view subject, const std::string& fileName) {
    std::string record;
    record.reserve(entry.size() + 4 + subject.size());
    record.append(entry).append(" -- ").append(subject);
    (void)AppendTextLine(fileName, ShowableText(ToLowerAscii(record)));  // a log: best effort
}

}  // namespace ng
