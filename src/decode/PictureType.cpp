#include "decode/PictureType.h"

#include "decode/DecodeKernels.h"

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
    constexpr size_t kGroups = kChars / 4;
    unsigned char bytes[kPictureSignatureBytes];
    if (decode::Base64GroupsPlain(reinterpret_cast<const unsigned char*>(line.data()), kChars,
                                  kGroups, bytes) != kGroups) {
        return false;  // a character outside the alphabet among them
    }
    PictureType type =
        SniffPictureType(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
    return type != PictureType::Unknown;
}

}  // namespace ng
