#include "decode/UUDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/FileNames.h"
#include "platform/TextFile.h"

namespace {

// The blanks of scanf's "%s" and of a blank in its format (isspace in the C locale).
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view CutAtNul(std::string_view line) {
    return line.substr(0, std::min(line.find('\0'), line.size()));
}

// Whether the line holds nothing but its line end (CR and LF) from `at` on.
// A line that needs its line end to reach its length is too short: the
// line end is no data. Asked of every line, whose character at `at` is
// nearly always a data character (from ' ' on): one comparison then, and
// the rest kept out of the decoder's way.
[[gnu::noinline, gnu::cold]] bool OnlyLineEndFrom(std::string_view line, size_t at) {
    return line.find_first_not_of("\r\n", at) == std::string_view::npos;
}

inline bool IsLineEndFrom(std::string_view line, size_t at) {
    return static_cast<unsigned char>(line[at]) <= '\r' && OnlyLineEndFrom(line, at);
}

// Six bits of one character: the space and the backquote both stand for 0.
inline size_t SixBits(unsigned char c) {
    return (c - 32u) & 63u;
}

}  // namespace

CUUDecoder::CUUDecoder(std::string directory)
    : m_strDirectory(std::move(directory)), m_kernels(&ng::decode::ActiveKernels()) {}

CUUDecoder::CUUDecoder(int outputFd)
    : m_nOutputFd(outputFd), m_kernels(&ng::decode::ActiveKernels()) {}

CUUDecoder::~CUUDecoder() = default;

int CUUDecoder::DecodeLine(std::string_view line) {
    switch (m_nDecodeState) {
        case LookingForBegin:
            return FindBegin(line);
        case DecodingData:
            return DecodeDataLine(line);
        case ExpectingEnd:
            return CheckEnd(line);
        case Finished:
            return Done;
        default:
            return Failed;
    }
}

std::optional<UuBeginLine> CUUDecoder::ParseBeginLine(std::string_view line) {
    // Asked of every line: the word first, before the line is searched for a NUL.
    if (!line.starts_with("begin")) {
        return std::nullopt;
    }
    line = CutAtNul(line);
    // "begin %o %s": an octal number (sign allowed), then the first run of
    // non-blank characters.
    size_t i = 5;
    auto skipBlanks = [&] {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
    };
    skipBlanks();
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    size_t digitsStart = i;
    uint32_t mode = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7') {
        mode = mode * 8 + static_cast<uint32_t>(line[i] - '0');
        ++i;
    }
    if (i == digitsStart) {
        return std::nullopt;
    }
    skipBlanks();
    size_t nameStart = i;
    while (i < line.size() && !IsBlank(line[i])) {
        ++i;
    }
    if (i == nameStart) {
        return std::nullopt;
    }
    UuBeginLine begin;
    begin.mode = static_cast<int>(negative ? 0u - mode : mode);
    begin.firstWord = line.substr(nameStart, i - nameStart);
    std::string_view rest = line.substr(nameStart);
    while (!rest.empty() && IsBlank(rest.back())) {
        rest.remove_suffix(1);  // the line end, and blanks before it
    }
    begin.rest = rest;
    return begin;
}

int CUUDecoder::FindBegin(std::string_view line) {
    std::optional<UuBeginLine> begin = ParseBeginLine(line);
    if (!begin) {
        return LineTaken;
    }
    m_nMode = begin->mode;
    m_szFileName.assign(begin->firstWord);
    if (m_nOutputFd >= 0) {
        m_out.Attach(m_nOutputFd);
    } else {
        // The name comes from the server: only its last component is used,
        // and names the folder cannot hold are refused, never shortened.
        std::string_view leaf = m_szFileName;
        if (auto slash = leaf.find_last_of('/'); slash != std::string_view::npos) {
            leaf.remove_prefix(slash + 1);
        }
        if (m_szFileName.size() > kMaxNameLength || leaf.size() > ng::kMaxLeafName ||
            m_strDirectory.size() + leaf.size() > kMaxPathLength) {
            return Fail(ENAMETOOLONG);
        }
        auto path = ng::SafeJoin(m_strDirectory, m_szFileName);
        if (!path) {
            return Fail(EINVAL);
        }
        if (int error = m_out.Create(*path); error != 0) {
            return Fail(error);
        }
        m_szFileName.assign(leaf);
    }
    m_hFile = m_out.Fd();
    m_nDecodeState = DecodingData;
    return LineTaken;
}

int CUUDecoder::DecodeDataLine(std::string_view line) {
    const auto* text = reinterpret_cast<const unsigned char*>(line.data());
    // An empty line reads its length from the terminating NUL, as a C string would.
    size_t count = SixBits(line.empty() ? 0 : text[0]);
    if (count == 0) {
        int flushError = m_out.Flush();
        int closeError = m_out.Close();
        m_hFile = -1;
        if (flushError == 0 && closeError == 0) {
            m_nDecodeState = ExpectingEnd;
            return LineTaken;
        }
        return Fail(flushError != 0 ? flushError
                                    : (ng::IsDiskFullError(closeError) ? closeError : 0));
    }

    size_t groups = (count + 2) / 3;
    if (line.size() <= 4 * groups || text[0] == 0 || IsLineEndFrom(line, 4 * groups)) {
        // A truncated line: keep what came before it. Only a failure to
        // write that out counts as a file error.
        return Fail(m_out.Flush());
    }
    // The kernel looks for a NUL (which also cuts the line short) while it
    // decodes: the bytes only count once they are committed.
    unsigned char* out = m_out.Claim(groups * 3 + ng::decode::kSlack);
    if (!m_kernels->uuGroups(text + 1, groups, out)) {
        return Fail(m_out.Flush());
    }
    // Only `count` of the decoded bytes belong to the file.
    if (int error = m_out.Commit(count); error != 0) {
        return Fail(error);
    }
    return LineTaken;
}

int CUUDecoder::Close() {
    int error = m_out.Close();
    m_hFile = -1;
    if (error != 0 && !m_bFileError) {
        m_bFileError = 1;
        m_nFileErrno = error;
    }
    return m_bFileError ? m_nFileErrno : 0;
}

int CUUDecoder::CheckEnd(std::string_view line) {
    m_nDecodeState = Finished;
    return CutAtNul(line) == "end" ? Done : Failed;
}

int CUUDecoder::Fail(int error) {
    // A close that reports a full disk means bytes were lost after all.
    int closeError = m_out.Close();
    if (error == 0 && ng::IsDiskFullError(closeError)) {
        error = closeError;
    }
    m_hFile = -1;
    m_nDecodeState = Finished;
    if (error != 0) {
        m_bFileError = 1;
        m_nFileErrno = error;
    }
    return Failed;
}
