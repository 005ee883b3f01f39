#pragma once
// The text forms binary attachments travel in: uuencoding, base64 and yEnc.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ngsample {

// The uuencoded form of data, one string per line, without line ends:
// "begin 644 <name>", data lines of up to 45 bytes ("M" + 60 characters for a
// full line), the zero-length line "`" and "end". A zero six-bit value is
// written as "`" rather than a blank, so no line ends in blanks.
std::vector<std::string> UuEncodeLines(std::string_view data, const std::string& name);

// RFC 2045 base64 of data, cut into lines of lineLength characters (a
// multiple of 4), without line ends.
std::vector<std::string> Base64Lines(std::string_view data, std::size_t lineLength = 76);

// One article's share of a yEnc post: the bytes at [begin, end) of a file of
// total bytes, as part `part` of `parts` (1 and 1 for a post of one article).
struct YencPiece {
    std::string_view file;
    std::size_t begin = 0;
    std::size_t end = 0;
    int part = 1;
    int parts = 1;
};

// How a posting program lays out its yEnc header and trailer lines. The
// default is the plainest form; the others are what today's posts show.
struct YencStyle {
    // part=, total= and =ypart even for a post of one article.
    bool partHeader = false;
    // The whole file's crc32= on every part, not the last one only.
    bool crcEveryPart = false;
    // " =ypart begin= end=" at the end of the =ybegin line, not on a line of
    // its own (the name then no longer runs to the end of the line).
    bool ypartOnBegin = false;
    // Each CRC in 16 hex digits: "ffffffff" before the 8 that count.
    bool longCrc = false;
};

// The yEnc form of a piece, one string per line, without line ends:
// "=ybegin" (with part= and total= for a post of several articles),
// "=ypart" for those, data lines of 128 encoded bytes (escaping NUL, LF, CR,
// "=", a leading dot, and a tab or blank at either end of a line) and
// "=yend" with the size and CRC-32s (the whole file's on the last part).
std::vector<std::string> YencLines(const YencPiece& piece, const std::string& name,
                                   const YencStyle& style = {});

// CRC-32 (the one of zip and PNG), to name file contents in the manifest.
std::uint32_t Crc32(std::string_view data);

// SHA-256 in lower-case hex, as the reader keeps the hashes of saved pictures.
std::string Sha256Hex(std::string_view data);

}  // namespace ngsample
