#include "decode/DecodeKernels.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "decode/Base64Table.h"
#include "decode/Crc32Kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NG_X86 1
#define NG_TARGET_SSE41 __attribute__((target("sse4.1")))
#define NG_TARGET_AVX2 __attribute__((target("avx2,popcnt")))
#endif

namespace ng::decode {
namespace {

// The plain versions, also the fallback for the short pieces the vector
// versions leave over.

bool UuGroupsScalar(const unsigned char* in, size_t groups, unsigned char* out) {
    if (std::memchr(in, 0, 4 * groups) != nullptr) {
        return false;
    }
    for (size_t g = 0; g < groups; ++g, in += 4, out += 3) {
        unsigned a = (in[0] - 32u) & 63u;
        unsigned b = (in[1] - 32u) & 63u;
        unsigned c = (in[2] - 32u) & 63u;
        unsigned d = (in[3] - 32u) & 63u;
        out[0] = static_cast<unsigned char>(a << 2 | b >> 4);
        out[1] = static_cast<unsigned char>(b << 4 | c >> 2);
        out[2] = static_cast<unsigned char>(c << 6 | d);
    }
    return true;
}

// yEnc, one byte at a time: the plain kernel, and the vector kernels' way
// through "==" and through the last bytes of a line.
inline __attribute__((always_inline)) unsigned char* YencBytes(const unsigned char* in,
                                                               const unsigned char* end,
                                                               unsigned char* out, bool& escaped) {
    for (; in < end; ++in) {
        if (escaped) {
            *out++ = static_cast<unsigned char>(*in - 106);
            escaped = false;
        } else if (*in == '=') {
            escaped = true;
        } else {
            *out++ = static_cast<unsigned char>(*in - 42);
        }
    }
    return out;
}

size_t YencScalar(const unsigned char* in, size_t n, unsigned char* out, bool& escapedBefore) {
    bool escaped = escapedBefore;  // kept in a register: `out` might alias it
    const size_t written = static_cast<size_t>(YencBytes(in, in + n, out, escaped) - out);
    escapedBefore = escaped;
    return written;
}

}  // namespace

size_t Base64GroupsPlain(const unsigned char* in, size_t n, size_t maxGroups, unsigned char* out) {
    size_t g = 0;
    for (; g < maxGroups && n >= 4 * g + 4; ++g) {
        const unsigned char* at = in + 4 * g;
        unsigned a = kBase64Values[at[0]];
        unsigned b = kBase64Values[at[1]];
        unsigned c = kBase64Values[at[2]];
        unsigned d = kBase64Values[at[3]];
        if ((a | b | c | d) & (kBase64Pad | kBase64Skip)) {
            break;
        }
        out[3 * g] = static_cast<unsigned char>(a << 2 | b >> 4);
        out[3 * g + 1] = static_cast<unsigned char>(b << 4 | c >> 2);
        out[3 * g + 2] = static_cast<unsigned char>(c << 6 | d);
    }
    return g;
}

namespace {

#ifdef NG_X86

// Four six-bit values a, b, c, d in each 32-bit lane become the three bytes
// a<<18 | b<<12 | c<<6 | d, most significant first: first a*64+b and c*64+d
// in 16 bits, then both in 24 bits, then the bytes picked out in order,
// twelve from every 16 bytes.
NG_TARGET_SSE41 inline __m128i PackGroups(__m128i values) {
    __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    __m128i words = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    return _mm_shuffle_epi8(words,
                            _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
}

NG_TARGET_AVX2 inline __m256i PackGroups(__m256i values) {
    __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    __m256i bytes = _mm256_shuffle_epi8(
        words, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    // Twelve bytes in each half: close the gap between them.
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

// uu: the groups in blocks of 4 (16 characters); the last block may
// overlap the one before, which only writes the same bytes again.
NG_TARGET_SSE41 bool UuGroupsSse41(const unsigned char* in, size_t groups, unsigned char* out) {
    if (groups < 4) {
        return UuGroupsScalar(in, groups, out);
    }
    const __m128i zero = _mm_setzero_si128();
    __m128i nul = zero;
    for (size_t g = 0;; g += 4) {
        size_t at = std::min(g, groups - 4);
        __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * at));
        nul = _mm_or_si128(nul, _mm_cmpeq_epi8(text, zero));
        __m128i values = _mm_and_si128(_mm_sub_epi8(text, _mm_set1_epi8(32)), _mm_set1_epi8(63));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * at), PackGroups(values));
        if (at + 4 == groups) {
            break;
        }
    }
    return _mm_testz_si128(nul, nul) != 0;
}

// One block of 8 groups (32 characters) at group `at`; NUL bytes are
// gathered into `nul`.
NG_TARGET_AVX2 inline void UuBlockAvx2(const unsigned char* in, size_t at, unsigned char* out,
                                       __m256i& nul) {
    __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * at));
    nul = _mm256_or_si256(nul, _mm256_cmpeq_epi8(text, _mm256_setzero_si256()));
    __m256i values =
        _mm256_and_si256(_mm256_sub_epi8(text, _mm256_set1_epi8(32)), _mm256_set1_epi8(63));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * at), PackGroups(values));
}

