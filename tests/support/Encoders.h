#pragma once
// Attachments made the way a poster's program makes them, and the blocks a
// server sends: seeded random bytes, uuencode and base64 lines ending in
// CR LF, dot-stuffing. Header-only and free of any test framework, so that
// the benchmarks and fuzz targets use the same encoders as the tests.

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ngtest {

// `size` bytes from a Mersenne Twister seeded with `seed`: one draw a byte,
// its low eight bits.
inline std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return bytes;
}

// One uuencoded line of up to 45 bytes, with its length character and CR LF;
// the backquote stands for zero.
inline std::string UuLine(std::string_view bytes) {
    auto put = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
    std::string line(1, put(static_cast<unsigned>(bytes.size())));
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned char b[3] = {0, 0, 0};
        for (size_t k = 0; k < 3 && i + k < bytes.size(); ++k) {
            b[k] = static_cast<unsigned char>(bytes[i + k]);
        }
        line += put(b[0] >> 2);
        line += put(((b[0] & 3) << 4) | (b[1] >> 4));
        line += put(((b[1] & 15) << 2) | (b[2] >> 6));
        line += put(b[2] & 63);
    }
    return line + "\r\n";
}

// The data lines of a uuencoded file, 45 bytes a line: neither the begin
// line nor the zero-length line and "end" after them.
inline std::vector<std::string> UuDataLines(std::string_view bytes) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < bytes.size(); at += 45) {
        lines.push_back(UuLine(bytes.substr(at, 45)));
    }
    return lines;
}

// A whole uuencoded file as lines: "begin 644 <name>", the data lines, the
// zero-length line and "end".
inline std::vector<std::string> UuFileLines(std::string_view bytes, const std::string& beginName) {
    std::vector<std::string> lines{"begin 644 " + beginName + "\r\n"};
    for (std::string& line : UuDataLines(bytes)) {
        lines.push_back(std::move(line));
    }
    lines.push_back("`\r\n");
    lines.push_back("end\r\n");
    return lines;
}

// The same file as one text.
inline std::string UUEncode(std::string_view bytes, const std::string& beginName) {
    std::string text = "begin 644 " + beginName + "\r\n";
    text.reserve(bytes.size() * 62 / 45 + beginName.size() + 64);
    for (size_t at = 0; at < bytes.size(); at += 45) {
        text += UuLine(bytes.substr(at, 45));
    }
    return text + "`\r\nend\r\n";
}

// Standard base64 of the bytes in lines of 76 characters (`base64 -w 76`),
// each ending in CR LF.
inline std::vector<std::string> Base64Lines(std::string_view bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    flat.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned b0 = static_cast<unsigned char>(bytes[i]);
        unsigned b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        unsigned b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        flat += kAlphabet[b0 >> 2];
        flat += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        flat += i + 1 < bytes.size() ? kAlphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
        flat += i + 2 < bytes.size() ? kAlphabet[b2 & 63] : '=';
    }
    std::vector<std::string> lines;
    for (size_t at = 0; at < flat.size(); at += 76) {
        lines.push_back(flat.substr(at, 76) + "\r\n");
    }
    return lines;
}

// The same lines as one text.
inline std::string Base64Encode(std::string_view bytes) {
    std::string text;
    for (const std::string& line : Base64Lines(bytes)) {
        text += line;
    }
    return text;
}

// CRC-32 of the bytes (zlib's), as yEnc writes it: eight lower-case hex digits.
inline std::string Crc32Hex(std::string_view bytes) {
    uLong crc =
        ::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", crc);
    return text;
}

// yEnc data lines of about `lineLength` characters, CR LF ended: NUL, LF,
// CR and "=" are escaped everywhere, TAB and blank at a line's start and
// end, and "." at its start, as posting programs do.
inline std::string YencDataLines(std::string_view bytes, size_t lineLength = 128) {
    std::string out;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(static_cast<unsigned char>(bytes[i]) + 42);
        const bool last = i + 1 == bytes.size() || line.size() + 1 >= lineLength;
        const bool escape = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                            ((c == '\t' || c == ' ') && (line.empty() || last)) ||
                            (c == '.' && line.empty());
        if (escape) {
            line += '=';
            line += static_cast<char>(c + 64);
        } else {
            line += static_cast<char>(c);
        }
        if (line.size() >= lineLength || i + 1 == bytes.size()) {
            out += line + "\r\n";
            line.clear();
        }
    }
    return out;
}

// A whole file in one article: "=ybegin", data, "=yend" with its CRC.
inline std::string YencEncode(std::string_view bytes, const std::string& name) {
    const std::string size = std::to_string(bytes.size());
    return "=ybegin line=128 size=" + size + " name=" + name + "\r\n" + YencDataLines(bytes) +
           "=yend size=" + size + " crc32=" + Crc32Hex(bytes) + "\r\n";
}

// Part `part` of `total` of a file: bytes begin..end (from 1, inclusive).
inline std::string YencEncodePart(std::string_view file, const std::string& name, int part,
                                  int total, size_t begin, size_t end) {
    std::string_view piece = file.substr(begin - 1, end - begin + 1);
    return "=ybegin part=" + std::to_string(part) + " total=" + std::to_string(total) +
           " line=128 size=" + std::to_string(file.size()) + " name=" + name + "\r\n" +
           "=ypart begin=" + std::to_string(begin) + " end=" + std::to_string(end) + "\r\n" +
           YencDataLines(piece) + "=yend size=" + std::to_string(piece.size()) +
           " part=" + std::to_string(part) + " pcrc32=" + Crc32Hex(piece) +
           (part == total ? " crc32=" + Crc32Hex(file) : std::string()) + "\r\n";
}

// The lines of a text, each with its line end (the last may have none).
inline std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t lf = text.find('\n', at);
        const size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// How a server sends a block: a leading "." doubled on every line.
inline std::string DotStuff(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text[start] == '.') {
            out += '.';
        }
        out.append(text, start, end - start);
        start = end;
    }
    return out;
}

}  // namespace ngtest
