// The two encodings the program has always read: uuencoded files after
// "begin" lines, and base64 parts of an article's MIME structure.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/Base64Decoder.h"
#include "decode/MimeStructure.h"
#include "decode/UUDecoder.h"
#include "platform/AsciiCase.h"
#include "platform/FileNames.h"
#include "platform/Sync.h"

namespace ng {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether the line holds "base64" in any letter case. Asked of every line of
// every article, so it makes no upper-cased copy: it finds each "64" (whose
// digits have no case) and looks at the four letters before it. A base64
// data line holds a "6" every 64 characters or so, so the search looks at
// sixteen places at once rather than stopping at every "6".
bool ContainsBase64(std::string_view line) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const char* data = line.data();
    const size_t size = line.size();
    auto matchAt = [&](size_t at) {  // data[at] is the "6"
        return data[at + 1] == '4' && lower(data[at - 4]) == 'b' && lower(data[at - 3]) == 'a' &&
               lower(data[at - 2]) == 's' && lower(data[at - 1]) == 'e';
    };
    // The "6" of a match stands at index 4 at the earliest and size - 2 at the latest.
    size_t from = 4;
#ifdef __SSE2__
    const __m128i six = _mm_set1_epi8('6');
    const __m128i four = _mm_set1_epi8('4');
    for (; from + 17 <= size; from += 16) {
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from + 1));
        auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(at, six), _mm_cmpeq_epi8(next, four))));
        for (; hits != 0; hits &= hits - 1) {
            if (matchAt(from + static_cast<size_t>(__builtin_ctz(hits)))) {
                return true;
            }
        }
    }
#endif
    for (; from + 1 < size; ++from) {
        if (data[from] == '6' && matchAt(from)) {
            return true;
        }
    }
    return false;
}

void WaitWhilePaused(PauseGate* pause) {
    if (pause) {
        pause->WaitWhilePaused();
    }
}

// A line that is uuencoded data: its length character gives 1 to 45
// bytes, the characters that carry them (and at most two more, a checksum)
// are all there, and every character is one uuencoding uses. Pieces of a
// multi-part post have no begin line, so their data is told apart from
// the text around it this way.
bool IsUuDataLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return false;
    }
    const int n = (static_cast<unsigned char>(line[0]) - 32) & 63;
    const size_t chars = static_cast<size_t>((n + 2) / 3 * 4);
    if (n == 0 || line[0] < ' ' || line[0] > '`' || line.size() < 1 + chars ||
        line.size() > 3 + chars) {
        return false;
    }
    for (char c : line) {
        if (c < ' ' || c > '`') {
            return false;
        }
    }
    return true;
}

// The line that ends uuencoded data: a length of zero ("`" or a blank),
// nothing else on it.
bool IsUuEndOfData(std::string_view line) {
    return (line.starts_with('`') || line.starts_with(' ')) &&
           line.find_first_not_of("` \r\n") == std::string_view::npos;
}

// "end", blanks after it allowed.
inline bool IsUuEndLine(std::string_view line) {
    return line.starts_with("end") && TrimBlanks(WithoutLineEnd(line)) == "end";
}

// "begin 644" and nothing more: a file the poster's program gave no name.
bool IsBareBeginLine(std::string_view line) {
    std::string_view text = TrimBlanks(WithoutLineEnd(line));
    if (!text.starts_with("begin")) {
        return false;
    }
    text = TrimBlanks(text.substr(5));
    return !text.empty() && text.find_first_not_of("01234567") == std::string_view::npos;
}

// ... which counts only when data follows, since prose may begin that way too.
bool IsNamelessBeginLine(std::string_view line, std::string_view next) {
    return IsBareBeginLine(line) && IsUuDataLine(next);
}

// The lines of the article that hold bytes [begin, end) of its text
// (lines [First(), Last()) ), each cut to that range by At(i).
class LineRange {
public:
    LineRange(const ArticleLines& lines, size_t begin, size_t end)
        : m_lines(lines),
          m_begin(begin),
          m_end(std::min(end, lines.Text().size())),
          m_first(lines.LineAt(begin)),
          m_last(m_end > begin ? lines.LineAt(m_end - 1) + 1 : m_first) {}

