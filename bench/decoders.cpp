// Decoding speed of both attachment decoders on a 10 MiB random attachment,
// fed line by line as a server sends it (lines ending in CR LF, prepared in
// memory), each pass writing its file into a temporary folder.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"

namespace {

constexpr size_t kAttachmentSize = 10u << 20;

const std::string& Attachment() {
    static const std::string data = [] {
        std::mt19937_64 random(42);
        std::string bytes(kAttachmentSize, '\0');
        for (auto& byte : bytes) {
            byte = static_cast<char>(random());
        }
        return bytes;
    }();
    return data;
}

// The output folder under $TMPDIR (or /tmp), removed at exit.
class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/ngbench-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

const TempFolder& Folder() {
    static TempFolder folder;
    return folder;
}

// uuencode's layout: 45 bytes a line, "`" for zero, a "`" line, then "end".
std::vector<std::string> UuLines(const std::string& data) {
    auto put = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
    std::vector<std::string> lines{"begin 644 bench.jpg\r\n"};
    for (size_t at = 0; at < data.size(); at += 45) {
        size_t n = std::min<size_t>(45, data.size() - at);
        std::string line(1, put(static_cast<unsigned>(n)));
        for (size_t i = 0; i < n; i += 3) {
            unsigned char b[3] = {};
            for (size_t k = 0; k < 3 && i + k < n; ++k) {
                b[k] = static_cast<unsigned char>(data[at + i + k]);
            }
            line += put(b[0] >> 2);
            line += put((b[0] << 4 | b[1] >> 4) & 63);
            line += put((b[1] << 2 | b[2] >> 6) & 63);
            line += put(b[2] & 63);
        }
        lines.push_back(line + "\r\n");
    }
    lines.push_back("`\r\n");
    lines.push_back("end\r\n");
    return lines;
}

// `base64 -w 76` layout.
std::vector<std::string> Base64Lines(const std::string& data) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < data.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(data[i]) << 16;
        if (i + 1 < data.size())
            v |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (i + 2 < data.size())
            v |= static_cast<unsigned char>(data[i + 2]);
        text += alphabet[v >> 18];
        text += alphabet[v >> 12 & 63];
        text += i + 1 < data.size() ? alphabet[v >> 6 & 63] : '=';
        text += i + 2 < data.size() ? alphabet[v & 63] : '=';
    }
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size(); at += 76) {
        lines.push_back(text.substr(at, 76) + "\r\n");
    }
    return lines;
}

bool SameAsAttachment(const std::string& path) {
    std::error_code ec;
    return std::filesystem::file_size(path, ec) == kAttachmentSize;
}

void BM_UUDecoder(benchmark::State& state) {
    static const std::vector<std::string> lines = UuLines(Attachment());
    for (auto _ : state) {
        CUUDecoder uu(Folder().Path());
        for (const auto& line : lines) {
            uu.DecodeLine(line);
        }
        if (uu.m_nDecodeState != CUUDecoder::Finished || uu.m_bFileError) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    if (!SameAsAttachment(Folder().Path() + "bench.jpg")) {
        state.SkipWithError("wrong output size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAttachmentSize));
}

void BM_Base64Decoder(benchmark::State& state) {
    static const std::vector<std::string> lines = Base64Lines(Attachment());
    const std::string path = Folder().Path() + "bench64.jpg";
    for (auto _ : state) {
        CBase64Decoder b64;
        if (b64.Open(path) != 0) {
            state.SkipWithError("cannot create the output file");
            return;
        }
        for (const auto& line : lines) {
            b64.DecodeAndWrite(line.data(), static_cast<int>(line.size()));
        }
        if (b64.Close() != 0) {
            state.SkipWithError("writing failed");
            return;
        }
    }
    if (!SameAsAttachment(path)) {
        state.SkipWithError("wrong output size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAttachmentSize));
}

}  // namespace

BENCHMARK(BM_UUDecoder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Base64Decoder)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
