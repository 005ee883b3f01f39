// The yEnc format fed arbitrary article lines, as the article retrieval
// feeds them, decoded as a whole file and as a piece into a scratch file.
// Whatever it is given: no crash, no file but the one output, and whenever
// decoding reports success the bytes written match what a plain reference
// decoder makes of the same lines.

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "FuzzSupport.h"
#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchDir scratch;
    const std::string path = scratch.File("out.jpg");
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    auto format = ng::MakeYencFormat();
    ng::ArticleLines lines;
    for (std::string_view line : fuzzsupport::LinesWithEnds(text)) {
        format->Notice(line);
        lines.Add(line);
    }
    for (bool asPiece : {false, true}) {
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0600);
        FUZZ_CHECK(fd >= 0);
        ng::Piece piece;
        ng::DecodeStatus status = asPiece ? format->DecodePiece(lines, {fd, -1, nullptr}, piece)
                                          : format->Decode(lines, {fd, -1, nullptr});
        ::close(fd);
        FUZZ_CHECK(status.error == 0);
        if (status.Ok()) {
            FUZZ_CHECK(fuzzsupport::ReadAll(path) == PlainDecode(lines));
            FUZZ_CHECK(format->Found());
        }
    }
    FUZZ_CHECK(fuzzsupport::ListTree(scratch.Path()) == std::set<std::string>{"out.jpg"});
    return 0;
}
