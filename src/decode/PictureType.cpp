#include "decode/PictureType.h"

#include "decode/Base64Table.h"

namespace ng {

PictureType SniffPictureType(std::string_view head) {
    if (head.starts_with("\xFF\xD8\xFF")) {
        return PictureType::Jpeg;
    }
    if (head.starts_with("\x89PNG\r\n\x1A\n")) {
        return PictureType::Png;
    }
    if (head.starts_with("GIF87a") || head.starts_with("GIF89a")) {
        return PictureType::Gif;
    }
    if (head.size() >= 12 && head.starts_with("RIFF") && head.substr(8, 4) == "WEBP") {
        return PictureType::Webp;
    }
    return PictureType::Unknown;
}

std::string_view PictureExtension(PictureType type) {
    switch (type) {
        case PictureType::Jpeg:
            return ".jpg";
        case PictureType::Png:
            return ".png";
        case PictureType::Gif:
            return ".gif";
        case PictureType::Webp:
            return ".webp";
        case PictureType::Unknown:
            break;
    }
    return "";
}

bool StartsBase64Picture(std::string_view line) {
    if (line.starts_with("/9j/")) {
        return true;
    }
    // The first 16 characters carry the 12 bytes every signature fits in.
    constexpr size_t kChars = kPictureSignatureBytes / 3 * 4;
    if (line.size() < kChars) {
        return false;
    }
    char bytes[kPictureSignatureBytes];
    for (size_t i = 0; i < kChars; i += 4) {
        int v[4];
        for (size_t k = 0; k < 4; ++k) {
            v[k] = decode::kBase64Values[static_cast<unsigned char>(line[i + k])];
            if (v[k] >= 64) {
                return false;
            }
        }
        bytes[i / 4 * 3] = static_cast<char>(v[0] << 2 | v[1] >> 4);
        bytes[i / 4 * 3 + 1] = static_cast<char>((v[1] & 15) << 4 | v[2] >> 2);
        bytes[i / 4 * 3 + 2] = static_cast<char>((v[2] & 3) << 6 | v[3]);
    }
    PictureType type = SniffPictureType(std::string_view(bytes, sizeof bytes));
    return type != PictureType::Unknown;
}

}  // namespace ng
