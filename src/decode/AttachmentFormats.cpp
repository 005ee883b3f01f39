// The two encodings the program has always read: a uuencoded file after a
// "begin" line, and a base64 picture in a MIME part.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/Base64Decoder.h"
#include "decode/PictureType.h"
#include "decode/UUDecoder.h"
#include "platform/FileNames.h"
#include "platform/Sync.h"

namespace ng {

namespace {

// Whether the line holds "base64" in any letter case. Asked of every line of
// every article, so it makes no upper-cased copy: it finds each "6" (which
// has no case) with memchr and looks at its neighbours.
bool ContainsBase64(std::string_view line) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const char* data = line.data();
    const size_t size = line.size();
    // The "6" of a match stands at index 4 at the earliest and size - 2 at the latest.
    for (size_t from = 4; from + 1 < size;) {
        const void* hit = std::memchr(data + from, '6', size - 1 - from);
        if (!hit) {
            return false;
        }
        size_t at = static_cast<size_t>(static_cast<const char*>(hit) - data);
        if (data[at + 1] == '4' && lower(data[at - 4]) == 'b' && lower(data[at - 3]) == 'a' &&
            lower(data[at - 2]) == 's' && lower(data[at - 1]) == 'e') {
            return true;
        }
        from = at + 1;
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

}  // namespace

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
    }

    LineNote Notice(std::string_view line) override {
        LineNote note;
        if (m_bFound && !m_bEnded) {
            m_bEnded = IsUuEndOfData(line);  // the decoder reads the first file only
            note.dataLine = !m_bEnded;
        }
        // Only a line the decoder takes as a begin line: "beginning of the
        // story" names no file.
        if (auto begin = CUUDecoder::ParseBeginLine(line)) {
            std::string name = AttachmentName(begin->rest, &note.extensionGuessed);
            m_bFound = true;
            note.restartCount = true;
            note.shown = name;
            note.name = std::move(name);
        }
        return note;
    }

    bool Found() const override { return m_bFound; }
    bool FoundWhole() const override { return m_bFound && m_bEnded; }

    DecodeStatus Decode(const ArticleLines& lines, const DecodeTarget& target) override {
        CUUDecoder decoder(target.fd);
        for (size_t i = 0; i < lines.Size(); ++i) {
            WaitWhilePaused(target.pause);
            decoder.DecodeLine(lines[i]);
            if (decoder.m_bFileError) {
                return {decoder.m_nFileErrno, {}};
            }
        }
        return {decoder.Close(), {}};
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
    bool m_bEnded = false;  // the zero-length line after the data was seen
};

class Base64Format final : public AttachmentFormat {
public:
    void Reset() override {
        m_bFound = false;
        m_bGuessed = false;
        m_strName.clear();
    }

    LineNote Notice(std::string_view line) override {
        LineNote note;
        if (ContainsBase64(line)) {
            m_bFound = true;
            note.restartCount = true;
        }
        if (!m_bFound) {
            return note;
        }
        // The name is the quoted text of a Content-Disposition line seen in
        // the base64 part; every later line of the part keeps it as the name.
        if (line.starts_with("Content-Disposition:")) {
            size_t open = line.find('"');
            size_t close = open == line.npos ? open : line.find('"', open + 1);
            std::string_view quoted =
                close == line.npos ? std::string_view() : line.substr(open + 1, close - open - 1);
            m_bGuessed = false;
            m_strName = quoted.empty() ? std::string() : AttachmentName(quoted, &m_bGuessed);
            if (!m_strName.empty()) {
                note.shown = m_strName + " -- (base64)";
            }
        }
        note.name = m_strName;
        note.extensionGuessed = m_bGuessed;
        return note;
    }

    bool Found() const override { return m_bFound; }
    bool KeepsRawCopy() const override { return true; }

    DecodeStatus Decode(const ArticleLines& lines, const DecodeTarget& target) override {
        CBase64Decoder decoder;
        decoder.Attach(target.fd);
        // Only a picture is decoded: from a line that starts as one (a JPEG's
        // "/9j/", or a PNG, GIF or WebP signature) to the next MIME boundary.
        bool inData = false;
        for (size_t i = 0; i < lines.Size(); ++i) {
            const std::string_view line = lines[i];
            WaitWhilePaused(target.pause);
            if (target.rawFd >= 0 && !WriteAll(target.rawFd, line)) {
                return {errno, {}};
            }
            if (!inData && StartsBase64Picture(line)) {  // inside the data: no need to look
                inData = true;
            }
            if (line.starts_with("----")) {
                inData = false;
            }
            if (inData && decoder.DecodeAndWrite(line.data(), static_cast<int>(line.size())) < 0) {
                return {decoder.m_nFileErrno, {}};
            }
        }
        return {decoder.Close() == 0 ? 0 : decoder.m_nFileErrno, {}};
    }

private:
    bool m_bFound = false;
    bool m_bGuessed = false;
    std::string m_strName;
};

}  // namespace

std::string AttachmentName(std::string_view raw, bool* guessed) {
    // The component is taken first, so a name that is only a folder ("sub/")
    // is refused rather than saved as ".jpg".
    std::optional<std::string> leaf = SafeLeafName(raw);
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
