#pragma once
// The inner loops of the decoders, in a plain version and in versions for
// the vector units of x86 processors, chosen once at run time from what the
// processor offers. The decoders keep every rule about lines, groups and
// padding; a uu or base64 kernel only turns runs of whole four-character
// groups into bytes, a yEnc kernel the text of one line, and the CRC kernel
// checks what yEnc decoded.

#include <cstddef>
#include <cstdint>

namespace ng::decode {

enum class Isa { Scalar, Sse41, Avx2 };

// Vector stores may write this many bytes past the decoded ones: the
// caller's output room must reach that far.
constexpr size_t kSlack = 32;

// Decodes `groups` groups of four uu characters (each character stands for
// (c - 32) mod 64) into 3 * groups bytes. Reads exactly in[0 .. 4 * groups).
// `out` needs room for 3 * groups + kSlack bytes. False when a NUL byte
// stands among the characters; `out` then holds garbage.
using UuGroupsFn = bool (*)(const unsigned char* in, size_t groups, unsigned char* out);

// Decodes the leading whole groups of four base64 alphabet characters in
// in[0 .. n), at most `maxGroups` of them, stopping before the first group
// that holds any other character (padding included). Returns the number of
// groups decoded (4 characters, 3 bytes each). `out` needs room for
// 3 * maxGroups + kSlack bytes.
using Base64GroupsFn = size_t (*)(const unsigned char* in, size_t n, size_t maxGroups,
                                  unsigned char* out);

// The plain base64 kernel, which writes nothing past its groups' bytes and
// so needs no slack.
size_t Base64GroupsPlain(const unsigned char* in, size_t n, size_t maxGroups, unsigned char* out);

// Decodes the yEnc text in[0 .. n) (a line without its line end) into
// `out`, which has room for n bytes and never gets more: each byte stands
// for itself plus 42, one after an "=" for itself plus 106 (mod 256).
// `escaped` says on entry whether an "=" ended the text before, escaping
// this text's first byte, and on return whether one ends this text.
// Returns the number of bytes written.
using YencFn = size_t (*)(const unsigned char* in, size_t n, unsigned char* out, bool& escaped);

// CRC-32 as zip and yEnc compute it, continued from `crc` (0 to start).
using Crc32Fn = uint32_t (*)(uint32_t crc, const unsigned char* data, size_t size);

struct Kernels {
    Isa isa;
    const char* name;
    UuGroupsFn uuGroups;
    Base64GroupsFn base64Groups;
    YencFn yenc;
    Crc32Fn crc32;  // zlib's in the plain set
    const char* crcName;
};

// Whether this processor (and the system) can run the kernels of `isa`.
bool Supported(Isa isa);
// The kernels of `isa`, or the plain ones when the processor lacks it.
const Kernels& KernelsFor(Isa isa);
// The kernels new decoders use: the best the processor supports, unless
// UseIsa chose others. Safe from any thread.
const Kernels& ActiveKernels();
// Makes decoders created from now on use the kernels of `isa` (the plain
// ones when unsupported). For comparing the versions in tests and
// benchmarks.
void UseIsa(Isa isa);
// The same with a set put together by the caller (say, one version's
// decoding with another's CRC), which must outlive every decoder using it.
void UseKernels(const Kernels& kernels);

}  // namespace ng::decode