// A line carries at most 21 groups (63 bytes): two or three blocks, the
// last one ending at the last group, with no loop to predict.
NG_TARGET_AVX2 bool UuGroupsAvx2(const unsigned char* in, size_t groups, unsigned char* out) {
    if (groups < 8) {
        return UuGroupsSse41(in, groups, out);
    }
    __m256i nul = _mm256_setzero_si256();
    UuBlockAvx2(in, 0, out, nul);
    for (size_t at = 8; at + 8 < groups; at += 8) {
        UuBlockAvx2(in, at, out, nul);
    }
    UuBlockAvx2(in, groups - 8, out, nul);
    return _mm256_testz_si256(nul, nul) != 0;
}

// base64: each byte is classed by its high nibble (one bit per class) and
// its low nibble (the classes in which that low nibble is an alphabet
// character); a byte is in the alphabet when the two share a bit. Classes:
// 0x01 "+" and "/", 0x02 digits, 0x04 "A"-"O" and "a"-"o", 0x08 "P"-"Z" and
// "p"-"z". Bytes from 0x80 have no class. The value is the byte plus an
// offset chosen by the high nibble, with "/" set apart from "+".
#define NG_BASE64_CLASS_BY_HIGH 0, 0, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0, 0, 0, 0, 0, 0, 0, 0
#define NG_BASE64_CLASS_BY_LOW \
    0x0A, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0C, 0x05, 0x04, 0x04, 0x04, 0x05
#define NG_BASE64_OFFSET_BY_HIGH 0, 0, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0

// The values of 16 characters; the result has a bit set for each character
// outside the alphabet.
NG_TARGET_SSE41 inline unsigned Base64Values(__m128i text, __m128i& values) {
    const __m128i nibble = _mm_set1_epi8(0x0F);
    __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
    __m128i low = _mm_and_si128(text, nibble);
    __m128i classes = _mm_and_si128(_mm_shuffle_epi8(_mm_setr_epi8(NG_BASE64_CLASS_BY_HIGH), high),
                                    _mm_shuffle_epi8(_mm_setr_epi8(NG_BASE64_CLASS_BY_LOW), low));
    __m128i bad = _mm_cmpeq_epi8(classes, _mm_setzero_si128());
    __m128i offset = _mm_shuffle_epi8(_mm_setr_epi8(NG_BASE64_OFFSET_BY_HIGH), high);
    __m128i slash = _mm_and_si128(_mm_cmpeq_epi8(text, _mm_set1_epi8('/')), _mm_set1_epi8(-3));
    values = _mm_add_epi8(text, _mm_add_epi8(offset, slash));
    return static_cast<unsigned>(_mm_movemask_epi8(bad));
}

NG_TARGET_AVX2 inline unsigned Base64Values(__m256i text, __m256i& values) {
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i high = _mm256_and_si256(_mm256_srli_epi32(text, 4), nibble);
    __m256i low = _mm256_and_si256(text, nibble);
    __m256i classes = _mm256_and_si256(
        _mm256_shuffle_epi8(_mm256_setr_epi8(NG_BASE64_CLASS_BY_HIGH, NG_BASE64_CLASS_BY_HIGH),
                            high),
        _mm256_shuffle_epi8(_mm256_setr_epi8(NG_BASE64_CLASS_BY_LOW, NG_BASE64_CLASS_BY_LOW), low));
    __m256i bad = _mm256_cmpeq_epi8(classes, _mm256_setzero_si256());
    __m256i offset = _mm256_shuffle_epi8(
        _mm256_setr_epi8(NG_BASE64_OFFSET_BY_HIGH, NG_BASE64_OFFSET_BY_HIGH), high);
    __m256i slash =
        _mm256_and_si256(_mm256_cmpeq_epi8(text, _mm256_set1_epi8('/')), _mm256_set1_epi8(-3));
    values = _mm256_add_epi8(text, _mm256_add_epi8(offset, slash));
    return static_cast<unsigned>(_mm256_movemask_epi8(bad));
}

