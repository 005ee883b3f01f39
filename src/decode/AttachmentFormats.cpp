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
        // Only a line the decoder takes as a begin line: "beginning of the
        // story" names no file.
        if (auto begin = CUUDecoder::ParseBeginLine(line)) {
            std::string name = AttachmentName(begin->rest);
            m_bFound = true;
            note.restartCount = true;
            note.shown = name;
            note.name = std::move(name);
        }
        return note;
    }

    bool Found() const override { return m_bFound; }

    int Decode(const ArticleLines& lines, const DecodeTarget& target) override {
        CUUDecoder decoder(target.fd);
        for (size_t i = 0; i < lines.Size(); ++i) {
            WaitWhilePaused(target.pause);
            decoder.DecodeLine(lines[i]);
            if (decoder.m_bFileError) {
                return decoder.m_nFileErrno;
            }
        }
        return decoder.Close();
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
    bool KeepsRawCopy() const override { return true; }

    int Decode(const ArticleLines& lines, const DecodeTarget& target) override {
        CBase64Decoder decoder;
        decoder.Attach(target.fd);
        // Only a JPEG is decoded: from a line that starts as one ("/9j/") to
        // the next MIME boundary.
        bool inData = false;
        for (size_t i = 0; i < lines.Size(); ++i) {
            const std::string_view line = lines[i];
            WaitWhilePaused(target.pause);
            if (target.rawFd >= 0 && !WriteAll(target.rawFd, line)) {
                return errno;
            }
            if (line.starts_with("/9j/")) {
                inData = true;
            }
            if (line.starts_with("----")) {
                inData = false;
            }
            if (inData && decoder.DecodeAndWrite(line.data(), static_cast<int>(line.size())) < 0) {
                return decoder.m_nFileErrno;
            }
        }
        return decoder.Close() == 0 ? 0 : decoder.m_nFileErrno;
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
