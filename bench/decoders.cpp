// Decoding speed of both attachment decoders on a 10 MiB random attachment,
// fed line by line as a server sends it (uu lines of 61 characters, base64
// lines of 76, each with CR LF, end to end in memory as the article buffer
// holds them), on every kernel version
// the processor runs:
//   BM_UUDecoder/<kernels>, BM_Base64Decoder/<kernels>: the decoder's own
//     work, writing into one in-memory file (memfd) that every pass
//     overwrites, so that no disk and no page allocation is timed;
//   ...ToFile/<kernels>: each pass creates its file in a temporary folder
//     ($TMPDIR), as the system's decoders do in scripts/bench-decoders.

#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "decode/Base64Decoder.h"
#include "decode/DecodeKernels.h"
#include "decode/UUDecoder.h"
#include "support/Encoders.h"
#include "support/TempDir.h"

namespace {

using ng::decode::Isa;

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

// The lines as views into one text, as the article buffer holds them.
struct Article {
    std::string text;
    std::vector<std::string_view> lines;
    explicit Article(const std::vector<std::string>& from) {
        for (const auto& line : from) {
            text += line;
        }
        size_t at = 0;
        for (const auto& line : from) {
            lines.push_back(std::string_view(text).substr(at, line.size()));
            at += line.size();
        }
    }
};

const std::vector<std::string_view>& UuLines() {
    static const Article article(ngtest::UuFileLines(Attachment(), "bench.jpg"));
    return article.lines;
}

const std::vector<std::string_view>& Base64Lines() {
    static const Article article(ngtest::Base64Lines(Attachment()));
    return article.lines;
}

// The output folder under $TMPDIR (or /tmp), removed at exit; its path
// ends in '/'.
const std::string& Folder() {
    static const ngtest::TempDir dir("ngbench-");
    static const std::string path = dir.Path() + "/";
    return path;
}

// An in-memory file that keeps its pages from pass to pass.
class MemoryFile {
public:
    MemoryFile() : m_fd(::memfd_create("ngbench", MFD_CLOEXEC)) {}
    ~MemoryFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int Rewound() const { return ::lseek(m_fd, 0, SEEK_SET) == 0 ? m_fd : -1; }
    bool HoldsAttachment() const {
        std::string back(kAttachmentSize + 1, '\0');
        return ::pread(m_fd, back.data(), back.size(), 0) ==
                   static_cast<ssize_t>(kAttachmentSize) &&
               back.compare(0, kAttachmentSize, Attachment()) == 0;
    }
    bool Ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

bool DecodeUu(int fd, const std::string& folder) {
    auto uu = fd >= 0 ? std::make_unique<CUUDecoder>(fd) : std::make_unique<CUUDecoder>(folder);
    for (const auto& line : UuLines()) {
        uu->DecodeLine(line);
    }
    return uu->m_nDecodeState == CUUDecoder::Finished && !uu->m_bFileError && uu->Close() == 0;
}

bool DecodeBase64(int fd, const std::string& path) {
    CBase64Decoder b64;
    if (fd >= 0) {
        b64.Attach(fd);
    } else if (b64.Open(path) != 0) {
        return false;
    }
    bool ok = true;
    for (const auto& line : Base64Lines()) {
        ok &= b64.DecodeAndWrite(line.data(), static_cast<int>(line.size())) >= 0;
    }
    return b64.Close() == 0 && ok;
}

void Finish(benchmark::State& state, bool sameBytes) {
    if (!sameBytes) {
        state.SkipWithError("the decoded file differs from the attachment");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kAttachmentSize));
}

void BM_UUDecoder(benchmark::State& state, Isa isa) {
    ng::decode::UseIsa(isa);
    MemoryFile file;
    for (auto _ : state) {
        if (!file.Ok() || !DecodeUu(file.Rewound(), {})) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    Finish(state, file.HoldsAttachment());
}

void BM_Base64Decoder(benchmark::State& state, Isa isa) {
    ng::decode::UseIsa(isa);
    MemoryFile file;
    for (auto _ : state) {
        if (!file.Ok() || !DecodeBase64(file.Rewound(), {})) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    Finish(state, file.HoldsAttachment());
}

bool FileHoldsAttachment(const std::string& path) {
    std::error_code ec;
    return std::filesystem::file_size(path, ec) == kAttachmentSize;
}

void BM_UUDecoderToFile(benchmark::State& state, Isa isa) {
    ng::decode::UseIsa(isa);
    for (auto _ : state) {
        if (!DecodeUu(-1, Folder())) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    Finish(state, FileHoldsAttachment(Folder() + "bench.jpg"));
}

void BM_Base64DecoderToFile(benchmark::State& state, Isa isa) {
    ng::decode::UseIsa(isa);
    const std::string path = Folder() + "bench64.jpg";
    for (auto _ : state) {
        if (!DecodeBase64(-1, path)) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    Finish(state, FileHoldsAttachment(path));
}

}  // namespace

int main(int argc, char** argv) {
    using Fn = void (*)(benchmark::State&, Isa);
    const std::pair<const char*, Fn> kinds[] = {{"BM_UUDecoder", BM_UUDecoder},
                                                {"BM_Base64Decoder", BM_Base64Decoder},
                                                {"BM_UUDecoderToFile", BM_UUDecoderToFile},
                                                {"BM_Base64DecoderToFile", BM_Base64DecoderToFile}};
    for (const auto& [name, fn] : kinds) {
        for (Isa isa : {Isa::Scalar, Isa::Sse41, Isa::Avx2}) {
            if (ng::decode::Supported(isa)) {
                std::string full = std::string(name) + "/" + ng::decode::KernelsFor(isa).name;
                benchmark::RegisterBenchmark(full.c_str(), fn, isa)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
