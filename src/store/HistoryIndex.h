#pragma once
// The download history's private parts: the hashing of names and pieces of
// subjects, and the index the history test runs against. Only
// DownloadHistory.cpp includes this.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/AsciiCase.h"
#include "store/DownloadHistory.h"

namespace ng {
namespace history_detail {

// Names of this length or shorter are never tested and not saved: they
// would match far too many subjects.
inline constexpr size_t kShortName = 3;

// Hashing eight bytes at a time. The history test hashes a piece of the
// subject as it is and a name upper-cased; both give the same value for
// the same bytes.

constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;

inline uint64_t Load8(const unsigned char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

// The first n (0..7) bytes at p, the others zero; never reads at or past `end`.
inline uint64_t LoadPart(const unsigned char* p, size_t n, const unsigned char* end) {
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
inline uint64_t UpperWord(uint64_t word) {
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

inline const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// The hash by which Save and Load tell names apart (letter case counts).
inline uint64_t HashOf(std::string_view name) {
    return PrefixHash<false>(Bytes(name), Bytes(name) + name.size()).At(name.size());
}

// Of an upper-cased name, for the history test.
inline uint64_t UpperHashOf(std::string_view name) {
    return PrefixHash<true>(Bytes(name), Bytes(name) + name.size()).At(name.size());
}

inline uint32_t First4(const unsigned char* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

}  // namespace history_detail

using namespace history_detail;

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

}  // namespace ng
