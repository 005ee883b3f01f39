// Decoding speed of the attachment decoders, fed line by line as a server
// sends it (uu lines of 61 characters, base64 lines of 76, yEnc lines of
// about 130 through the yEnc format with its CRC check, each with CR LF,
// end to end in memory as the article buffer holds them), on every kernel
// version the processor runs:
//   BM_UUDecoder/<kernels>, BM_Base64Decoder/<kernels>,
//     BM_YencDecoder/<kernels>: a 10 MiB random attachment, writing into
//     one in-memory file (memfd) that every pass overwrites, so that no
//     disk and no page allocation is timed;
//   BM_YencDecoder/<kernels>+zlib: the same with zlib's CRC in place of
//     that version's own;
//   .../<kernels>/512KiB: the same for an attachment of an ordinary
//     article's size, whose text stays in the processor's caches as a
//     freshly received article's does;
//   ...ToFile/<kernels>: the 10 MiB attachment into a file each pass
//     creates in a temporary folder ($TMPDIR), as the system's decoders do
//     in scripts/bench-decoders;
//   BM_UuArticle/<kernels>, BM_Base64Article/<kernels>: the same attachment
//     in a whole article (a uuencoded file after some text; a base64 part
//     of a MIME message as Python's email package writes it), everything
//     the program does with its lines: each format notices each line, the
//     attachments are found (for MIME, the structure read by GMime) and the
//     one found is decoded into memory;
//   BM_Crc32/<kernels>[/512KiB]: the CRC alone over the attachment, in the
//     64 KiB pieces the yEnc format hands it.
//   BM_YencLines/<kernels>[/512KiB]: the yEnc body's lines decoded and
//     checked as the yEnc format does it (into a batch of room, the CRC
//     taken over each batch), into memory that is no file: the decoding
//     alone, without the copy into the page cache.
// Besides the wall-clock rate, each reports the process's CPU time a pass
// in user space (the decoder: kernels, line rules, buffering) and in the
// system (write and fallocate: copying into the page cache), and the rate
// the user time alone would give.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "decode/ArticleAttachments.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/Base64Decoder.h"
#include "decode/DecodeKernels.h"
#include "decode/UUDecoder.h"
#include "decode/Yenc.h"
#include "support/Encoders.h"
#include "support/TempDir.h"

namespace {

using ng::decode::Isa;
using ng::decode::Kernels;

constexpr size_t kLargeAttachment = 10u << 20;
constexpr size_t kArticleAttachment = 512u << 10;

// Lines as views into one text, as the article buffer holds them.
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

// The lines of a text that ends each with LF.
std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at) + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// A random attachment of some size, and its uu, base64 and yEnc articles.
struct Input {
    std::string data;
    Article uu;
    Article base64;
    ng::ArticleLines yenc;  // as the article retrieval holds them
    ng::ArticleLines uuArticle;
    ng::ArticleLines mimeArticle;
    explicit Input(std::string bytes)
        : data(std::move(bytes)),
          uu(ngtest::UuFileLines(data, "bench.jpg")),
          base64(ngtest::Base64Lines(data)) {
        for (const std::string& line : LinesOf(ngtest::YencEncode(data, "bench.jpg"))) {
            yenc.Add(line);
        }
        const std::string head =
            "Path: bench!not-for-mail\r\nFrom: Poster <poster@example.com>\r\n"
            "Newsgroups: alt.binaries.pictures\r\nSubject: bench.jpg (1/1)\r\n"
            "Message-ID: <bench@example.com>\r\n";
        for (const std::string& line :
             LinesOf(head + "\r\nA picture.\r\n\r\n" + ngtest::UUEncode(data, "bench.jpg"))) {
            uuArticle.Add(line);
        }
        const std::string boundary = "===============8212334539817052617==";
        for (const std::string& line :
             LinesOf(head + "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
                     boundary + "\"\r\n\r\n--" + boundary +
                     "\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
                     "Content-Transfer-Encoding: 7bit\r\n\r\nA picture.\r\n\r\n--" +
                     boundary +
                     "\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n"
                     "Content-Disposition: attachment; filename=\"bench.jpg\"\r\n"
                     "MIME-Version: 1.0\r\n\r\n" +
                     ngtest::Base64Encode(data) + "\r\n--" + boundary + "--\r\n")) {
            mimeArticle.Add(line);
        }
    }
};

const Input& InputOf(size_t size) {
    static std::map<size_t, std::unique_ptr<Input>> made;
    auto& input = made[size];
    if (!input) {
        std::mt19937_64 random(42);
        std::string bytes(size, '\0');
        for (auto& byte : bytes) {
            byte = static_cast<char>(random());
        }
        // A JPEG's first bytes: a picture to every reader of the articles.
        bytes.replace(0, 3, "\xFF\xD8\xFF");
        input = std::make_unique<Input>(std::move(bytes));
    }
    return *input;
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
    bool Holds(const std::string& data) const {
        std::string back(data.size() + 1, '\0');
        return ::pread(m_fd, back.data(), back.size(), 0) == static_cast<ssize_t>(data.size()) &&
               back.compare(0, data.size(), data) == 0;
    }
    bool Ok() const { return m_fd >= 0; }

private:
    int m_fd;
};

