#pragma once
// The inner loops of both decoders, in a plain version and in versions for
// the vector units of x86 processors, chosen once at run time from what the
// processor offers. The decoders keep every rule about lines, groups and
// padding; a kernel only turns runs of whole four-character groups into
// bytes.

#include <cstddef>

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

struct Kernels {
    Isa isa;
    const char* name;
    UuGroupsFn uuGroups;
    Base64GroupsFn base64Groups;
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

}  // namespace ng::decode
