#include "decode/Base64Decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "decode/Base64Table.h"

namespace {

using ng::decode::kBase64Pad;
using ng::decode::kBase64Skip;
using ng::decode::kBase64Values;

// -1 for the padding character, -2 for a character to skip.
inline int CharValue(char c) {
    uint8_t v = kBase64Values[static_cast<unsigned char>(c)];
    return (v & kBase64Skip) ? -2 : (v & kBase64Pad) ? -1 : v;
}

}  // namespace

CBase64Decoder::CBase64Decoder() : m_kernels(&ng::decode::ActiveKernels()) {}

CBase64Decoder::~CBase64Decoder() {
    Close();
}

int CBase64Decoder::Open(const std::string& path) {
    int error = m_out.Create(path);
    m_hFile = m_out.Fd();
    if (error != 0) {
        m_nFileErrno = error;
        return -1;
    }
    return 0;
}

void CBase64Decoder::Attach(int fd) {
    m_out.Attach(fd);
    m_hFile = fd;
    m_nFileErrno = 0;
}

int CBase64Decoder::Close() {
    int error = m_out.Close();
    m_hFile = -1;
    if (error != 0) {
        m_nFileErrno = error;
        return -1;
    }
    return 0;
}

int CBase64Decoder::DecodeAndWrite(const char* text, int length) {
    if (text == nullptr || length < 0) {
        length = 0;
    }
    // Nearly every line is whole groups and a line end, with nothing carried
    // over: one kernel call, none of the bookkeeping below. Anything else
    // (padding, a split group, other characters) takes the general way,
    // which writes the same bytes again from the start.
    int body = length;
    while (body > 0 && (text[body - 1] == '\n' || text[body - 1] == '\r')) {
        --body;
    }
    if (m_nQuantum == 0 && body > 0 && body % 4 == 0 && m_out.IsOpen()) {
        const auto groups = static_cast<size_t>(body / 4);
        unsigned char* output = m_out.Claim(3 * groups + ng::decode::kSlack);
        if (m_kernels->base64Groups(reinterpret_cast<const unsigned char*>(text),
                                    static_cast<size_t>(body), groups, output) == groups) {
            if (int error = m_out.Commit(3 * groups); error != 0) {
                m_nFileErrno = error;
                return -1;
            }
            return static_cast<int>(3 * groups);
        }
    }
    // Room for every group this call can complete, counting the characters
    // carried over from the previous call, so that no group is ever lost for
    // want of space.
    int64_t room = 3 * ((static_cast<int64_t>(m_nQuantum) + length) / 4);
    unsigned char* output = m_out.Claim(static_cast<size_t>(room) + ng::decode::kSlack);
    int produced = DecodeInto(text, length, output, room, room + ng::decode::kSlack);
    if (produced < 0) {
        return -1;
    }
    if (!m_out.IsOpen()) {
        // Keep the reason the file could not be opened, which says more.
        if (m_nFileErrno == 0) {
            m_nFileErrno = EBADF;
        }
        return -1;
    }
    if (int error = m_out.Commit(static_cast<size_t>(produced)); error != 0) {
        m_nFileErrno = error;
        return -1;
    }
    return produced;
}

int CBase64Decoder::Decode(const char* source, int sourceLength, unsigned char* output,
                           int capacity) {
    return DecodeInto(source, sourceLength, output, capacity, capacity);
}

int CBase64Decoder::DecodeInto(const char* source, int sourceLength, unsigned char* output,
                               int64_t capacity, int64_t writable) {
    if (sourceLength < 1) {
        return 0;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(source);
    int i = 0;
    int produced = 0;
    while (i < sourceLength) {
        // Whole groups of four alphabet characters, the bulk of any
        // attachment, go without the character-by-character bookkeeping:
        // as many as the capacity rule lets through (3 bytes of room each),
        // in vector blocks as far as their stores stay inside the output,
        // and the rest one by one.
        if (m_nQuantum == 0) {
            const auto left = static_cast<size_t>(sourceLength - i);
            const int64_t allowed = (capacity - produced) / 3;
            const int64_t storable =
                std::clamp<int64_t>((writable - produced - int64_t{ng::decode::kSlack}) / 3, 0,
                                    std::max<int64_t>(allowed, 0));
            size_t groups = 0;
            if (storable > 0) {
                groups = m_kernels->base64Groups(in + i, left, static_cast<size_t>(storable),
                                                 output + produced);
            }
            if (groups == static_cast<size_t>(storable) && allowed > storable) {
                groups += ng::decode::Base64GroupsPlain(in + i + 4 * groups, left - 4 * groups,
                                                        static_cast<size_t>(allowed - storable),
                                                        output + produced + 3 * groups);
            }
            i += static_cast<int>(4 * groups);
            produced += static_cast<int>(3 * groups);
        }

        // Line ends and other skipped characters between groups, quickly.
        while (i < sourceLength && kBase64Values[in[i]] == kBase64Skip) {
            ++i;
        }
        while (i < sourceLength && m_nQuantum < 4) {
            char c = source[i++];
            if (CharValue(c) != -2) {
                m_quantum[m_nQuantum++] = c;
            }
        }
        if (m_nQuantum < 4) {
            break;
        }
        m_nQuantum = 0;
        // Padding may stand anywhere; it takes the value -1 in the sums, and
        // in third or fourth place it ends the group and the call.
        int a = CharValue(m_quantum[0]);
        int b = CharValue(m_quantum[1]);
        int c = CharValue(m_quantum[2]);
        int d = CharValue(m_quantum[3]);
        if (produced >= capacity) {
            return -1;
        }
        output[produced++] = static_cast<unsigned char>(a * 4 + b / 16);
        if (m_quantum[2] == '=') {
            return produced;
        }
        if (produced >= capacity) {
            return -1;
        }
        output[produced++] = static_cast<unsigned char>(c / 4 + b * 16);
        if (m_quantum[3] == '=') {
            return produced;
        }
        if (produced >= capacity) {
            return -1;
        }
        output[produced++] = static_cast<unsigned char>(c * 64 + d);
    }
    return produced;
}
