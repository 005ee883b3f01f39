#include "decode/Crc32Kernels.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NG_X86 1
#define NG_TARGET_CLMUL __attribute__((target("pclmul")))
#endif

namespace ng::decode {

uint32_t Crc32Zlib(uint32_t crc, const unsigned char* data, size_t size) {
    // zlib takes at most a uInt at a time.
    while (size > 0) {
        const uInt chunk = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = static_cast<uint32_t>(::crc32(crc, data, chunk));
        data += chunk;
        size -= chunk;
    }
    return crc;
}

#ifdef NG_X86

namespace {

// CRC-32 by carry-less multiply: the text is folded 64 bytes at a time
// into four 16-byte blocks, those into one, and zlib finishes that block
// and the last bytes. A fold over d bits multiplies a block's two halves by
// x^(d+32) and x^(d-32) mod P, bit-reflected as the CRC's bits are.
constexpr uint64_t FoldConstant(unsigned power) {
    uint64_t r = 1;
    for (unsigned i = 0; i < power; ++i) {
        r <<= 1;
        if ((r >> 32 & 1) != 0) {
            r ^= 0x104C11DB7u;  // the CRC-32 polynomial
        }
    }
    uint64_t reflected = 0;
    for (unsigned bit = 0; bit < 32; ++bit) {
        reflected |= (r >> bit & 1) << (31 - bit);
    }
    return reflected << 1;
}

constexpr uint64_t kFold512Low = FoldConstant(512 + 32);
constexpr uint64_t kFold512High = FoldConstant(512 - 32);
constexpr uint64_t kFold128Low = FoldConstant(128 + 32);
constexpr uint64_t kFold128High = FoldConstant(128 - 32);

NG_TARGET_CLMUL inline __m128i Fold(__m128i block, __m128i by, __m128i into) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(block, by, 0x00), _mm_clmulepi64_si128(block, by, 0x11)),
        into);
}

}  // namespace

NG_TARGET_CLMUL uint32_t Crc32Clmul(uint32_t crc, const unsigned char* data, size_t size) {
    if (size < 64) {
        return Crc32Zlib(crc, data, size);
    }
    auto load = [](const unsigned char* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    };
    // The register, inverted as zlib keeps it, goes into the first bytes.
    __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = load(data + 16);
    __m128i x2 = load(data + 32);
    __m128i x3 = load(data + 48);
    data += 64;
    size -= 64;
    const __m128i by512 =
        _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
    for (; size >= 64; data += 64, size -= 64) {
        x0 = Fold(x0, by512, load(data));
        x1 = Fold(x1, by512, load(data + 16));
        x2 = Fold(x2, by512, load(data + 32));
        x3 = Fold(x3, by512, load(data + 48));
    }
    const __m128i by128 =
        _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
    __m128i x = Fold(Fold(Fold(x0, by128, x1), by128, x2), by128, x3);
    for (; size >= 16; data += 16, size -= 16) {
        x = Fold(x, by128, load(data));
    }
    // The block stands for all the text so far with the register at zero,
    // which zlib's inverted form spells 0xFFFFFFFF.
    alignas(16) unsigned char block[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
    return Crc32Zlib(Crc32Zlib(0xFFFFFFFFu, block, sizeof block), data, size);
}

#endif  // NG_X86

}  // namespace ng::decode