bool DecodeUu(const Input& input, int fd, const std::string& folder) {
    auto uu = fd >= 0 ? std::make_unique<CUUDecoder>(fd) : std::make_unique<CUUDecoder>(folder);
    for (const auto& line : input.uu.lines) {
        uu->DecodeLine(line);
    }
    return uu->m_nDecodeState == CUUDecoder::Finished && !uu->m_bFileError && uu->Close() == 0;
}

bool DecodeBase64(const Input& input, int fd, const std::string& path) {
    CBase64Decoder b64;
    if (fd >= 0) {
        b64.Attach(fd);
    } else if (b64.Open(path) != 0) {
        return false;
    }
    bool ok = true;
    for (const auto& line : input.base64.lines) {
        ok &= b64.DecodeAndWrite(line.data(), static_cast<int>(line.size())) >= 0;
    }
    return b64.Close() == 0 && ok;
}

bool DecodeYenc(const Input& input, int fd, const std::string& path) {
    const bool ownFile = fd < 0;
    if (ownFile) {
        fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    }
    auto format = ng::MakeYencFormat();
    const bool ok = fd >= 0 && format->Decode(input.yenc, {fd, -1, nullptr}).Ok();
    return (!ownFile || ::close(fd) == 0) && ok;
}

// Every format notices every line, as the lines arrive; then the one
// attachment is found and decoded.
bool DecodeArticle(const ng::ArticleLines& article, int fd) {
    std::vector<std::unique_ptr<ng::AttachmentFormat>> formats;
    formats.push_back(ng::MakeYencFormat());
    formats.push_back(ng::MakeUuFormat());
    formats.push_back(ng::MakeBase64Format());
    for (size_t i = 0; i < article.Size(); ++i) {
        for (auto& format : formats) {
            if (format->Notice(article[i]).dataLine) {
                break;
            }
        }
    }
    const std::vector<ng::Attachment> found =
        ng::FindAttachments(article, formats, "bench.jpg (1/1)");
    return found.size() == 1 && found[0].format->Decode(article, found[0], {fd, -1, nullptr}).Ok();
}

bool DecodeUuArticle(const Input& input, int fd, const std::string&) {
    return DecodeArticle(input.uuArticle, fd);
}

bool DecodeBase64Article(const Input& input, int fd, const std::string&) {
    return DecodeArticle(input.mimeArticle, fd);
}

using Decode = bool (*)(const Input&, int, const std::string&);

// CPU time of the process so far, in user space and in the system.
struct CpuTimes {
    double user = 0;
    double system = 0;
    static CpuTimes Now() {
        struct rusage usage {};
        ::getrusage(RUSAGE_SELF, &usage);
        auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
        return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
    }
};

void Finish(benchmark::State& state, size_t size, bool sameBytes, const CpuTimes& start) {
    if (!sameBytes) {
        state.SkipWithError("the decoded file differs from the attachment");
    }
    CpuTimes end = CpuTimes::Now();
    auto passes = static_cast<double>(state.iterations());
    double user = (end.user - start.user) / passes;
    state.counters["user_ms"] = user * 1e3;
    state.counters["sys_ms"] = (end.system - start.system) / passes * 1e3;
    state.counters["user_MBps"] = static_cast<double>(size) / user / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void IntoMemory(benchmark::State& state, Decode decode, const Kernels* kernels, size_t size) {
    ng::decode::UseKernels(*kernels);
    const Input& input = InputOf(size);
    MemoryFile file;
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        if (!file.Ok() || !decode(input, file.Rewound(), {})) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    Finish(state, size, file.Holds(input.data), start);
}

void IntoNewFile(benchmark::State& state, Decode decode, const Kernels* kernels, size_t size) {
    ng::decode::UseKernels(*kernels);
    const Input& input = InputOf(size);
    const std::string path = Folder() + "bench.jpg";
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        if (!decode(input, -1, decode == DecodeUu ? Folder() : path)) {
            state.SkipWithError("decoding failed");
            return;
        }
    }
    std::error_code ec;
    Finish(state, size, std::filesystem::file_size(path, ec) == size, start);
}

