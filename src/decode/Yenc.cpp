#include "decode/Yenc.h"

#include "decode/ArticleLines.h"
#include "decode/DecodeKernels.h"
#include "platform/Numbers.h"

namespace ng {

namespace {

// The value after " key=" in the text, or nullopt when the key is missing.
std::optional<std::string_view> ValueOf(std::string_view text, std::string_view key) {
    for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
        const bool startsWord = at == 0 || text[at - 1] == ' ';
        if (startsWord && at + key.size() < text.size() && text[at + key.size()] == '=') {
            std::string_view value = text.substr(at + key.size() + 1);
            return value.substr(0, value.find(' '));
        }
    }
    return std::nullopt;
}

int64_t NumberOf(std::string_view text, std::string_view key, int64_t missing) {
    auto value = ValueOf(text, key);
    if (!value || value->empty() || (*value)[0] < '0' || (*value)[0] > '9') {
        return missing;
    }
    return LeadingNumber(*value);
}

// The hex digits' last 8 ("ffffffff79b5066a" is 79b5066a); nullopt when
// there are none, so that a checksum that cannot be read is not taken for
// one that matches.
std::optional<uint32_t> HexOf(std::string_view text, std::string_view key) {
    auto value = ValueOf(text, key);
    if (!value) {
        return std::nullopt;
    }
    uint32_t result = 0;
    size_t digits = 0;
    for (char c : *value) {
        int v = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (v < 0) {
            break;
        }
        result = result << 4 | static_cast<uint32_t>(v);
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return result;
}

}  // namespace

bool IsYencKeyword(std::string_view line, std::string_view keyword) {
    if (!line.starts_with(keyword)) {
        return false;
    }
    std::string_view rest = WithoutLineEnd(line.substr(keyword.size()));
    return rest.empty() || rest[0] == ' ';
}

std::optional<YencBegin> ParseYbegin(std::string_view line) {
    if (!IsYencKeyword(line, "=ybegin")) {
        return std::nullopt;
    }
    std::string_view text = WithoutLineEnd(line.substr(7));
    YencBegin begin;
    // An "=ypart" on the same line ends the header proper: its keys are the
    // part's, not the file's.
    for (size_t at = text.find("=ypart"); at != std::string_view::npos;
         at = text.find("=ypart", at + 1)) {
        if (IsYencKeyword(text.substr(at), "=ypart")) {
            begin.range = ParseYpart(text.substr(at));
            text = text.substr(0, at);
            break;
        }
    }
    // The name runs to the line's end, so the other keys are looked for
    // only before it: a name may hold "size=" itself.
    size_t nameAt = text.find(" name=");
    std::string_view keys = text;
    if (nameAt != std::string_view::npos) {
        begin.name = text.substr(nameAt + 6);
        keys = text.substr(0, nameAt);
        while (!begin.name.empty() && (begin.name.back() == ' ' || begin.name.back() == '\t')) {
            begin.name.remove_suffix(1);
        }
    }
    begin.part = NumberOf(keys, "part", 0);
    begin.total = NumberOf(keys, "total", 0);
    begin.line = NumberOf(keys, "line", 0);
    begin.size = NumberOf(keys, "size", -1);
    return begin;
}

std::optional<YencPart> ParseYpart(std::string_view line) {
    if (!IsYencKeyword(line, "=ypart")) {
        return std::nullopt;
    }
    std::string_view text = WithoutLineEnd(line.substr(6));
    return YencPart{NumberOf(text, "begin", 0), NumberOf(text, "end", 0)};
}

std::optional<YencEnd> ParseYend(std::string_view line) {
    if (!IsYencKeyword(line, "=yend")) {
        return std::nullopt;
    }
    std::string_view text = WithoutLineEnd(line.substr(5));
    return YencEnd{NumberOf(text, "size", -1), HexOf(text, "pcrc32"), HexOf(text, "crc32")};
}

YencLineDecoder::YencLineDecoder() : m_kernels(&decode::ActiveKernels()) {}

size_t YencLineDecoder::Decode(std::string_view line, unsigned char* out) {
    line = WithoutLineEnd(line);
    return m_kernels->yenc(reinterpret_cast<const unsigned char*>(line.data()), line.size(), out,
                           m_bEscape);
}

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t size) {
    return decode::ActiveKernels().crc32(crc, data, size);
}

}  // namespace ng
