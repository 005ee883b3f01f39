// Decoding speed of the attachment decoders on a 10 MiB random attachment,
// fed line by line as a server sends it (lines ending in CR LF, prepared in
// memory), each pass writing its file into a temporary folder.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
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

// yEnc with its CRC check, through the format as the article retrieval
// uses it: the article's lines held, then decoded into the new file.
void BM_YencDecoder(benchmark::State& state) {
    static const ng::ArticleLines lines = [] {
        ng::ArticleLines held;
        const std::string text = ngtest::YencEncode(Attachment(), "bench.jpg");
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find('\n', at) + 1;
            held.Add(std::string_view(text).substr(at, end - at));
            at = end;
        }
        return held;
    }();
    const std::string path = Folder() + "benchy.jpg";
    auto format = ng::MakeYencFormat();
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
        ng::DecodeStatus status = format->Decode(lines, {fd, -1, nullptr});
        ::close(fd);
        if (!status.Ok()) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    if (!SameAsAttachment(path)) {
        state.SkipWithError("wrong output size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAttachmentSize));
}

}  // namespace

BENCHMARK(BM_YencDecoder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UUDecoder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Base64Decoder)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
