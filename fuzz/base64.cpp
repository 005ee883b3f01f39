// The base64 decoder fed arbitrary lines, as the article retrieval feeds
// them, into a file in a scratch folder, on every kernel version. Each
// call's result and the file's bytes are compared with a plain
// character-by-character decoder and with the plain kernels' file; nothing
// but the one output file appears.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "decode/Base64Decoder.h"
#include "decode/DecodeKernels.h"

namespace {

int Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return c == '=' ? -1 : -2;
}

// Groups of four collected across calls; padding in third or fourth place
// ends the group and the rest of the call.
class PlainDecoder {
public:
    std::string Decode(std::string_view text) {
        std::string out;
        for (char ch : text) {
            int v = Value(static_cast<unsigned char>(ch));
            if (v == -2) {
                continue;
            }
            m_chars[m_count++] = ch;
            if (m_count < 4) {
                continue;
            }
            m_count = 0;
            int a = Value(m_chars[0]), b = Value(m_chars[1]);
            int c = Value(m_chars[2]), d = Value(m_chars[3]);
            out += static_cast<char>(a * 4 + b / 16);
            if (m_chars[2] == '=') {
                break;
            }
            out += static_cast<char>(c / 4 + b * 16);
            if (m_chars[3] == '=') {
                break;
            }
            out += static_cast<char>(c * 64 + d);
        }
        return out;
    }

private:
    unsigned char m_chars[4] = {};
    int m_count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchDir scratch;
    const std::string path = scratch.File("out.jpg");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string_view> lines = fuzzsupport::LinesWithEnds(text);

    // Every kernel version in turn (one the processor lacks falls back to
    // the plain one), each call by call against the plain decoder and the
    // file against the plain kernels' file.
    std::string plainKernels;
    for (ng::decode::Isa isa :
         {ng::decode::Isa::Scalar, ng::decode::Isa::Sse41, ng::decode::Isa::Avx2}) {
        ng::decode::UseIsa(isa);
        std::string expected;
        {
            CBase64Decoder decoder;
            FUZZ_CHECK(decoder.Open(path) == 0);
            PlainDecoder plain;
            for (std::string_view line : lines) {
                std::string bytes = plain.Decode(line);
                int written = decoder.DecodeAndWrite(line.data(), static_cast<int>(line.size()));
                FUZZ_CHECK(written == static_cast<int>(bytes.size()));
                expected += bytes;
            }
            FUZZ_CHECK(decoder.Close() == 0);
        }
        const std::string file = fuzzsupport::ReadAll(path);
        FUZZ_CHECK(file == expected);
        if (isa == ng::decode::Isa::Scalar) {
            plainKernels = file;
        }
        FUZZ_CHECK(file == plainKernels);
    }
    FUZZ_CHECK(fuzzsupport::ListTree(scratch.Path()) == std::set<std::string>{"out.jpg"});
    return 0;
}