// Whole groups among the first `blockGroups` of a block whose characters
// outside the alphabet are the set bits of `bad`.
inline size_t GoodGroups(unsigned bad, size_t blockGroups) {
    return bad == 0 ? blockGroups : static_cast<size_t>(__builtin_ctz(bad)) / 4;
}

// Indexes for a byte shuffle that moves the last `left` of 16 bytes to the
// front and zeroes the rest: the 16 bytes from kShiftOut + 16 - left.
alignas(32) constexpr signed char kShiftOut[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                   11, 12, 13, 14, 15, -1, -1, -1, -1, -1, -1,
                                                   -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

// Blocks of 16 characters from group `g` on. The last piece, shorter than
// 16, is read as the last 16 bytes of the text shifted down, or copied when
// the text is that short; either way it is padded with NUL, which is no
// alphabet character. Returns the groups decoded in all.
NG_TARGET_SSE41 inline size_t Base64BlocksSse41(const unsigned char* in, size_t n, size_t maxGroups,
                                                unsigned char* out, size_t g) {
    // Whole blocks first, where the next block's place does not wait for
    // this block's check.
    while (g + 4 <= maxGroups && n - 4 * g >= 16) {
        __m128i values;
        const unsigned bad =
            Base64Values(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * g)), values);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * g), PackGroups(values));
        if (bad != 0) {
            return g + GoodGroups(bad, 4);
        }
        g += 4;
    }
    while (g < maxGroups) {
        size_t left = n - 4 * g;
        __m128i text;
        if (left >= 16) {
            text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * g));
        } else if (left >= 4 && n >= 16) {
            text = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + n - 16)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShiftOut + 16 - left)));
        } else if (left >= 4) {
            alignas(16) unsigned char piece[16] = {};
            std::memcpy(piece, in + 4 * g, left);
            text = _mm_load_si128(reinterpret_cast<const __m128i*>(piece));
        } else {
            break;
        }
        __m128i values;
        size_t good = std::min(GoodGroups(Base64Values(text, values), 4), maxGroups - g);
        if (good == 0) {
            break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * g), PackGroups(values));
        g += good;
        if (good < 4) {
            break;
        }
    }
    return g;
}

NG_TARGET_SSE41 size_t Base64GroupsSse41(const unsigned char* in, size_t n, size_t maxGroups,
                                         unsigned char* out) {
    return Base64BlocksSse41(in, n, maxGroups, out, 0);
}

// Masks for a load of the first `d` 32-bit lanes: the 32 bytes from
// kFirstLanes + 8 - d.
constexpr int32_t kFirstLanes[16] = {-1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0};

// Blocks of 32 characters. The last piece, shorter than 32, is read as the
// block that ends with its last whole group, overlapping groups already
// found good (only their bytes are written again); when nothing comes
// before it, by a masked load of its whole groups, which leaves NUL (no
// alphabet character) in the rest of the block and never touches memory
// past the text.
NG_TARGET_AVX2 size_t Base64GroupsAvx2(const unsigned char* in, size_t n, size_t maxGroups,
                                       unsigned char* out) {
    size_t g = 0;
    __m256i values;
    // The next block's place never waits for this block's check: a block
    // with a character outside the alphabet leaves the loop instead.
    while (g + 8 <= maxGroups && n - 4 * g >= 32) {
        __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * g));
        const unsigned bad = Base64Values(text, values);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * g), PackGroups(values));
        if (bad != 0) {
            return g + GoodGroups(bad, 8);
        }
        g += 8;
    }
    const size_t last = (n - 4 * g) / 4;  // whole groups left
    if (g >= maxGroups || last == 0) {
        return g;
    }
    size_t at = g;
    __m256i text;
    if (last >= 8) {
        // Fewer than eight groups allowed, more in the text.
        text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * g));
    } else if (g >= 8) {
        at = g + last - 8;
        text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * at));
    } else {
        __m256i lanes =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kFirstLanes + 8 - last));
        text = _mm256_maskload_epi32(reinterpret_cast<const int*>(in + 4 * g), lanes);
    }
    size_t fresh = GoodGroups(Base64Values(text, values), 8) - (g - at);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 3 * at), PackGroups(values));
    return g + std::min(fresh, maxGroups - g);
}

