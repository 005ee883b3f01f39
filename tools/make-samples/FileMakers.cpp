#include "make-samples/FileMakers.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "make-samples/JpegEncoder.h"
#include "make-samples/Pictures.h"

namespace ngsample {

namespace {

void PutLe16(std::string& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutLe32(std::string& out, std::size_t at, std::uint32_t value) {
    PutLe16(out, at, value & 0xFFFF);
    PutLe16(out, at + 2, value >> 16);
}

void AppendBe32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// Random bytes of `size` with `head` over their start and `tail` over their end.
std::string Framed(std::size_t size, std::uint64_t seed, std::string_view head,
                   std::string_view tail = {}) {
    std::string out = RandomBytes(std::max(size, head.size() + tail.size()), seed);
    std::copy(head.begin(), head.end(), out.begin());  // an empty view may have no data
    std::copy(tail.begin(), tail.end(), out.end() - static_cast<std::ptrdiff_t>(tail.size()));
    return out;
}

// Width and height of a 4:3 picture of about `pixels` pixels.
void Dimensions(std::size_t pixels, int* width, int* height) {
    *height = std::max(16, static_cast<int>(std::sqrt(static_cast<double>(pixels) * 3 / 4)));
    *width = std::max(16, static_cast<int>(pixels / static_cast<std::size_t>(*height)));
}

// A camera's start: SOI and an Exif APP1 holding an empty little-endian TIFF.
std::string FakeJpeg(std::size_t size, std::uint64_t seed) {
    static const char kHead[] =
        "\xFF\xD8\xFF\xE1\x00\x16"
        "Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0";
    return Framed(size, seed, std::string_view(kHead, sizeof kHead - 1), "\xFF\xD9");
}

// Drawn and encoded for real, with grain added until it is about `size`.
std::string RealJpeg(std::size_t size, std::uint64_t seed) {
    static const PictureKind kKinds[] = {PictureKind::Sunset, PictureKind::Circles,
                                         PictureKind::Waves, PictureKind::Checkers};
    const PictureKind kind = kKinds[seed % 4];
    const int variant = static_cast<int>(seed % 50);
    int width = 0, height = 0;
    Dimensions(size / 2, &width, &height);  // grain at quality 90 costs about 2 bytes a pixel
    std::string jpeg;
    for (int grain : {8, 16, 28, 44, 64, 96}) {
        RgbImage image = Render(kind, width, height, variant);
        AddGrain(image, grain, seed);
        jpeg = EncodeJpeg(image, 90, "Newsgleaner sample picture");
        if (jpeg.size() >= size * 9 / 10) {
            break;
        }
    }
    return jpeg;
}

std::string PngChunk(const char* type, std::string_view data) {
    std::string chunk;
    AppendBe32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk += type;
    chunk += data;
    const uLong crc = ::crc32_z(::crc32_z(0, reinterpret_cast<const Bytef*>(type), 4),
                                reinterpret_cast<const Bytef*>(data.data()), data.size());
    AppendBe32(chunk, static_cast<std::uint32_t>(crc));
    return chunk;
}

// A real RGB PNG of noise, which does not compress, so its size is about
// the pixels' bytes.
std::string RealPng(std::size_t size, std::uint64_t seed) {
    int width = 0, height = 0;
    Dimensions(std::max<std::size_t>(size, 1024) / 3, &width, &height);
    const std::size_t row = static_cast<std::size_t>(width) * 3 + 1;
    std::string raw = RandomBytes(row * static_cast<std::size_t>(height), seed);
    for (int y = 0; y < height; ++y) {
        raw[static_cast<std::size_t>(y) * row] = 0;  // filter: none
    }
    uLongf packedSize = ::compressBound(raw.size());
    std::string packed(packedSize, '\0');
    ::compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.data()), raw.size(), Z_BEST_SPEED);
    packed.resize(packedSize);
    std::string header;
    AppendBe32(header, static_cast<std::uint32_t>(width));
    AppendBe32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
    return std::string("\x89PNG\r\n\x1A\n") + PngChunk("IHDR", header) + PngChunk("IDAT", packed) +
           PngChunk("IEND", {});
}

std::string FakeGif(std::size_t size, std::uint64_t seed) {
    std::string head("GIF89a\0\0\0\0\xF7\0\0", 13);  // a global table of 256 colours
    int width = 0, height = 0;
    Dimensions(size, &width, &height);
    PutLe16(head, 6, static_cast<std::uint32_t>(width));
    PutLe16(head, 8, static_cast<std::uint32_t>(height));
    return Framed(size, seed, head, "\x3B");
}

// A RIFF file holding one lossy VP8 frame, its sizes as the format has them.
std::string FakeWebp(std::size_t size, std::uint64_t seed) {
    size = std::max<std::size_t>(size, 64);
    std::string head("RIFF\0\0\0\0WEBPVP8 \0\0\0\0\x10\x02\x00\x9D\x01\x2A\0\0\0\0", 30);
    PutLe32(head, 4, static_cast<std::uint32_t>(size - 8));
    PutLe32(head, 16, static_cast<std::uint32_t>(size - 20));
    int width = 0, height = 0;
    Dimensions(size * 4, &width, &height);
    PutLe16(head, 26, static_cast<std::uint32_t>(width));
    PutLe16(head, 28, static_cast<std::uint32_t>(height));
    return Framed(size, seed, head);
}

}  // namespace

