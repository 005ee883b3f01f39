#include "make-samples/JpegEncoder.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ngsample {

namespace {

// Example tables of the JPEG standard (Annex K), in natural row order.
constexpr std::array<int, 64> kLumaQuant = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChromaQuant = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct HuffmanSpec {
    std::array<std::uint8_t, 16> counts;  // codes of length 1..16
    std::vector<std::uint8_t> symbols;
};

const HuffmanSpec kLumaDc = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                             {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanSpec kChromaDc = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                               {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanSpec kLumaAc = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
     0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
     0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
     0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
     0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
     0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
     0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
     0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
     0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
     0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
const HuffmanSpec kChromaAc = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
     0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
     0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
     0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
     0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
     0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
     0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
     0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
     0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
     0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};

// Code and length per symbol, built as the standard's Annex C describes.
struct HuffmanCodes {
    std::array<std::uint16_t, 256> code{};
    std::array<std::uint8_t, 256> length{};
};

HuffmanCodes BuildCodes(const HuffmanSpec& spec) {
    HuffmanCodes codes;
    unsigned code = 0;
    std::size_t k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < spec.counts[len - 1]; ++i) {
            std::uint8_t symbol = spec.symbols[k++];
            codes.code[symbol] = static_cast<std::uint16_t>(code++);
            codes.length[symbol] = static_cast<std::uint8_t>(len);
        }
        code <<= 1;
    }
    return codes;
}

// Natural index of each position of the zig-zag scan.
std::array<int, 64> ZigZag() {
    std::array<int, 64> order{};
    int k = 0;
    for (int s = 0; s < 15; ++s) {
        int lo = std::max(0, s - 7);
        int hi = std::min(s, 7);
        for (int i = 0; i <= hi - lo; ++i) {
            int row = (s % 2 == 0) ? hi - i : lo + i;
            order[k++] = row * 8 + (s - row);
        }
    }
    return order;
}

std::array<int, 64> ScaleQuant(const std::array<int, 64>& base, int quality) {
    quality = std::clamp(quality, 1, 100);
    int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    std::array<int, 64> out{};
    for (int i = 0; i < 64; ++i) {
        out[i] = std::clamp((base[i] * scale + 50) / 100, 1, 255);
    }
    return out;
}

class BitWriter {
public:
    explicit BitWriter(std::string& out) : m_out(out) {}

    void Put(unsigned bits, int count) {
        m_acc = (m_acc << count) | (bits & ((1u << count) - 1));
        m_count += count;
        while (m_count >= 8) {
            auto byte = static_cast<unsigned char>(m_acc >> (m_count - 8));
            m_out.push_back(static_cast<char>(byte));
            if (byte == 0xFF) {
                m_out.push_back('\0');  // a data byte 0xFF must not read as a marker
            }
            m_count -= 8;
        }
        m_acc &= (1u << m_count) - 1;
    }

    void Flush() {
        if (m_count > 0) {
            Put((1u << (8 - m_count)) - 1, 8 - m_count);  // pad with one bits
        }
    }

private:
    std::string& m_out;
    std::uint32_t m_acc = 0;
    int m_count = 0;
};

int Category(int value) {
    int magnitude = value < 0 ? -value : value;
    int bits = 0;
    while (magnitude) {
        ++bits;
        magnitude >>= 1;
    }
    return bits;
}

void PutValue(BitWriter& writer, int value, int category) {
    if (category == 0) {
        return;
    }
    unsigned bits = value < 0 ? static_cast<unsigned>(value - 1) : static_cast<unsigned>(value);
    writer.Put(bits, category);
}

void Put16(std::string& out, int value) {
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

void PutMarker(std::string& out, int marker) {
    out.push_back(static_cast<char>(0xFF));
    out.push_back(static_cast<char>(marker));
}

void PutHuffmanTable(std::string& out, int classAndId, const HuffmanSpec& spec) {
    out.push_back(static_cast<char>(classAndId));
    for (std::uint8_t count : spec.counts) {
        out.push_back(static_cast<char>(count));
    }
    for (std::uint8_t symbol : spec.symbols) {
        out.push_back(static_cast<char>(symbol));
    }
}

struct ComponentCoder {
    const std::array<int, 64>* quant;
    const HuffmanCodes* dc;
    const HuffmanCodes* ac;
    int previousDc = 0;
};

class BlockEncoder {
public:
    BlockEncoder() : m_zigzag(ZigZag()) {
        const double pi = std::acos(-1.0);
        for (int x = 0; x < 8; ++x) {
            for (int u = 0; u < 8; ++u) {
                double c = u == 0 ? std::sqrt(0.5) : 1.0;
                m_cos[x][u] = c * std::cos((2 * x + 1) * u * pi / 16.0) / 2.0;
            }
        }
    }

    // samples: 64 level-shifted values in natural order.
    void Encode(const std::array<double, 64>& samples, ComponentCoder& coder, BitWriter& writer) {
        // Separable forward DCT: rows, then columns.
        std::array<double, 64> rows{};
        for (int y = 0; y < 8; ++y) {
            for (int u = 0; u < 8; ++u) {
                double sum = 0;
                for (int x = 0; x < 8; ++x) {
                    sum += samples[y * 8 + x] * m_cos[x][u];
                }
                rows[y * 8 + u] = sum;
            }
        }
        std::array<int, 64> quantized{};
        for (int u = 0; u < 8; ++u) {
            for (int v = 0; v < 8; ++v) {
                double sum = 0;
                for (int y = 0; y < 8; ++y) {
                    sum += rows[y * 8 + u] * m_cos[y][v];
                }
                int index = v * 8 + u;
                int q = static_cast<int>(std::lround(sum / (*coder.quant)[index]));
                quantized[index] = std::clamp(q, -1023, 1023);
            }
        }

        int diff = std::clamp(quantized[0] - coder.previousDc, -2047, 2047);
        coder.previousDc = quantized[0];
        int category = Category(diff);
        writer.Put(coder.dc->code[category], coder.dc->length[category]);
        PutValue(writer, diff, category);

        int run = 0;
        for (int k = 1; k < 64; ++k) {
            int value = quantized[m_zigzag[k]];
            if (value == 0) {
                ++run;
                continue;
            }
            while (run > 15) {
                writer.Put(coder.ac->code[0xF0], coder.ac->length[0xF0]);
                run -= 16;
            }
            category = Category(value);
            int symbol = (run << 4) | category;
            writer.Put(coder.ac->code[symbol], coder.ac->length[symbol]);
            PutValue(writer, value, category);
            run = 0;
        }
        if (run > 0) {
            writer.Put(coder.ac->code[0x00], coder.ac->length[0x00]);
        }
    }

    const std::array<int, 64>& ZigZagOrder() const { return m_zigzag; }

private:
    std::array<int, 64> m_zigzag;
    double m_cos[8][8];
};

}  // namespace