// yEnc: the vector kernels drop each escaping "=" from a block of text with
// one byte shuffle per eight bytes, so that a line's two or so escapes cost
// no branch. Per eight bytes, for each set of "=" places: where the kept
// bytes come from (0x80 zeroes the rest), the same for the upper eight of
// sixteen bytes, and how many bytes are kept.
struct YencTables {
    uint64_t low[256];
    uint64_t high[256];
    uint8_t kept[256];
};

constexpr YencTables MakeYencTables() {
    YencTables t{};
    for (unsigned drop = 0; drop < 256; ++drop) {
        uint64_t from = 0;
        unsigned kept = 0;
        for (unsigned i = 0; i < 8; ++i) {
            if ((drop >> i & 1) == 0) {
                from |= uint64_t{i} << (8 * kept++);
            }
        }
        t.kept[drop] = static_cast<uint8_t>(kept);
        for (unsigned i = kept; i < 8; ++i) {
            from |= uint64_t{0x80} << (8 * i);
        }
        t.low[drop] = from;
        t.high[drop] = from + 0x0808080808080808u;
    }
    return t;
}

alignas(64) constexpr YencTables kYenc = MakeYencTables();

// Blocks of 16. A block where an "=" is itself escaped ("==", or an "="
// first after an escape) goes byte by byte; elsewhere every "=" escapes the
// byte after it, which may begin the next block.
NG_TARGET_SSE41 size_t YencSse41(const unsigned char* in, size_t n, unsigned char* out,
                                 bool& escapedBefore) {
    const unsigned char* const end = in + n;
    unsigned char* const start = out;
    bool escaped = escapedBefore;
    const __m128i equals = _mm_set1_epi8('=');
    while (end - in >= 16) {
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i eq = _mm_cmpeq_epi8(text, equals);
        const unsigned drop = static_cast<unsigned>(_mm_movemask_epi8(eq));
        if ((drop | static_cast<unsigned>(escaped)) == 0) {
            // No "=" in or just before the block: every byte stands for itself.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                             _mm_sub_epi8(text, _mm_set1_epi8(42)));
            in += 16;
            out += 16;
            continue;
        }
        if ((drop & (drop << 1 | escaped)) != 0) {
            out = YencBytes(in, in + 16, out, escaped);
            in += 16;
            continue;
        }
        const __m128i after =
            _mm_or_si128(_mm_slli_si128(eq, 1), _mm_cvtsi32_si128(-escaped & 0xFF));
        const __m128i bytes = _mm_sub_epi8(_mm_sub_epi8(text, _mm_set1_epi8(42)),
                                           _mm_and_si128(after, _mm_set1_epi8(64)));
        escaped = drop >> 15 != 0;
        in += 16;
        if (drop == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
            out += 16;
            continue;
        }
        // The output never runs ahead of the input, so both stores stay
        // inside the room of n bytes; the second overwrites the first's tail.
        const __m128i kept =
            _mm_shuffle_epi8(bytes, _mm_set_epi64x(static_cast<long long>(kYenc.high[drop >> 8]),
                                                   static_cast<long long>(kYenc.low[drop & 0xFF])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), kept);
        out += kYenc.kept[drop & 0xFF];
        _mm_storeh_pi(reinterpret_cast<__m64*>(out), _mm_castsi128_ps(kept));
        out += kYenc.kept[drop >> 8];
    }
    out = YencBytes(in, end, out, escaped);
    escapedBefore = escaped;
    return static_cast<size_t>(out - start);
}

