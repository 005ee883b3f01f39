// Decoding speed of both attachment decoders on a 10 MiB random attachment,
// fed line by line as a server sends it (lines ending in CR LF, prepared in
// memory), each pass writing its file into a temporary folder.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"
#include "support/Encoders.h"
#include "support/TempDir.h"

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

// The output folder under $TMPDIR (or /tmp), removed at exit; its path
// ends in '/'.
const std::string& Folder() {
    static const ngtest::TempDir dir("ngbench-");
    static const std::string path = dir.Path() + "/";
    return path;
}

bool SameAsAttachment(const std::string& path) {
    std::error_code ec;
    return std::filesystem::file_size(path, ec) == kAttachmentSize;
}

void BM_UUDecoder(benchmark::State& state) {
    static const std::vector<std::string> lines = ngtest::UuFileLines(Attachment(), "bench.jpg");
    for (auto _ : state) {
        CUUDecoder uu(Folder());
        for (const auto& line : lines) {
            uu.DecodeLine(line);
        }
        if (uu.m_nDecodeState != CUUDecoder::Finished || uu.m_bFileError) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    if (!SameAsAttachment(Folder() + "bench.jpg")) {
        state.SkipWithError("wrong output size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAttachmentSize));
}

void BM_Base64Decoder(benchmark::State& state) {
    static const std::vector<std::string> lines = ngtest::Base64Lines(Attachment());
    const std::string path = Folder() + "bench64.jpg";
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
