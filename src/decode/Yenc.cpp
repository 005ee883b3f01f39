#include "decode/Yenc.h"

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

std::string_view WithoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
    }
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    return line;
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

size_t YencLineDecoder::Decode(std::string_view line, unsigned char* out) {
    line = WithoutLineEnd(line);
    const char* in = line.data();
    const char* const end = in + line.size();
    unsigned char* const start = out;
    if (m_bEscape && in < end) {
        *out++ = static_cast<unsigned char>(*in++ - 64 - 42);
        m_bEscape = false;
    }
#if defined(__SSE2__)
    // Sixteen bytes at a time up to the next "=" (about one byte in 60 of
    // random data is escaped): the run before it is stored shifted back by
    // 42, then the escape is undone by itself. A store may write bytes past
    // the run; they lie inside the room of line.size() bytes, since the
    // output never runs ahead of the input, and are overwritten next.
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i offset = _mm_set1_epi8(42);
    while (end - in >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_sub_epi8(chunk, offset));
        const unsigned escapes =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, equals)));
        if (escapes == 0) {
            in += 16;
            out += 16;
            continue;
        }
        const int run = __builtin_ctz(escapes);
        in += run + 1;
        out += run;
        if (in == end) {
            m_bEscape = true;  // the byte it escapes begins the next line
            return static_cast<size_t>(out - start);
        }
        *out++ = static_cast<unsigned char>(*in++ - 64 - 42);
    }
#endif
    // The rest one byte at a time, no table: escapes are rare, so the
    // branch is nearly always predicted.
    while (in < end) {
        const char c = *in++;
        if (c != '=') {
            *out++ = static_cast<unsigned char>(c - 42);
        } else if (in < end) {
            *out++ = static_cast<unsigned char>(*in++ - 64 - 42);
        } else {
            m_bEscape = true;  // the byte it escapes begins the next line
        }
    }
    return static_cast<size_t>(out - start);
}

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t size) {
    // zlib takes at most a uInt at a time.
    while (size > 0) {
        const uInt chunk = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = static_cast<uint32_t>(::crc32(crc, data, chunk));
        data += chunk;
        size -= chunk;
    }
    return crc;
}

}  // namespace ng
