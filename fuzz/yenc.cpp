// The yEnc format fed arbitrary article lines, as the article retrieval
// feeds them, decoded as a whole file and as a piece into a scratch file,
// on every kernel version. Whatever it is given: no crash, no file but the
// one output, every version's verdict and bytes those of the plain
// kernels, and whenever decoding reports success the bytes written match
// what a plain reference decoder makes of the same lines. Each version's
// yEnc kernel and CRC also take the raw input, in exact-size blocks, and
// must give what the plain kernel and zlib give.

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/DecodeKernels.h"
#include "decode/Yenc.h"

namespace {

// The data of the first "=ybegin" block: every byte minus 42, an "=" and
// the byte after it minus 106, line ends dropped, to "=yend".
std::string PlainDecode(const ng::ArticleLines& lines) {
    std::string out;
    bool inData = false;
    bool escape = false;
    for (size_t i = 0; i < lines.Size(); ++i) {
        std::string_view line = lines[i];
        if (!inData) {
            inData = ng::ParseYbegin(line).has_value();
            if (inData && i + 1 < lines.Size() && ng::ParseYpart(lines[i + 1])) {
                ++i;
            }
            continue;
        }
        if (ng::ParseYend(line)) {
            break;
        }
        // A line's end is LF, or CR LF; never data.
        if (line.ends_with('\n')) {
            line.remove_suffix(1);
        }
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        for (char c : line) {
            if (escape) {
                out += static_cast<char>(c - 106);
                escape = false;
            } else if (c == '=') {
                escape = true;
            } else {
                out += static_cast<char>(c - 42);
            }
        }
    }
    return out;
}

constexpr ng::decode::Isa kIsas[] = {ng::decode::Isa::Scalar, ng::decode::Isa::Sse41,
                                     ng::decode::Isa::Avx2};

// One version's kernels on the raw input against the plain ones: the yEnc
// kernel on the whole input as one line, with and without an escape
// carried in, and the CRC continued from a value the input gives.
void CheckKernels(const ng::decode::Kernels& kernels, const uint8_t* data, size_t size) {
    const ng::decode::Kernels& plain = ng::decode::KernelsFor(ng::decode::Isa::Scalar);
    const std::vector<unsigned char> in(data, data + size);  // exact size, as ASan watches
    for (bool escaped : {false, true}) {
        std::vector<unsigned char> want(size), got(size);
        bool wantEscaped = escaped, gotEscaped = escaped;
        const size_t wanted = plain.yenc(in.data(), size, want.data(), wantEscaped);
        FUZZ_CHECK(kernels.yenc(in.data(), size, got.data(), gotEscaped) == wanted);
        FUZZ_CHECK(std::equal(want.begin(), want.begin() + static_cast<long>(wanted), got.begin()));
        FUZZ_CHECK(gotEscaped == wantEscaped);
    }
    uint32_t from = 0;
    for (size_t i = 0; i < 4 && i < size; ++i) {
        from = from << 8 | data[i];
    }
    FUZZ_CHECK(kernels.crc32(from, in.data(), size) == plain.crc32(from, in.data(), size));
}

struct Outcome {
    ng::DecodeStatus status;
    std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchDir scratch;
    const std::string path = scratch.File("out.jpg");
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    ng::ArticleLines lines;
    for (std::string_view line : fuzzsupport::LinesWithEnds(text)) {
        lines.Add(line);
    }
    const std::string plain = PlainDecode(lines);
    Outcome plainKernels[2];  // as a whole file and as a piece
    for (ng::decode::Isa isa : kIsas) {
        CheckKernels(ng::decode::KernelsFor(isa), data, size);
        ng::decode::UseIsa(isa);  // one the processor lacks falls back to the plain one
        auto format = ng::MakeYencFormat();
        for (size_t i = 0; i < lines.Size(); ++i) {
            format->Notice(lines[i]);
        }
        for (bool asPiece : {false, true}) {
            int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0600);
            FUZZ_CHECK(fd >= 0);
            ng::Piece piece;
            Outcome outcome;
            outcome.status = asPiece ? format->DecodePiece(lines, {fd, -1, nullptr}, piece)
                                     : format->Decode(lines, {fd, -1, nullptr});
            ::close(fd);
            outcome.bytes = fuzzsupport::ReadAll(path);
            FUZZ_CHECK(outcome.status.error == 0);
            if (outcome.status.Ok()) {
                FUZZ_CHECK(outcome.bytes == plain);
                FUZZ_CHECK(format->Found());
            }
            Outcome& reference = plainKernels[asPiece];
            if (isa == ng::decode::Isa::Scalar) {
                reference = outcome;
            } else {
                FUZZ_CHECK(outcome.status.damage == reference.status.damage);
                FUZZ_CHECK(outcome.bytes == reference.bytes);
            }
        }
    }
    FUZZ_CHECK(fuzzsupport::ListTree(scratch.Path()) == std::set<std::string>{"out.jpg"});
    return 0;
}
