// The two encodings the program has always read: a uuencoded file after a
// "begin" line, and a base64 JPEG in a MIME part.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "decode/ArticleLines.h"
#include "decode/AttachmentFormat.h"
#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"
#include "platform/FileNames.h"
#include "platform/Sync.h"
#include "platform/TextFile.h"

namespace ng {

namespace {

// The line without its line end (LF, and a CR before it).
std::string_view WithoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
    }
    return line;
}

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

class UuFormat final : public AttachmentFormat {
public:
    void Reset() override { m_bFound = false; }

    LineNote Notice(std::string_view line) override {
        LineNote note;
        if (line.starts_with("begin")) {
            // "begin 644 name": the name from the 11th character on.
            std::string_view rest = WithoutLineEnd(line);
            std::string name =
                AttachmentName(rest.size() > 10 ? rest.substr(10) : std::string_view());
            m_bFound = true;
            note.restartCount = true;
            note.shown = name;
            note.name = std::move(name);
        }
        return note;
    }

    bool Found() const override { return m_bFound; }

    DecodeResult Decode(const ArticleLines& lines, const DecodeTarget& target) override {
        // The decoder finds the begin line again and names the file by its own rule.
        CUUDecoder decoder(target.directory);
        for (size_t i = 0; i < lines.Size(); ++i) {
            WaitWhilePaused(target.pause);
            decoder.DecodeLine(lines[i]);
            if (decoder.m_bFileError) {
                // A name the decoder refuses is the server's doing, not a full disk.
                return decoder.m_nFileErrno == EINVAL || decoder.m_nFileErrno == ENAMETOOLONG
                           ? DecodeResult::Refused
                           : DecodeResult::DiskFull;
            }
        }
        return DecodeResult::Saved;
    }

private:
    bool m_bFound = false;
};

class Base64Format final : public AttachmentFormat {
public:
    void Reset() override {
        m_bFound = false;
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
            m_strName = quoted.empty() ? std::string() : AttachmentName(quoted);
            if (!m_strName.empty()) {
                note.shown = m_strName + " -- (base64)";
            }
        }
        note.name = m_strName;
        return note;
    }

    bool Found() const override { return m_bFound; }

    DecodeResult Decode(const ArticleLines& lines, const DecodeTarget& target) override {
        DecodeResult result = DecodeResult::Saved;
        CBase64Decoder decoder;
        decoder.Open(target.path);
        int rawCopy = -1;
        if (target.saveAscii) {
            rawCopy =
                ::open((target.path + "a").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        }
        // Only a JPEG is decoded: from a line that starts as one ("/9j/") to
        // the next MIME boundary.
        bool inData = false;
        for (size_t i = 0; i < lines.Size(); ++i) {
            const std::string_view line = lines[i];
            WaitWhilePaused(target.pause);
            if (rawCopy >= 0 && ::write(rawCopy, line.data(), line.size()) < 0 &&
                IsDiskFullError(errno)) {
                result = DecodeResult::DiskFull;
                break;
            }
            if (line.starts_with("/9j/")) {
                inData = true;
            }
            if (line.starts_with("----")) {
                inData = false;
            }
            if (inData && decoder.DecodeAndWrite(line.data(), static_cast<int>(line.size())) < 0 &&
                IsDiskFullError(decoder.m_nFileErrno)) {
                result = DecodeResult::DiskFull;
                break;
            }
        }
        if (rawCopy >= 0) {
            ::close(rawCopy);
        }
        if (decoder.Close() != 0 && IsDiskFullError(decoder.m_nFileErrno)) {
            result = DecodeResult::DiskFull;
        }
        return result;
    }

private:
    bool m_bFound = false;
    std::string m_strName;
};

}  // namespace

std::string AttachmentName(std::string_view raw) {
    // The component is taken first, so a name that is only a folder ("sub/")
    // is refused rather than saved as ".jpg".
    std::optional<std::string> leaf = SafeLeafName(raw);
    if (!leaf) {
        return {};
    }
    if (leaf->find('.') == std::string::npos) {
        *leaf += ".jpg";
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
