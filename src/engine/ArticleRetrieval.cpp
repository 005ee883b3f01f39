// One accepted article: fetch it whole, find its attachment (a uuencoded
// file after a "begin" line, or a base64 JPEG in a MIME part), decode it into
// the group's save folder, log it, show it, and remember its name.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "decode/Base64Decoder.h"
#include "decode/UUDecoder.h"
#include "engine/Overview.h"
#include "engine/ProcessGroups.h"
#include "net/Socket.h"
#include "platform/FileNames.h"
#include "platform/System.h"
#include "platform/TextFile.h"
#include "store/DownloadLog.h"

using namespace ng;

namespace {

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
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
    std::vector<std::string> articleLines;
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
            UndoDotStuffing(line);

            if (StartsWith(line, "begin")) {
                std::string_view text = WithoutLineEnd(line);
                fileName = AttachmentName(text.size() > 10 ? text.substr(10) : std::string_view());
                uuencoded = true;
                window.SetSavingToText(m_strSaveDir + fileName);
                lineCounter = 0;
            }
            if (ToUpperAscii(line).find("BASE64") != std::string::npos) {
                base64 = true;
                lineCounter = 0;
            }
            if (base64) {
                if (StartsWith(line, "Content-Disposition:")) {
                    size_t open = line.find('"');
                    size_t close = open == std::string::npos ? open : line.find('"', open + 1);
                    std::string quoted = close == std::string::npos
                                             ? std::string()
                                             : line.substr(open + 1, close - open - 1);
                    base64Name = quoted.empty() ? std::string() : AttachmentName(quoted);
                    if (!base64Name.empty()) {
                        window.SetSavingToText(m_strSaveDir + base64Name + " -- (base64)");
                    }
                }
                fileName = base64Name;
            }
            articleLines.push_back(std::move(line));

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
            for (const std::string& line : articleLines) {
                m_pause.WaitWhilePaused();
                decoder.DecodeLine(line);
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
            for (const std::string& line : articleLines) {
                m_pause.WaitWhilePaused();
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
        articleLines.clear();

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
