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

namespace ng {
namespace {

// Names of this length or shorter are never tested and not saved: they
// would match far too many subjects.
constexpr size_t kShortName = 3;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// "~" goes before the last path component, so "HistList" backs up to
// "~HistList" and "dir/HistList" to "dir/~HistList".
std::string BackupNameOf(const std::string& fileName) {
    auto slash = fileName.find_last_of('/');
    if (slash == std::string::npos) {
        return "~" + fileName;
    }
    return fileName.substr(0, slash + 1) + "~" + fileName.substr(slash + 1);
}

// Hashing eight bytes at a time. The history test hashes a piece of the
// subject as it is and a name upper-cased; both give the same value for
// the same bytes.

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;

uint64_t Load8(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

// The first n (0..7) bytes at p, the others zero; never reads at or past `end`.
uint64_t LoadPart(const unsigned char* p, size_t n, const unsigned char* end) {
    if (n == 0) {
        return 0;
    }
    if (end - p >= 8) {
        return Load8(p) & (~uint64_t{0} >> (64 - 8 * n));
    }
    uint64_t word = 0;
    std::memcpy(&word, p, n);
    return word;
}

// a-z to A-Z in all eight bytes at once; bytes from 0x80 stay as they are.
uint64_t UpperWord(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    uint64_t low7 = word & (0x7F * kOnes);
    uint64_t atLeastA = low7 + (0x80 - 'a') * kOnes;   // top bit set from 'a' on
    uint64_t pastZ = low7 + (0x80 - 'z' - 1) * kOnes;  // top bit set after 'z'
    uint64_t lower = atLeastA & ~pastZ & ~word & (0x80 * kOnes);
    return word - (lower >> 2);
}

// A hash of a text's first n bytes for any n from where it stands on,
// eight bytes a step: the history test takes it at every length a name
// could have at one place of the subject. kUpper hashes the text
// upper-cased (names); the subject is hashed as it is.
template <bool kUpper>
class PrefixHash {
public:
    PrefixHash(const unsigned char* p, const unsigned char* end) : m_p(p), m_end(end) {}

    uint64_t At(size_t n) {
        if (n < 8 * m_words) {  // shorter than the last: start again
            m_words = 0;
            m_state = 0;
        }
        for (; 8 * (m_words + 1) <= n; ++m_words) {
            m_state = Step(m_state, Load8(m_p + 8 * m_words));
        }
        uint64_t h = Step(m_state, LoadPart(m_p + 8 * m_words, n - 8 * m_words, m_end));
        h ^= n * 0xD6E8FEB86659FD93ULL;
        h ^= h >> 32;
        h *= 0xBF58476D1CE4E5B9ULL;
        return h ^ (h >> 29);
    }

private:
    static uint64_t Step(uint64_t state, uint64_t word) {
        uint64_t h = (state ^ (kUpper ? UpperWord(word) : word)) * kMultiplier;
        return h ^ (h >> 32);
    }

    const unsigned char* m_p;
    const unsigned char* m_end;
    size_t m_words = 0;
    uint64_t m_state = 0;
};

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// The hash by which Save and Load tell names apart (letter case counts).
uint64_t HashOf(std::string_view name) {
    return PrefixHash<false>(Bytes(name), Bytes(name) + name.size()).At(name.size());
}

// Of an upper-cased name, for the history test.
uint64_t UpperHashOf(std::string_view name) {
    return PrefixHash<true>(Bytes(name), Bytes(name) + name.size()).At(name.size());
}

uint32_t First4(const unsigned char* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

// Line i of a text whose every line ends in LF, line i beginning at starts[i].
std::string_view LineAt(const std::string& text, const std::vector<uint32_t>& starts, size_t i) {
    size_t end = (i + 1 < starts.size() ? starts[i + 1] : text.size()) - 1;
    return std::string_view(text).substr(starts[i], end - starts[i]);
}

// Calls f(line) for every line of the text as SplitTextLines splits it.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
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
    size_t from = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
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

std::string ToUpperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = UpperAscii(c);
    }
    return result;
}

std::string ToLowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = LowerAscii(c);
    }
    return result;
}