    size_t First() const { return m_first; }
    size_t Last() const { return m_last; }
    size_t Start(size_t i) const { return std::max(m_lines.Start(i), m_begin); }
    std::string_view At(size_t i) const {
        std::string_view line = m_lines[i];
        const size_t start = m_lines.Start(i);
        if (start + line.size() > m_end) {
            line = line.substr(0, m_end - start);
        }
        if (start < m_begin) {
            line.remove_prefix(m_begin - start);
        }
        return line;
    }

private:
    const ArticleLines& m_lines;
    size_t m_begin;
    size_t m_end;
    size_t m_first;
    size_t m_last;
};

}  // namespace

DecodeStatus AttachmentFormat::Decode(const ArticleLines& lines, const DecodeTarget& target) {
    MimeLeaf whole;
    whole.end = lines.Text().size();
    std::vector<Attachment> found;
    FindIn(lines, whole, found);
    return found.empty() ? DecodeStatus::Damaged("no attachment of this encoding")
                         : Decode(lines, found.front(), target);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

DecodeStatus AttachmentFormat::DecodePiece(const ArticleLines&, const DecodeTarget&, Piece&) {
    return DecodeStatus::Damaged("no parts in this encoding");
}

namespace {

class UuFormat final : public AttachmentFormat {
public:
    void Reset() override {
        m_bFound = false;
        m_bEnded = false;
        m_bBareBegin = false;
    }

    LineNote Notice(std::string_view line) override {
        LineNote note;
        if (m_bFound && !m_bEnded) {
            m_bEnded = IsUuEndOfData(line);
            note.dataLine = !m_bEnded;
        }
        if (!note.dataLine && line.starts_with("begin") && IsBareBeginLine(line)) {
            m_bBareBegin = true;
        }
        // Only a line the decoder takes as a begin line: "beginning of the
        // story" names no file.
        if (auto begin = CUUDecoder::ParseBeginLine(line)) {
            std::string name = AttachmentName(begin->rest, &note.extensionGuessed);
            m_bFound = true;
            m_bEnded = false;
            note.restartCount = true;
            note.shown = name;
            note.name = std::move(name);
        }
        return note;
    }

    // Only a "begin" line means anything outside a body; inside one, the
    // zero-length line and any "begin" line end a run of data.
    size_t QuietLines(const LineRun& run, size_t first, size_t last) const override {
        if (m_bFound && !m_bEnded) {
            return 0;
        }
        return run.CountWhile(first, last,
                              [](std::string_view line) { return !line.starts_with("begin"); });
    }
    size_t DataLines(const LineRun& run, size_t first, size_t last) const override {
        if (!m_bFound || m_bEnded) {
            return 0;
        }
        return run.CountWhile(first, last, [](std::string_view line) {
            return !IsUuEndOfData(line) && !line.starts_with("begin");
        });
    }

    bool Found() const override { return m_bFound; }
    bool FoundWhole() const override { return m_bFound && m_bEnded; }
    bool Noticed() const override { return m_bFound || m_bBareBegin; }

    // Each file runs from its begin line to its "end" line, or, cut short,
    // to the next begin line or the end of the leaf.
    void FindIn(const ArticleLines& lines, const MimeLeaf& leaf,
                std::vector<Attachment>& found) override {
        if (leaf.encoding != MimeLeaf::Encoding::Plain &&
            leaf.encoding != MimeLeaf::Encoding::Uuencode) {
            return;
        }
        // Only a line beginning "b" or "e" can start or end a file.
        const LineRange range(lines, leaf.begin, leaf.end);
        constexpr size_t kNone = static_cast<size_t>(-1);
        size_t open = kNone;  // the file whose end is still to come
        for (size_t i = range.First(); i < range.Last(); ++i) {
            const std::string_view line = range.At(i);
            if (line.starts_with("begin")) {
                std::optional<UuBeginLine> begin = CUUDecoder::ParseBeginLine(line);
                if (!begin &&
                    !(i + 1 < range.Last() && IsNamelessBeginLine(line, range.At(i + 1)))) {
                    continue;
                }
                if (open != kNone) {
                    found[open].end = range.Start(i);
                }
                open = found.size();
                Attachment& a = found.emplace_back();
                a.format = this;
                a.begin = range.Start(i);
                a.end = leaf.end;
                if (begin) {
                    a.name = AttachmentName(begin->rest, &a.extensionGuessed);
                    a.named = true;
                }
            } else if (open != kNone && IsUuEndLine(line)) {
                found[open].end = range.Start(i) + line.size();
                open = kNone;
            }
        }
    }

    // The bytes of complete data lines. A line shorter than its length
    // says, or data that stops before "end", is a damaged post: uu carries
    // no size or checksum, so nothing else can tell.
    using AttachmentFormat::Decode;
    DecodeStatus Decode(const ArticleLines& lines, const Attachment& attachment,
                        const DecodeTarget& target) override {
        CUUDecoder decoder(target.fd);
        decoder.HashInto(target.digest);
        decoder.DecodeLine("begin 644 attachment\r\n");  // the name is the attachment's
        DecodeStatus status = DecodeStatus::Damaged("the data stops without an end line");
        const LineRange range(lines, attachment.begin, attachment.end);
        // From the line after its begin line.
        for (size_t i = range.First() + 1; i < range.Last(); ++i) {
            const std::string_view line = range.At(i);
            WaitWhilePaused(target.pause);
            if (IsUuEndLine(line)) {
                status = {};  // some encoders leave out the zero-length line before it
                break;
            }
            if (decoder.m_nDecodeState == CUUDecoder::ExpectingEnd) {
                status = DecodeStatus::Damaged("no end line after the data");
                break;
            }
            if (decoder.DecodeLine(line) == CUUDecoder::Failed) {
                status = decoder.m_bFileError
                             ? DecodeStatus{decoder.m_nFileErrno, {}}
                             : DecodeStatus::Damaged("a data line is shorter than its length says");
                break;
            }
        }
        if (int error = decoder.Close(); error != 0) {
            return {error, {}};
        }
        return status;
    }

    // One part of a uuencoded file: the first carries the begin line, the
    // last the zero-length line and "end", and every part data lines, which
    // are decoded here (each line stands alone) and joined in part order.
    DecodeStatus DecodePiece(const ArticleLines& lines, const DecodeTarget& target,
                             Piece& piece) override {
        CUUDecoder decoder(target.fd);
        decoder.DecodeLine("begin 644 piece\r\n");
        bool begun = false;
        bool ended = false;
        for (size_t i = 0; i < lines.Size() && !ended; ++i) {
            const std::string_view line = lines[i];
            WaitWhilePaused(target.pause);
            if (!begun && piece.bytes == 0) {
                if (auto begin = CUUDecoder::ParseBeginLine(line)) {
                    piece.name = AttachmentName(begin->rest, &piece.extensionGuessed);
                    begun = true;
                    continue;
                }
            }
            if (IsUuEndOfData(line) && (begun || piece.bytes > 0)) {
                ended = true;
            } else if (IsUuDataLine(line)) {
                decoder.DecodeLine(line);
                piece.bytes += (static_cast<unsigned char>(line[0]) - 32) & 63;
            }
            if (decoder.m_bFileError) {
                return {decoder.m_nFileErrno, {}};
            }
        }
        decoder.DecodeLine("`\r\n");
        if (int error = decoder.Close(); error != 0) {
            return {error, {}};
        }
        if (piece.bytes == 0) {
            return DecodeStatus::Damaged("no uuencoded data");
        }
        return {};
    }

private:
    bool m_bFound = false;
    bool m_bEnded = false;      // the zero-length line after the data was seen
    bool m_bBareBegin = false;  // a begin line without a name was seen
};

// The name= or filename= value a Content-Type or Content-Disposition line
// gives, quoted or not, for the window while the article comes in; the
// name the file gets is read with the article's MIME structure.
std::string ShownParameterName(std::string_view line) {
    if (!StartsWithIgnoreCaseAscii(line, "content-disposition:") &&
        !StartsWithIgnoreCaseAscii(line, "content-type:")) {
        return {};
    }
    const std::string lower = ToLowerAscii(WithoutLineEnd(line));
    size_t at = lower.find("filename=");
    if (at != std::string::npos) {
        at += 9;
    } else if ((at = lower.find("name=")) != std::string::npos) {
        at += 5;
    } else {
        return {};
    }
    std::string_view value = WithoutLineEnd(line).substr(at);
    if (value.starts_with('"')) {
        value = value.substr(1, value.find('"', 1) - 1);
    } else {
        value = value.substr(0, value.find_first_of("; \t"));
    }
    if (value.find("=?") != std::string_view::npos) {
        return {};  // encoded: only the MIME reader can tell
    }
    return AttachmentName(value);
}

class Base64Format final : public AttachmentFormat {
public:
    void Reset() override {
        m_bFound = false;
        m_strShown.clear();
    }

    LineNote Notice(std::string_view line) override {
        LineNote note;
        if (ContainsBase64(line)) {
            m_bFound = true;
            note.restartCount = true;
        }
        // A part's name may come before or after the line that says base64.
        if (line.size() > 13 && (line[0] | 0x20) == 'c') {
            if (std::string name = ShownParameterName(line); !name.empty()) {
                m_strShown = std::move(name);
                if (m_bFound) {
                    note.shown = m_strShown + " -- (base64)";
                }
            }
        }
        if (note.restartCount && !m_strShown.empty()) {
            note.shown = m_strShown + " -- (base64)";
        }
        return note;
    }

    // Lines that name no base64 and may carry no name (a parameter line
    // begins "c", as "Content-Type" does; a data line beginning "c" is
    // noticed on its own, to be sure).
    size_t QuietLines(const LineRun& run, size_t first, size_t last) const override {
        return run.CountWhile(first, last, [](std::string_view line) {
            return !(line.size() > 13 && (line[0] | 0x20) == 'c') && !ContainsBase64(line);
        });
    }

    bool Found() const override { return m_bFound; }
    bool ReadsParts() const override { return m_bFound; }
    bool KeepsRawCopy() const override { return true; }

    // A base64 part that is a file: named, or said to be an attachment, or
    // of a type that is no text (a text in base64 is the article's own).
    void FindIn(const ArticleLines&, const MimeLeaf& leaf,
                std::vector<Attachment>& found) override {
        if (leaf.encoding != MimeLeaf::Encoding::Base64 || leaf.end <= leaf.begin ||
            (leaf.text && leaf.name.empty() && !leaf.attachment)) {
            return;
        }
        Attachment& a = found.emplace_back();
        a.format = this;
        a.begin = leaf.begin;
        a.end = leaf.end;
        a.name = AttachmentName(leaf.name, &a.extensionGuessed);
        a.named = !leaf.name.empty();
    }

    // The part's data up to its end, or up to a line beginning "--" (no
    // base64 character): a boundary, declared or not, ends the data.
    using AttachmentFormat::Decode;
    DecodeStatus Decode(const ArticleLines& lines, const Attachment& attachment,
                        const DecodeTarget& target) override {
        if (target.rawFd >= 0 && !WriteAll(target.rawFd, lines.Text())) {
            return {errno, {}};
        }
        CBase64Decoder decoder;
        decoder.Attach(target.fd);
        decoder.HashInto(target.digest);
        int64_t bytes = 0;
        bool failed = false;
        const LineRange range(lines, attachment.begin, attachment.end);
        for (size_t i = range.First(); i < range.Last() && !failed; ++i) {
            const std::string_view line = range.At(i);
            if (line.starts_with("--")) {
                break;
            }
            WaitWhilePaused(target.pause);
            const int n = decoder.DecodeAndWrite(line.data(), static_cast<int>(line.size()));
            failed = n < 0;
            bytes += n;
        }
        if (decoder.Close() != 0 || failed) {
            return {decoder.m_nFileErrno, {}};
        }
        if (decoder.m_nQuantum != 0) {
            return DecodeStatus::Damaged("the base64 data stops in the middle of a group");
        }
        if (bytes == 0) {
            return DecodeStatus::Damaged("no base64 data");
        }
        return {};
    }

private:
    bool m_bFound = false;
    std::string m_strShown;  // the name the window shows
};

}  // namespace

std::string AttachmentName(std::string_view raw, bool* guessed) {
    // The component is taken first, so a name that is only a folder ("sub/")
    // is refused rather than saved as ".jpg".
    std::optional<std::string> leaf = SafeLeafName(TrimBlanks(raw));
    if (!leaf) {
        return {};
    }
    const bool noExtension = leaf->find('.') == std::string::npos;
    if (noExtension) {
        *leaf += ".jpg";
    }
    if (guessed) {
        *guessed = noExtension;
    }
    return SafeLeafName(*leaf).value_or("");  // ".jpg" may make it too long
}

std::unique_ptr<AttachmentFormat> MakeUuFormat() {
    return std::make_unique<UuFormat>();
}

std::unique_ptr<AttachmentFormat> MakeBase64Format() {
    return std::make_unique<Base64Format>();
}

}  // namespace ng
