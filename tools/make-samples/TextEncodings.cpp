#include "make-samples/TextEncodings.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace ngsample {

namespace {

char UuChar(unsigned value) {
    value &= 0x3F;
    return value == 0 ? '`' : static_cast<char>(' ' + value);
}

}  // namespace

std::vector<std::string> UuEncodeLines(std::string_view data, const std::string& name) {
    std::vector<std::string> lines;
    lines.reserve(data.size() / 45 + 4);
    lines.push_back("begin 644 " + name);
    for (std::size_t pos = 0; pos < data.size(); pos += 45) {
        std::size_t n = std::min<std::size_t>(45, data.size() - pos);
        std::string line;
        line.reserve(61);
        line.push_back(UuChar(static_cast<unsigned>(n)));
        for (std::size_t i = 0; i < n; i += 3) {
            unsigned b0 = static_cast<unsigned char>(data[pos + i]);
            unsigned b1 = i + 1 < n ? static_cast<unsigned char>(data[pos + i + 1]) : 0;
            unsigned b2 = i + 2 < n ? static_cast<unsigned char>(data[pos + i + 2]) : 0;
            line.push_back(UuChar(b0 >> 2));
            line.push_back(UuChar((b0 << 4) | (b1 >> 4)));
            line.push_back(UuChar((b1 << 2) | (b2 >> 6)));
            line.push_back(UuChar(b2));
        }
        lines.push_back(std::move(line));
    }
    lines.push_back("`");
    lines.push_back("end");
    return lines;
}

std::vector<std::string> Base64Lines(std::string_view data, std::size_t lineLength) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string all;
    all.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        unsigned b0 = static_cast<unsigned char>(data[i]);
        unsigned b1 = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        unsigned b2 = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
        all.push_back(kAlphabet[b0 >> 2]);
        all.push_back(kAlphabet[((b0 << 4) | (b1 >> 4)) & 0x3F]);
        all.push_back(i + 1 < data.size() ? kAlphabet[((b1 << 2) | (b2 >> 6)) & 0x3F] : '=');
        all.push_back(i + 2 < data.size() ? kAlphabet[b2 & 0x3F] : '=');
    }
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < all.size(); pos += lineLength) {
        lines.push_back(all.substr(pos, lineLength));
    }
    return lines;
}

std::vector<std::string> YencLines(const YencPiece& piece, const std::string& name,
                                   const YencStyle& style) {
    constexpr std::size_t kLineLength = 128;
    const std::string_view data = piece.file.substr(piece.begin, piece.end - piece.begin);
    const bool multi = piece.parts > 1 || style.partHeader;
    std::vector<std::string> lines;
    lines.reserve(data.size() / kLineLength * 103 / 100 + 4);
    std::string head = "=ybegin";
    if (multi) {
        head += " part=" + std::to_string(piece.part) + " total=" + std::to_string(piece.parts);
    }
    head += " line=" + std::to_string(kLineLength) + " size=" + std::to_string(piece.file.size()) +
            " name=" + name;
    const std::string range =
        "=ypart begin=" + std::to_string(piece.begin + 1) + " end=" + std::to_string(piece.end);
    if (multi && style.ypartOnBegin) {
        head += " " + range;
    }
    lines.push_back(head);
    if (multi && !style.ypartOnBegin) {
        lines.push_back(range);
    }
    std::string line;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const unsigned char out = static_cast<unsigned char>(data[i] + 42);
        const bool last = i + 1 == data.size() || line.size() + 1 >= kLineLength;
        const bool escape = out == 0 || out == '\n' || out == '\r' || out == '=' ||
                            ((out == '\t' || out == ' ') && (line.empty() || last)) ||
                            (out == '.' && line.empty());
        if (escape) {
            line.push_back('=');
            line.push_back(static_cast<char>(out + 64));
        } else {
            line.push_back(static_cast<char>(out));
        }
        if (line.size() >= kLineLength) {
            lines.push_back(std::move(line));
            line.clear();
        }
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    const char* crcFormat = style.longCrc ? "ffffffff%08x" : "%08x";
    auto hex = [crcFormat](std::uint32_t crc) {
        char text[24];
        std::snprintf(text, sizeof text, crcFormat, crc);
        return std::string(text);
    };
    std::string tail = "=yend size=" + std::to_string(data.size());
    if (multi) {
        tail += " part=" + std::to_string(piece.part) + " pcrc32=" + hex(Crc32(data));
        // Without crcEveryPart the whole file's CRC comes with the last part
        // only, as uuenview writes it.
        if (piece.part == piece.parts || style.crcEveryPart) {
            tail += " crc32=" + hex(Crc32(piece.file));
        }
    } else {
        tail += " crc32=" + hex(Crc32(data));
    }
    lines.push_back(tail);
    return lines;
}

std::uint32_t Crc32(std::string_view data) {
    return static_cast<std::uint32_t>(
        ::crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

std::string Sha256Hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (::EVP_Digest(data.data(), data.size(), digest, &length, ::EVP_sha256(), nullptr) != 1) {
        return {};
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 15]);
    }
    return text;
}

}  // namespace ngsample
