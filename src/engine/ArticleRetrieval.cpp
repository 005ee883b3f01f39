// One accepted article: fetch it whole, find its attachment (a uuencoded
// file after a "begin" line, or a base64 JPEG in a MIME part), decode it into
// the group's save folder, log it, show it, and remember its name.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"
#include "engine/ArticleLines.h"
#include "engine/Overview.h"
#include "engine/ProcessGroups.h"
#include "net/Socket.h"
#include "platform/FileNames.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "store/DownloadLog.h"

using namespace ng;

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.starts_with(prefix);
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

// A name from the server, made safe to save: its last path component, with
// ".jpg" added when it has no extension; "" when it cannot be used. The
// component is taken first, so a name that is only a folder ("sub/") is
// refused rather than saved as ".jpg".
std::string AttachmentName(std::string_view raw) {
    std::optional<std::string> leaf = SafeLeafName(raw);
    if (!leaf) {
        return {};
    }
    if (leaf->find('.') == std::string::npos) {
        *leaf += ".jpg";
    }
    return SafeLeafName(*leaf).value_or("");  // ".jpg" may make it too long
}

// Creates (empties) the file and closes it again: proves the name can be saved.
bool TestCreate(const std::string& path, int& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace

bool CProcessGroups::RetrieveArticle(const std::string& number) {
    IDisplay& window = *m_pWindow;
    bool result = true;
    bool keepInHistory = true;
    ArticleLines& articleLines = m_articleLines;
    articleLines.Clear();
    std::string fileName;
    std::string base64Name;
    bool uuencoded = false;
    bool base64 = false;
    int lineCounter = 0;

    m_pSocket->SendLine("ARTICLE " + number + "\r\n");
    std::string reply = ReadLine();
    if (reply.empty()) {
        // No answer at all (connection lost, or a stop cut the wait short):
        // the article was not dealt with and must be offered again.
        return false;
    }
    if (ReplyCode(reply) == 220) {
        window.SetSubjectText(m_strSubject);
        window.SetSavingToText("(Looking for binary attachment)");
        const int64_t articleStart = NowSeconds();
        int64_t articleBytes = 0;

        for (std::string line = ReadLine(); !IsEndOfBlock(line); line = ReadLine()) {
            if (!Connected()) {
                NoteConnectionLost();
            }
            if (PollStop()) {
                result = false;
                break;
            }
            const int64_t received = static_cast<int64_t>(line.size());
            articleBytes += received + kHeldLineCost;
            if (articleBytes > kMaxArticleBytes) {
                DropConnection();  // noticed as a lost connection at the next line
                continue;
            }
            // The server doubled a leading dot; the line is used without it.
            std::string_view text = line;
            if (StartsWith(text, ".")) {
                text.remove_prefix(1);
            }

            if (StartsWith(text, "begin")) {
                std::string_view name = WithoutLineEnd(text);
                fileName = AttachmentName(name.size() > 10 ? name.substr(10) : std::string_view());
                uuencoded = true;
                window.SetSavingToText(m_strSaveDir + fileName);
                lineCounter = 0;
            }
            if (ContainsBase64(text)) {
                base64 = true;
                lineCounter = 0;
            }
            if (base64) {
                if (StartsWith(text, "Content-Disposition:")) {
                    size_t open = text.find('"');
                    size_t close = open == text.npos ? open : text.find('"', open + 1);
                    std::string_view quoted = close == text.npos
                                                  ? std::string_view()
                                                  : text.substr(open + 1, close - open - 1);
                    base64Name = quoted.empty() ? std::string() : AttachmentName(quoted);
                    if (!base64Name.empty()) {
                        window.SetSavingToText(m_strSaveDir + base64Name + " -- (base64)");
                    }
                }
                fileName = base64Name;
            }
            articleLines.Add(text);

            m_bytesTransferred += received;
            ++lineCounter;
            if (lineCounter % 10 == 0) {
                window.SetProgress(LinesDecoded, lineCounter, m_expectedLines, false);
            }
        }
        if (!m_bStopRequested) {
            window.SetProgress(LinesDecoded, m_expectedLines, m_expectedLines, false);
        }

        const std::string outputPath = m_strSaveDir + fileName;
        int createError = 0;
        if (fileName.empty() || !TestCreate(outputPath, createError)) {
            if (IsDiskFullError(createError)) {
                m_strFinalStatus = "Error--disk or directory full";
                m_bStopRequested = true;
            }
            return false;
        }

        auto diskFull = [&] {
            m_strFinalStatus = "Error--disk or directory full";
            m_bStopRequested = true;
            result = false;
        };
        if (uuencoded) {
            CUUDecoder decoder(m_strSaveDir);
            for (size_t i = 0; i < articleLines.Size(); ++i) {
                WaitWhilePaused();
                decoder.DecodeLine(articleLines[i]);
                if (decoder.m_bFileError) {
                    // A name the decoder refuses is the server's doing, not a full disk.
                    if (decoder.m_nFileErrno == EINVAL || decoder.m_nFileErrno == ENAMETOOLONG) {
                        result = false;
                    } else {
                        diskFull();
                    }
                    break;
                }
            }
        } else if (base64) {
            CBase64Decoder decoder;
            decoder.Open(outputPath);
            int rawCopy = -1;
            if (m_bSaveAscii) {
                rawCopy = ::open((outputPath + "a").c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            }
            bool inData = false;
            for (size_t i = 0; i < articleLines.Size(); ++i) {
                const std::string_view line = articleLines[i];
                WaitWhilePaused();
                if (rawCopy >= 0 && ::write(rawCopy, line.data(), line.size()) < 0 &&
                    IsDiskFullError(errno)) {
                    diskFull();
                    break;
                }
                if (StartsWith(line, "/9j/")) {
                    inData = true;
                }
                if (StartsWith(line, "----")) {
                    inData = false;
                }
                if (inData &&
                    decoder.DecodeAndWrite(line.data(), static_cast<int>(line.size())) < 0 &&
                    IsDiskFullError(decoder.m_nFileErrno)) {
                    diskFull();
                    break;
                }
            }
            if (rawCopy >= 0) {
                ::close(rawCopy);
            }
            if (decoder.Close() != 0 && IsDiskFullError(decoder.m_nFileErrno)) {
                diskFull();
            }
        }
        articleLines.Clear();

        if (m_bEnableLogging) {
            AppendDownloadLog(m_strLogFile, outputPath, m_strFrom);
        }
        window.ShowThumbnail(outputPath);
        window.SetBytesTransferred(m_bytesTransferred);

        const int64_t now = NowSeconds();
        window.SetRateSince(BytesPerSec, m_passStart, now, m_bytesTransferred);
        m_articleSeconds += now - articleStart;
        window.SetRate(BinaryBytesPerSec, m_articleSeconds, m_bytesTransferred);

        std::string lowerName = ToLowerAscii(fileName);
        if (lowerName.find("index") != std::string::npos ||
            lowerName.find('.') == std::string::npos) {
            keepInHistory = false;
        }
        if (result && keepInHistory) {
            m_history.Add(lowerName);
        }
        window.SetSavingToText("");
    }
    window.SetProgress(LinesDecoded, 0, 0, true);
    return result;
}
