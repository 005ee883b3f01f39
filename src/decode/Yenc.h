#pragma once
// yEnc: the keyword lines around an attachment ("=ybegin", "=ypart",
// "=yend") and the decoding of its data lines. Each byte of the file is
// sent as (byte + 42) mod 256; a byte that would be critical on the wire is
// sent as "=" and (byte + 42 + 64) mod 256. Line ends are never data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ng {

// "=ypart begin=B end=E": the piece's first and last byte, counted from 1.
struct YencPart {
    int64_t begin = 0;
    int64_t end = 0;
};
std::optional<YencPart> ParseYpart(std::string_view line);

// "=ybegin [part=P] [total=T] line=L size=S name=NAME": the name is the rest
// of the line (blanks inside it included, blanks after it not) and the
// other values come before it. Missing numbers are -1 (size) or 0. Some
// posters write the "=ypart" line on the end of this one.
struct YencBegin {
    int64_t part = 0;
    int64_t total = 0;
    int64_t line = 0;
    int64_t size = -1;
    std::string_view name;          // without the line end
    std::optional<YencPart> range;  // an "=ypart" on this line
};
std::optional<YencBegin> ParseYbegin(std::string_view line);

// "=yend size=S [part=P] [pcrc32=X] [crc32=Y]". A CRC written with more
// than 8 hex digits counts by its last 8, as other decoders read it.
struct YencEnd {
    int64_t size = -1;
    std::optional<uint32_t> pcrc32;  // of this part's bytes
    std::optional<uint32_t> crc32;   // of the whole file
};
std::optional<YencEnd> ParseYend(std::string_view line);

// Whether the line is a keyword line of this name ("=ybegin", ...): the
// keyword followed by a blank or the line's end.
bool IsYencKeyword(std::string_view line, std::string_view keyword);

namespace decode {
struct Kernels;
}

// Decodes data lines, with the kernels active when it was made. An "=" that
// ends a line escapes the first byte of the next one, since the line break
// between them is no data.
class YencLineDecoder {
public:
    YencLineDecoder();
    // Decodes the line (its CR LF, or LF, is dropped) into out, which has
    // room for line.size() bytes. The number of bytes written.
    size_t Decode(std::string_view line, unsigned char* out);
    // An "=" waits for the byte it escapes.
    bool EscapePending() const { return m_bEscape; }

private:
    const decode::Kernels* m_kernels;
    bool m_bEscape = false;
};

// CRC-32 as yEnc and zip compute it, continued from `crc` (0 to start), by
// the active kernels.
uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t size);

}  // namespace ng
