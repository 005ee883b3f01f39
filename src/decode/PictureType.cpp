#include "decode/PictureType.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "decode/DecodeKernels.h"

namespace ng {

namespace {

// "BM" alone starts many texts: a BMP's next header must have a size one
// of its versions gives (OS/2 1.x and 2.x, Windows 3 to 5).
bool IsBmp(std::string_view head) {
    if (head.size() < 18 || !head.starts_with("BM")) {
        return false;
    }
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) {
        size = size << 8 | static_cast<unsigned char>(head[14 + i]);
    }
    return size == 12 || size == 16 || size == 40 || size == 52 || size == 56 || size == 64 ||
           size == 108 || size == 124;
}

}  // namespace

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
    if (IsBmp(head)) {
        return PictureType::Bmp;
    }
    // Little- or big-endian, classic or BigTIFF.
    if (head.starts_with(std::string_view("II*\0", 4)) ||
        head.starts_with(std::string_view("MM\0*", 4)) ||
        head.starts_with(std::string_view("II+\0", 4)) ||
        head.starts_with(std::string_view("MM\0+", 4))) {
        return PictureType::Tiff;
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
        case PictureType::Bmp:
            return ".bmp";
        case PictureType::Tiff:
            return ".tif";
        case PictureType::Unknown:
            break;
    }
    return "";
}

bool IsPictureFile(int fd) {
    char head[kPictureSignatureBytes];
    size_t got = 0;
    while (got < sizeof head) {
        const ssize_t n = ::pread(fd, head + got, sizeof head - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return SniffPictureType(std::string_view(head, got)) != PictureType::Unknown;
}

bool StartsBase64Picture(std::string_view line) {
    if (line.starts_with("/9j/")) {
        return true;
    }
    // The first 24 characters carry the 18 bytes every signature fits in.
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
