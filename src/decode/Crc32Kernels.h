#pragma once
// The CRC-32 kernels behind DecodeKernels: zlib's, the plain one and the
// reference, and one by carry-less multiply for processors with PCLMUL.

#include <cstddef>
#include <cstdint>

namespace ng::decode {

uint32_t Crc32Zlib(uint32_t crc, const unsigned char* data, size_t size);

#if defined(__x86_64__) || defined(__i386__)
// Only where the processor has PCLMUL (and SSE4.1).
uint32_t Crc32Clmul(uint32_t crc, const unsigned char* data, size_t size);
#endif

}  // namespace ng::decode