// Blocks of 32, as above; a block without "=" (about three in five) is
// stored as it is.
NG_TARGET_AVX2 size_t YencAvx2(const unsigned char* in, size_t n, unsigned char* out,
                               bool& escapedBefore) {
    const unsigned char* const end = in + n;
    unsigned char* const start = out;
    bool escaped = escapedBefore;
    const __m256i equals = _mm256_set1_epi8('=');
    // The "=" places of the block before, as far as its last byte goes.
    __m256i before = _mm256_set1_epi8(static_cast<char>(-escaped));
    while (end - in >= 32) {
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i eq = _mm256_cmpeq_epi8(text, equals);
        const auto drop = static_cast<uint32_t>(_mm256_movemask_epi8(eq));
        if ((drop | static_cast<uint32_t>(escaped)) == 0) {
            // No "=" in or just before the block: every byte stands for itself.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                                _mm256_sub_epi8(text, _mm256_set1_epi8(42)));
            before = eq;
            in += 32;
            out += 32;
            continue;
        }
        if ((drop & (drop << 1 | escaped)) != 0) {
            out = YencBytes(in, in + 32, out, escaped);
            in += 32;
            before = _mm256_set1_epi8(static_cast<char>(-escaped));
            continue;
        }
        // Each byte's left neighbour's mark, across the two halves.
        const __m256i after =
            _mm256_alignr_epi8(eq, _mm256_permute2x128_si256(before, eq, 0x21), 15);
        const __m256i bytes = _mm256_sub_epi8(_mm256_sub_epi8(text, _mm256_set1_epi8(42)),
                                              _mm256_and_si256(after, _mm256_set1_epi8(64)));
        before = eq;
        escaped = drop >> 31 != 0;
        in += 32;
        if (drop == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
            out += 32;
            continue;
        }
        const __m256i kept = _mm256_shuffle_epi8(
            bytes, _mm256_setr_epi64x(static_cast<long long>(kYenc.low[drop & 0xFF]),
                                      static_cast<long long>(kYenc.high[drop >> 8 & 0xFF]),
                                      static_cast<long long>(kYenc.low[drop >> 16 & 0xFF]),
                                      static_cast<long long>(kYenc.high[drop >> 24])));
        // Four pieces of eight, each placed after the bytes kept before it
        // (counted apart, so no store waits for the one before).
        const __m128i low = _mm256_castsi256_si128(kept);
        const __m128i high = _mm256_extracti128_si256(kept, 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out + 8 - _mm_popcnt_u32(drop & 0xFF)),
                      _mm_castsi128_ps(low));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 - _mm_popcnt_u32(drop & 0xFFFF)),
                         high);
        _mm_storeh_pi(reinterpret_cast<__m64*>(out + 24 - _mm_popcnt_u32(drop & 0xFFFFFF)),
                      _mm_castsi128_ps(high));
        out += 32 - _mm_popcnt_u32(drop);
    }
    out = YencBytes(in, end, out, escaped);
    escapedBefore = escaped;
    return static_cast<size_t>(out - start);
}

#endif  // NG_X86

constexpr Kernels kScalar{Isa::Scalar, "scalar",  UuGroupsScalar, Base64GroupsPlain,
                          YencScalar,  Crc32Zlib, "zlib"};
#ifdef NG_X86
constexpr Kernels kSse41{Isa::Sse41, "sse4.1",   UuGroupsSse41, Base64GroupsSse41,
                         YencSse41,  Crc32Clmul, "pclmul"};
constexpr Kernels kAvx2{Isa::Avx2, "avx2",     UuGroupsAvx2, Base64GroupsAvx2,
                        YencAvx2,  Crc32Clmul, "pclmul"};
// For processors with the vector units but without carry-less multiply
// (SSE4.1 came two years before it; a virtual machine may hide it).
constexpr Kernels WithZlibCrc(Kernels kernels) {
    kernels.crc32 = Crc32Zlib;
    kernels.crcName = "zlib";
    return kernels;
}
constexpr Kernels kSse41Zlib = WithZlibCrc(kSse41);
constexpr Kernels kAvx2Zlib = WithZlibCrc(kAvx2);

bool HasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul");
}
#endif

const Kernels& Best() {
    return Supported(Isa::Avx2) ? KernelsFor(Isa::Avx2) : KernelsFor(Isa::Sse41);
}

std::atomic<const Kernels*>& Active() {
    static std::atomic<const Kernels*> active{&Best()};
    return active;
}

}  // namespace

bool Supported(Isa isa) {
#ifdef NG_X86
    __builtin_cpu_init();
    switch (isa) {
        case Isa::Scalar:
            return true;
        case Isa::Sse41:
            return __builtin_cpu_supports("sse4.1");
        case Isa::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }
    return false;
#else
    return isa == Isa::Scalar;
#endif
}

const Kernels& KernelsFor(Isa isa) {
#ifdef NG_X86
    if (isa == Isa::Avx2 && Supported(Isa::Avx2)) {
        return HasClmul() ? kAvx2 : kAvx2Zlib;
    }
    if (isa == Isa::Sse41 && Supported(Isa::Sse41)) {
        return HasClmul() ? kSse41 : kSse41Zlib;
    }
#endif
    (void)isa;
    return kScalar;
}

const Kernels& ActiveKernels() {
    return *Active().load(std::memory_order_acquire);
}

void UseIsa(Isa isa) {
    UseKernels(KernelsFor(isa));
}

void UseKernels(const Kernels& kernels) {
    Active().store(&kernels, std::memory_order_release);
}

}  // namespace ng::decode