const char* FileTypeName(FileType type) {
    switch (type) {
        case FileType::Jpeg:
        case FileType::JpegReal:
            return "jpeg";
        case FileType::Png:
            return "png";
        case FileType::Gif:
            return "gif";
        case FileType::Webp:
            return "webp";
        case FileType::Rar:
            return "rar";
        case FileType::Zip:
            return "zip";
        case FileType::Par2:
            return "par2";
        case FileType::Mp4:
            return "mp4";
    }
    return "data";
}

bool IsPicture(FileType type) {
    return type == FileType::Jpeg || type == FileType::JpegReal || type == FileType::Png ||
           type == FileType::Gif || type == FileType::Webp;
}

const char* FileKindName(FileType type) {
    if (IsPicture(type)) {
        return "picture";
    }
    switch (type) {
        case FileType::Par2:
            return "par2";
        case FileType::Mp4:
            return "video";
        default:
            return "archive";
    }
}

std::string RandomBytes(std::size_t count, std::uint64_t seed) {
    Random random(seed * 0x9E3779B97F4A7C15ull + 0x5EEDull);
    std::string out(count, '\0');
    std::size_t at = 0;
    for (; at + 8 <= count; at += 8) {
        const std::uint64_t v = random.Next();
        std::memcpy(out.data() + at, &v, 8);
    }
    for (std::uint64_t v = random.Next(); at < count; ++at, v >>= 8) {
        out[at] = static_cast<char>(v & 0xFF);
    }
    return out;
}

std::string MakeFile(FileType type, std::size_t size, std::uint64_t seed) {
    switch (type) {
        case FileType::Jpeg:
            return FakeJpeg(size, seed);
        case FileType::JpegReal:
            return RealJpeg(size, seed);
        case FileType::Png:
            return RealPng(size, seed);
        case FileType::Gif:
            return FakeGif(size, seed);
        case FileType::Webp:
            return FakeWebp(size, seed);
        case FileType::Rar:
            return Framed(size, seed, std::string_view("Rar!\x1A\x07\x01\x00", 8));
        case FileType::Zip: {
            // A stored member's local header; the rest need not add up.
            const std::string member = "photo_0001.jpg";
            std::string head("PK\x03\x04\x14", 5);
            head.resize(30, '\0');
            PutLe16(head, 26, static_cast<std::uint32_t>(member.size()));
            return Framed(size, seed, head + member);
        }
        case FileType::Par2:
            return Framed(size, seed, std::string_view("PAR2\0PKT\x40\0\0\0\0\0\0\0", 16));
        case FileType::Mp4:
            return Framed(size, seed,
                          std::string_view("\0\0\0\x20"
                                           "ftypisom\0\0\x02\0isomiso2avc1mp41",
                                           32));
    }
    return RandomBytes(size, seed);
}

}  // namespace ngsample
