#pragma once
// The text forms binary attachments travel in: uuencoding and base64.

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

// CRC-32 (the one of zip and PNG), to name file contents in the manifest.
std::uint32_t Crc32(std::string_view data);

}  // namespace ngsample