void YencIntoBuffer(benchmark::State& state, Decode, const Kernels* kernels, size_t size) {
    ng::decode::UseKernels(*kernels);
    const Input& input = InputOf(size);
    constexpr size_t kBatch = 64 * 1024;
    std::vector<unsigned char> room(input.yenc.Text().size() + ng::decode::kSlack);
    size_t bytes = 0;
    uint32_t crc = 0;
    const CpuTimes start = CpuTimes::Now();
    for (auto _ : state) {
        ng::YencLineDecoder decoder;
        bytes = 0;
        crc = 0;
        size_t checked = 0;
        for (size_t i = 1; i + 1 < input.yenc.Size(); ++i) {  // between "=ybegin" and "=yend"
            bytes += decoder.Decode(input.yenc[i], room.data() + bytes);
            if (bytes - checked >= kBatch) {
                crc = ng::Crc32(crc, room.data() + checked, bytes - checked);
                checked = bytes;
            }
        }
        crc = ng::Crc32(crc, room.data() + checked, bytes - checked);
        benchmark::DoNotOptimize(crc);
    }
    const auto* data = reinterpret_cast<const unsigned char*>(input.data.data());
    Finish(state, size,
           bytes == size && std::equal(data, data + size, room.data()) &&
               crc == ng::decode::KernelsFor(Isa::Scalar).crc32(0, data, size),
           start);
}

void Crc32(benchmark::State& state, Decode, const Kernels* kernels, size_t size) {
    const Input& input = InputOf(size);
    const auto* data = reinterpret_cast<const unsigned char*>(input.data.data());
    constexpr size_t kPiece = 64 * 1024;
    const uint32_t expected = ng::decode::KernelsFor(Isa::Scalar).crc32(0, data, size);
    uint32_t crc = 0;
    for (auto _ : state) {
        crc = 0;
        for (size_t at = 0; at < size; at += kPiece) {
            crc = kernels->crc32(crc, data + at, std::min(kPiece, size - at));
        }
        benchmark::DoNotOptimize(crc);
    }
    if (crc != expected) {
        state.SkipWithError("the CRC differs from zlib's");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// A vector version's decoding with zlib's CRC, to show what its own CRC
// gains.
const Kernels& WithZlibCrc(Isa isa) {
    static std::map<Isa, Kernels> made;
    auto [it, fresh] = made.try_emplace(isa, ng::decode::KernelsFor(isa));
    if (fresh) {
        it->second.crc32 = ng::decode::KernelsFor(Isa::Scalar).crc32;
        it->second.crcName = ng::decode::KernelsFor(Isa::Scalar).crcName;
    }
    return it->second;
}

}  // namespace

int main(int argc, char** argv) {
    using Run = void (*)(benchmark::State&, Decode, const Kernels*, size_t);
    struct Kind {
        const char* name;
        Run run;
        Decode decode;
        size_t size;
        const char* suffix;
    };
    const Kind kinds[] = {
        {"BM_UUDecoder", IntoMemory, DecodeUu, kLargeAttachment, ""},
        {"BM_Base64Decoder", IntoMemory, DecodeBase64, kLargeAttachment, ""},
        {"BM_UUDecoder", IntoMemory, DecodeUu, kArticleAttachment, "/512KiB"},
        {"BM_Base64Decoder", IntoMemory, DecodeBase64, kArticleAttachment, "/512KiB"},
        {"BM_UUDecoderToFile", IntoNewFile, DecodeUu, kLargeAttachment, ""},
        {"BM_Base64DecoderToFile", IntoNewFile, DecodeBase64, kLargeAttachment, ""},
        {"BM_YencDecoder", IntoMemory, DecodeYenc, kLargeAttachment, ""},
        {"BM_YencDecoder", IntoMemory, DecodeYenc, kArticleAttachment, "/512KiB"},
        {"BM_YencDecoderToFile", IntoNewFile, DecodeYenc, kLargeAttachment, ""},
        {"BM_YencLines", YencIntoBuffer, nullptr, kLargeAttachment, ""},
        {"BM_YencLines", YencIntoBuffer, nullptr, kArticleAttachment, "/512KiB"},
        {"BM_Crc32", Crc32, nullptr, kLargeAttachment, ""},
        {"BM_Crc32", Crc32, nullptr, kArticleAttachment, "/512KiB"},
        {"BM_UuArticle", IntoMemory, DecodeUuArticle, kLargeAttachment, ""},
        {"BM_Base64Article", IntoMemory, DecodeBase64Article, kLargeAttachment, ""},
        {"BM_UuArticle", IntoMemory, DecodeUuArticle, kArticleAttachment, "/512KiB"},
        {"BM_Base64Article", IntoMemory, DecodeBase64Article, kArticleAttachment, "/512KiB"},
    };
    auto add = [](const Kind& kind, const std::string& version, const Kernels& kernels) {
        std::string name = std::string(kind.name) + "/" + version + kind.suffix;
        benchmark::RegisterBenchmark(name.c_str(), kind.run, kind.decode, &kernels, kind.size)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    };
    for (const Kind& kind : kinds) {
        for (Isa isa : {Isa::Scalar, Isa::Sse41, Isa::Avx2}) {
            if (!ng::decode::Supported(isa)) {
                continue;
            }
            const Kernels& kernels = ng::decode::KernelsFor(isa);
            add(kind, kernels.name, kernels);
            if (kind.run == IntoMemory && kind.decode == DecodeYenc &&
                kernels.crc32 != WithZlibCrc(isa).crc32) {
                add(kind, std::string(kernels.name) + "+zlib", WithZlibCrc(isa));
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
