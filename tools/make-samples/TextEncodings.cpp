#include "make-samples/TextEncodings.h"

#include <algorithm>
#include <array>

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

std::uint32_t Crc32(std::string_view data) {
    static const std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            table[i] = c;
        }
        return table;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc = kTable[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace ngsample
