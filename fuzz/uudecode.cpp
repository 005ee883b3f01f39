// The uudecoder fed arbitrary lines, as the article retrieval feeds them,
// writing into a folder of a scratch tree, on every kernel version, each
// giving what the plain kernels give. The begin line's name comes from
// the server: whatever it is, the only file that may appear is the name's
// last component inside that folder, and its bytes are those a plain
// decoder of the same lines gives.

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "decode/DecodeKernels.h"
#include "decode/UUDecoder.h"
#include "platform/FileNames.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

unsigned SixBits(unsigned char c) {
    return (c - 32u) & 63u;
}

// What the decoder should leave behind: the file's name and bytes (when a
// begin line named a file it could create) and whether the error flag is up.
struct Expected {
    std::optional<std::string> leaf;
    std::string bytes;
    bool fileError = false;
    int errorCode = 0;
};

Expected PlainDecode(const std::vector<std::string_view>& lines, size_t directoryLength) {
    Expected result;
    int state = 0;
    for (std::string_view line : lines) {
        if (state == 0) {
            std::string_view text = line.substr(0, std::min(line.find('\0'), line.size()));
            if (text.substr(0, 5) != "begin") {
                continue;
            }
            size_t i = 5;
            while (i < text.size() && IsBlank(text[i])) {
                ++i;
            }
            if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
                ++i;
            }
            size_t digits = i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '7') {
                ++i;
            }
            if (i == digits) {
                continue;
            }
            while (i < text.size() && IsBlank(text[i])) {
                ++i;
            }
            size_t nameStart = i;
            while (i < text.size() && !IsBlank(text[i])) {
                ++i;
            }
            if (i == nameStart) {
                continue;
            }
            std::string_view name = text.substr(nameStart, i - nameStart);
            std::string_view leaf =
                name.substr(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
            if (name.size() > CUUDecoder::kMaxNameLength || leaf.size() > ng::kMaxLeafName ||
                directoryLength + leaf.size() > CUUDecoder::kMaxPathLength) {
                result.fileError = true;
                result.errorCode = ENAMETOOLONG;
                state = 3;
            } else if (leaf.empty() || leaf.front() == '.') {  // hidden, ".", ".."
                result.fileError = true;
                result.errorCode = EINVAL;
                state = 3;
            } else {
                result.leaf = std::string(leaf);
                state = 1;
            }
        } else if (state == 1) {
            const auto* text = reinterpret_cast<const unsigned char*>(line.data());
            size_t count = SixBits(line.empty() ? 0 : text[0]);
            if (count == 0) {
                state = 2;
                continue;
            }
            // The line end is no data: a line that needs it to reach its
            // length is too short.
            size_t chars = line.size();
            while (chars > 1 && (line[chars - 1] == '\n' || line[chars - 1] == '\r')) {
                --chars;
            }
            size_t groups = (count + 2) / 3;
            if (chars < 1 + 4 * groups ||
                line.substr(0, 1 + 4 * groups).find('\0') != std::string_view::npos) {
                state = 3;
                continue;
            }
            std::string decoded;
            for (size_t g = 0; g < groups; ++g) {
                unsigned a = SixBits(text[1 + 4 * g]), b = SixBits(text[2 + 4 * g]);
                unsigned c = SixBits(text[3 + 4 * g]), d = SixBits(text[4 + 4 * g]);
                decoded += static_cast<char>(a << 2 | b >> 4);
                decoded += static_cast<char>(b << 4 | c >> 2);
                decoded += static_cast<char>(c << 6 | d);
            }
            result.bytes += decoded.substr(0, count);
        } else if (state == 2) {
            state = 3;
        }
    }
    return result;
}

// What one decoder run left behind.
struct Outcome {
    int fileError = 0;
    int errorCode = 0;
    std::set<std::string> tree;
    std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchDir scratch;
    const std::string outDir = scratch.File("out");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = fuzzsupport::LinesWithEnds(text);
    const Expected expected = PlainDecode(lines, outDir.size() + 1);

    // Every kernel version in turn (one the processor lacks falls back to
    // the plain one), each against the plain decoder and the plain kernels.
    Outcome plainKernels;
    for (ng::decode::Isa isa :
         {ng::decode::Isa::Scalar, ng::decode::Isa::Sse41, ng::decode::Isa::Avx2}) {
        ng::decode::UseIsa(isa);
        fuzzsupport::RemoveContents(scratch.Path());
        FUZZ_CHECK(::mkdir(outDir.c_str(), 0700) == 0);
        Outcome outcome;
        {
            CUUDecoder decoder(outDir + "/");
            for (std::string_view line : lines) {
                int result = decoder.DecodeLine(line);
                FUZZ_CHECK(result == CUUDecoder::LineTaken || result == CUUDecoder::Failed ||
                           result == CUUDecoder::Done);
                FUZZ_CHECK((decoder.m_bFileError != 0) == (decoder.m_nFileErrno != 0));
            }
            outcome.fileError = decoder.m_bFileError;
            outcome.errorCode = decoder.m_nFileErrno;
        }
        outcome.tree = fuzzsupport::ListTree(scratch.Path());
        if (expected.leaf) {
            outcome.bytes = fuzzsupport::ReadAll(outDir + "/" + *expected.leaf);
        }

        FUZZ_CHECK((outcome.fileError != 0) == expected.fileError);
        FUZZ_CHECK(outcome.errorCode == expected.errorCode);
        std::set<std::string> tree = {"out/"};
        if (expected.leaf) {
            tree.insert("out/" + *expected.leaf);
        }
        FUZZ_CHECK(outcome.tree == tree);
        if (expected.leaf) {
            FUZZ_CHECK(outcome.bytes == expected.bytes);
        }
        if (isa == ng::decode::Isa::Scalar) {
            plainKernels = outcome;
        }
        FUZZ_CHECK(outcome.bytes == plainKernels.bytes && outcome.tree == plainKernels.tree &&
                   outcome.errorCode == plainKernels.errorCode);
    }
    return 0;
}