// The history test's index over the names longer than kShortName:
// - one open-addressing table from each upper-cased name to the newest
//   position holding it (names that differ only in case share a slot);
//   a slot keeps 32 bits of the name's hash, which both place it and let
//   most probes fail without touching the name;
// - two small filters that spare most probes of the table, which is far
//   larger than the processor's caches: per hash of a name's first four
//   bytes, which lengths names starting so have (a bit per length mod 64),
//   so that a place in a subject is only looked at for lengths some name
//   could have there; and a Bloom filter of the names' hashes (three bits
//   in one 64-bit word), which most of those lengths still fail.
// The table grows by doubling without the names (the slot's hash bits
// place it); the filters are rebuilt from the names when they fill up.
class DownloadHistory::Index {
public:
    void Clear() {
        std::vector<Slot>().swap(m_slots);
        std::vector<uint64_t>().swap(m_lengths);
        std::vector<uint64_t>().swap(m_bloom);
        m_used = 0;
        m_filterBits = 0;
        m_names = 0;
    }

    void Build(const DownloadHistory& history) {
        Clear();
        const size_t count = history.Size();
        m_slots.assign(std::max<size_t>(1024, count + count / 2 + count / 6), Slot{});
        SizeFilters(count);
        // Nearly every name's slot is a cache miss: the slots of the next
        // names are fetched while this one goes in.
        constexpr size_t kAhead = 16;
        uint64_t hashes[kAhead];
        auto fetch = [&](size_t id) {
            hashes[id % kAhead] = UpperHashOf(history.Name(id));
            __builtin_prefetch(&m_slots[Home(Tag(hashes[id % kAhead]))], 1);
        };
        for (size_t id = 0; id < std::min(kAhead, count); ++id) {
            fetch(id);
        }
        for (size_t id = 0; id < count; ++id) {
            uint64_t hash = hashes[id % kAhead];
            if (id + kAhead < count) {
                fetch(id + kAhead);
            }
            Place(history, static_cast<uint32_t>(id), hash);
        }
    }

    void Insert(const DownloadHistory& history, uint32_t id) {
        std::string_view name = history.Name(id);
        if (name.size() > kShortName && (m_used + 1) * 10 > m_slots.size() * 7) {
            Grow();
        }
        if (m_lengths.empty() || m_names + 1 > (size_t{8} << m_filterBits)) {
            SizeFilters(history.Size());
            for (size_t i = 0; i < id; ++i) {
                std::string_view older = history.Name(i);
                if (older.size() > kShortName) {
                    NoteInFilters(older, UpperHashOf(older));
                }
            }
        }
        Place(history, id, UpperHashOf(name));
    }

    // Which lengths (bit (length - 4) mod 64) names beginning with the four
    // bytes at p have; none when p does not begin a name.
    uint64_t Lengths(const unsigned char* p) const {
        return m_lengths.empty() ? 0 : m_lengths[FilterSlot(First4(p))];
    }

    // 1 + the newest position of a name whose upper-cased text is the n
    // bytes at p, which hash to `hash`; or 0.
    uint32_t Find(const DownloadHistory& history, uint64_t hash, const unsigned char* p,
                  size_t n) const {
        if ((m_bloom[BloomSlot(hash)] & BloomBits(hash)) != BloomBits(hash)) {
            return 0;
        }
        const uint32_t tag = Tag(hash);
        for (size_t slot = Home(tag);; slot = Next(slot)) {
            const Slot& s = m_slots[slot];
            if (s.idPlusOne == 0) {
                return 0;
            }
            if (s.tag == tag) {
                std::string_view name = history.Name(s.idPlusOne - 1);
                if (name.size() == n && UpperEquals(name, p)) {
                    return s.idPlusOne;
                }
            }
        }
    }

private:
    struct Slot {
        uint32_t tag = 0;
        uint32_t idPlusOne = 0;  // 0: empty
    };

