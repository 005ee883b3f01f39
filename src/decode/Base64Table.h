#pragma once
// The value of every byte in base64 text: 0..63 for the characters of the
// standard alphabet, kBase64Pad for "=", kBase64Skip for all the others.

#include <array>
#include <cstdint>

namespace ng::decode {

inline constexpr uint8_t kBase64Pad = 0x40;
inline constexpr uint8_t kBase64Skip = 0x80;

inline constexpr std::array<uint8_t, 256> kBase64Values = [] {
    std::array<uint8_t, 256> table{};
    for (auto& entry : table) {
        entry = kBase64Skip;
    }
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<uint8_t>(i);
    }
    table['='] = kBase64Pad;
    return table;
}();

}  // namespace ng::decode
