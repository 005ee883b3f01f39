#include "decode/Base64Decoder.h"

#include <array>
#include <cerrno>
#include <cstdint>

namespace {

// One entry per byte: the value 0..63 of an alphabet character, kPad for
// "=", kSkip for everything else.
constexpr uint8_t kPad = 0x40;
constexpr uint8_t kSkip = 0x80;

constexpr std::array<uint8_t, 256> MakeTable() {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) {
        entry = kSkip;
    }
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<uint8_t>(i);
    }
    table['='] = kPad;
    return table;
}

constexpr std::array<uint8_t, 256> kTable = MakeTable();

// -1 for the padding character, -2 for a character to skip.
inline int CharValue(char c) {
    uint8_t v = kTable[static_cast<unsigned char>(c)];
    return (v & kSkip) ? -2 : (v & kPad) ? -1 : v;
}

}  // namespace

CBase64Decoder::CBase64Decoder() = default;

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
    // Room for every group this call can complete, counting the characters
    // carried over from the previous call, so that no group is ever lost for
    // want of space.
    int64_t room = 3 * ((static_cast<int64_t>(m_nQuantum) + length) / 4);
    unsigned char* output = m_out.Claim(static_cast<size_t>(room));
    int produced = Decode(text, length, output, static_cast<int>(room));
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
    if (sourceLength < 1) {
        return 0;
    }
    const auto* in = reinterpret_cast<const unsigned char*>(source);
    int i = 0;
    int produced = 0;
    while (i < sourceLength) {
        // Whole groups of four alphabet characters, the bulk of any
        // attachment, go without the character-by-character bookkeeping.
        while (m_nQuantum == 0 && sourceLength - i >= 4 && capacity - produced >= 3) {
            unsigned a = kTable[in[i]];
            unsigned b = kTable[in[i + 1]];
            unsigned c = kTable[in[i + 2]];
            unsigned d = kTable[in[i + 3]];
            if ((a | b | c | d) & (kPad | kSkip)) {
                break;
            }
            output[produced] = static_cast<unsigned char>(a << 2 | b >> 4);
            output[produced + 1] = static_cast<unsigned char>(b << 4 | c >> 2);
            output[produced + 2] = static_cast<unsigned char>(c << 6 | d);
            produced += 3;
            i += 4;
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