    static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }
    size_t Home(uint32_t tag) const { return (uint64_t{tag} * m_slots.size()) >> 32; }
    size_t Next(size_t slot) const { return slot + 1 == m_slots.size() ? 0 : slot + 1; }

    // Enters name `id` (of the given hash) as the newest of its spelling.
    void Place(const DownloadHistory& history, uint32_t id, uint64_t hash) {
        std::string_view name = history.Name(id);
        ++m_names;
        if (name.size() <= kShortName) {
            return;
        }
        NoteInFilters(name, hash);
        const uint32_t tag = Tag(hash);
        for (size_t slot = Home(tag);; slot = Next(slot)) {
            Slot& s = m_slots[slot];
            if (s.idPlusOne == 0) {
                s = Slot{tag, id + 1};
                ++m_used;
                return;
            }
            if (s.tag == tag && SameUpper(history.Name(s.idPlusOne - 1), name)) {
                s.idPlusOne = id + 1;  // positions only grow: this one is the newest
                return;
            }
        }
    }

    static bool UpperEquals(std::string_view name, const unsigned char* upper) {
        for (size_t i = 0; i < name.size(); ++i) {
            if (static_cast<unsigned char>(UpperAscii(name[i])) != upper[i]) {
                return false;
            }
        }
        return true;
    }
    static bool SameUpper(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) {
            return false;
        }
        for (size_t i = 0; i < a.size(); ++i) {
            if (UpperAscii(a[i]) != UpperAscii(b[i])) {
                return false;
            }
        }
        return true;
    }

    void Grow() {
        std::vector<Slot> old(std::max<size_t>(1024, 2 * m_slots.size()));
        old.swap(m_slots);
        for (const Slot& s : old) {
            if (s.idPlusOne != 0) {
                size_t slot = Home(s.tag);
                while (m_slots[slot].idPlusOne != 0) {
                    slot = Next(slot);
                }
                m_slots[slot] = s;
            }
        }
    }

    // Room for about four names a filter word (Bloom: 16 bits a name),
    // rebuilt at eight.
    void SizeFilters(size_t names) {
        m_filterBits = std::max(8, static_cast<int>(std::bit_width(names / 4)));
        m_lengths.assign(size_t{1} << m_filterBits, 0);
        m_bloom.assign(size_t{1} << m_filterBits, 0);
    }
    size_t FilterSlot(uint32_t first4) const {
        return (first4 * 0x9E3779B1u) >> (32 - m_filterBits);
    }
    size_t BloomSlot(uint64_t hash) const {
        return (hash >> 18) & ((size_t{1} << m_filterBits) - 1);
    }
    static uint64_t BloomBits(uint64_t hash) {
        return (uint64_t{1} << (hash & 63)) | (uint64_t{1} << ((hash >> 6) & 63)) |
               (uint64_t{1} << ((hash >> 12) & 63));
    }
    void NoteInFilters(std::string_view name, uint64_t hash) {
        auto upper = static_cast<uint32_t>(UpperWord(First4(Bytes(name))));
        m_lengths[FilterSlot(upper)] |= uint64_t{1} << ((name.size() - 4) & 63);
        m_bloom[BloomSlot(hash)] |= BloomBits(hash);
    }

    std::vector<Slot> m_slots;
    size_t m_used = 0;
    std::vector<uint64_t> m_lengths;
    std::vector<uint64_t> m_bloom;
    int m_filterBits = 0;
    size_t m_names = 0;  // names entered, short ones included
};

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
    ReplaceFileContents(BackupNameOf(fileName), text);

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

bool DownloadHistory::Save(const std::string& fileName, int* error) {
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
    if (!ReplaceFileContents(fileName, text, error)) {
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
    // blank: so look from the start and from every blank's follower, for
    // each length a name beginning there could have. The newest hit wins;
    // on a tie the earlier look (the start of the subject) keeps its claim.
    const unsigned char* subject = Bytes(upperSubject);
    const size_t size = upperSubject.size();
    const unsigned char* end = subject + size;
    uint32_t best = 0;
    bool bestAtStart = false;
    auto look = [&](size_t from, bool atStart) {
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
                    bestAtStart = atStart;
                }
            }
        }
    };
    look(0, true);
    const auto newest = static_cast<uint32_t>(Size());
    for (size_t i = 0; i < size && best != newest; ++i) {
        if (upperSubject[i] == ' ') {
            look(i + 1, false);
        }
    }
    if (best == 0) {
        return std::nullopt;
    }
    std::string upperName = ToUpperAscii(Name(best - 1));
    return bestAtStart ? upperName : " " + upperName;
}

void LogHistoryHit(std::string_view entry, std::string_view subject, const std::string& fileName) {
    std::string record;
    record.reserve(entry.size() + 4 + subject.size());
    record.append(entry).append(" -- ").append(subject);
    AppendTextLine(fileName, ShowableText(ToLowerAscii(record)));
}

}  // namespace ng