void RgbImage::Set(int x, int y, int r, int g, int b) {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return;
    }
    std::uint8_t* p = At(x, y);
    p[0] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
    p[1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
    p[2] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
}

std::string EncodeJpeg(const RgbImage& image, int quality, const std::string& comment) {
    const std::array<int, 64> lumaQuant = ScaleQuant(kLumaQuant, quality);
    const std::array<int, 64> chromaQuant = ScaleQuant(kChromaQuant, quality);
    const HuffmanCodes lumaDc = BuildCodes(kLumaDc);
    const HuffmanCodes lumaAc = BuildCodes(kLumaAc);
    const HuffmanCodes chromaDc = BuildCodes(kChromaDc);
    const HuffmanCodes chromaAc = BuildCodes(kChromaAc);
    BlockEncoder blocks;

    std::string out;
    PutMarker(out, 0xD8);  // SOI

    PutMarker(out, 0xE0);  // APP0: JFIF 1.01, no density, no thumbnail
    Put16(out, 16);
    out.append("JFIF", 5);
    out.append({1, 1, 0, 0, 1, 0, 1, 0, 0});

    for (std::size_t pos = 0; pos < comment.size(); pos += 65533) {
        std::string piece = comment.substr(pos, 65533);
        PutMarker(out, 0xFE);  // COM
        Put16(out, static_cast<int>(piece.size()) + 2);
        out.append(piece);
    }

    PutMarker(out, 0xDB);  // DQT: both tables, 8-bit, in zig-zag order
    Put16(out, 2 + 2 * 65);
    const std::array<int, 64>& zigzag = blocks.ZigZagOrder();
    for (int table = 0; table < 2; ++table) {
        out.push_back(static_cast<char>(table));
        const std::array<int, 64>& quant = table == 0 ? lumaQuant : chromaQuant;
        for (int k = 0; k < 64; ++k) {
            out.push_back(static_cast<char>(quant[zigzag[k]]));
        }
    }

    PutMarker(out, 0xC0);  // SOF0: baseline, 3 components, no subsampling
    Put16(out, 17);
    out.push_back(8);
    Put16(out, image.height);
    Put16(out, image.width);
    out.push_back(3);
    out.append({1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1});

    PutMarker(out, 0xC4);  // DHT: all four tables in one segment
    auto tableSize = [](const HuffmanSpec& spec) {
        return 1 + 16 + static_cast<int>(spec.symbols.size());
    };
    Put16(out, 2 + tableSize(kLumaDc) + tableSize(kLumaAc) + tableSize(kChromaDc) +
                   tableSize(kChromaAc));
    PutHuffmanTable(out, 0x00, kLumaDc);
    PutHuffmanTable(out, 0x10, kLumaAc);
    PutHuffmanTable(out, 0x01, kChromaDc);
    PutHuffmanTable(out, 0x11, kChromaAc);

    PutMarker(out, 0xDA);  // SOS
    Put16(out, 12);
    out.push_back(3);
    out.append({1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});

    ComponentCoder coders[3] = {{&lumaQuant, &lumaDc, &lumaAc},
                                {&chromaQuant, &chromaDc, &chromaAc},
                                {&chromaQuant, &chromaDc, &chromaAc}};
    BitWriter writer(out);
    std::array<double, 64> samples[3];
    for (int by = 0; by < image.height; by += 8) {
        for (int bx = 0; bx < image.width; bx += 8) {
            for (int y = 0; y < 8; ++y) {
                // Blocks that stick out of the picture repeat its edge pixels.
                int sy = std::min(by + y, image.height - 1);
                for (int x = 0; x < 8; ++x) {
                    int sx = std::min(bx + x, image.width - 1);
                    const std::uint8_t* p = image.At(sx, sy);
                    double r = p[0], g = p[1], b = p[2];
                    samples[0][y * 8 + x] = 0.299 * r + 0.587 * g + 0.114 * b - 128.0;
                    samples[1][y * 8 + x] = -0.168736 * r - 0.331264 * g + 0.5 * b;
                    samples[2][y * 8 + x] = 0.5 * r - 0.418688 * g - 0.081312 * b;
                }
            }
            for (int c = 0; c < 3; ++c) {
                blocks.Encode(samples[c], coders[c], writer);
            }
        }
    }
    writer.Flush();
    PutMarker(out, 0xD9);  // EOI
    return out;
}

}  // namespace ngsample
