#pragma once
// A small baseline JPEG encoder: 8-bit YCbCr, no subsampling, the example
// quantisation and Huffman tables of the JPEG standard, JFIF header. Enough
// for test pictures that every viewer opens.

#include <cstdint>
#include <string>
#include <vector>

namespace ngsample {

struct RgbImage {
    RgbImage(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 3) {}

    std::uint8_t* At(int x, int y) {
        return &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
    }
    const std::uint8_t* At(int x, int y) const {
        return &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
    }
    void Set(int x, int y, int r, int g, int b);

    int width;
    int height;
    std::vector<std::uint8_t> pixels;  // R, G, B per pixel, rows top to bottom
};

// Encodes the image. quality runs from 1 to 100 (the usual scaling of the
// standard's tables; 50 gives the tables as printed). A non-empty comment is
// stored in a COM segment right after the JFIF header.
std::string EncodeJpeg(const RgbImage& image, int quality, const std::string& comment = {});

}  // namespace ngsample
