#include "make-samples/Pictures.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace ngsample {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
    int r, g, b;
};

// Hue in turns (0..1), saturation and value 0..1.
Rgb Hsv(double hue, double saturation, double value) {
    hue = hue - std::floor(hue);
    double h = hue * 6.0;
    int sector = static_cast<int>(h) % 6;
    double f = h - std::floor(h);
    double p = value * (1 - saturation);
    double q = value * (1 - saturation * f);
    double t = value * (1 - saturation * (1 - f));
    double r = 0, g = 0, b = 0;
    switch (sector) {
        case 0:
            r = value, g = t, b = p;
            break;
        case 1:
            r = q, g = value, b = p;
            break;
        case 2:
            r = p, g = value, b = t;
            break;
        case 3:
            r = p, g = q, b = value;
            break;
        case 4:
            r = t, g = p, b = value;
            break;
        default:
            r = value, g = p, b = q;
            break;
    }
    return {static_cast<int>(r * 255 + 0.5), static_cast<int>(g * 255 + 0.5),
            static_cast<int>(b * 255 + 0.5)};
}

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {static_cast<int>(a.r + (b.r - a.r) * t), static_cast<int>(a.g + (b.g - a.g) * t),
            static_cast<int>(a.b + (b.b - a.b) * t)};
}

void Put(RgbImage& image, int x, int y, Rgb c) {
    image.Set(x, y, c.r, c.g, c.b);
}

void FillRect(RgbImage& image, int x0, int y0, int w, int h, Rgb c) {
    for (int y = std::max(0, y0); y < std::min(image.height, y0 + h); ++y) {
        for (int x = std::max(0, x0); x < std::min(image.width, x0 + w); ++x) {
            Put(image, x, y, c);
        }
    }
}

// 5 x 7 block digits, rows top to bottom.
const char* const kDigits[10][7] = {
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},
};

void DrawDigits(RgbImage& image, const std::string& text, int variant) {
    int count = static_cast<int>(text.size());
    // Each digit is 5 cells wide with a 1-cell gap; fit them in 80% of the width.
    int cell = std::max(2, std::min(image.width * 8 / 10 / (count * 6), image.height * 7 / 10 / 7));
    int totalWidth = (count * 6 - 1) * cell;
    int x0 = (image.width - totalWidth) / 2;
    int y0 = (image.height - 7 * cell) / 2;
    for (int i = 0; i < count; ++i) {
        int digit = text[i] - '0';
        if (digit < 0 || digit > 9) {
            continue;
        }
        const char* const* glyph = kDigits[digit];
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (glyph[row][col] != '#') {
                    continue;
                }
                int x = x0 + (i * 6 + col) * cell;
                int y = y0 + row * cell;
                Rgb face = Hsv(0.1 * variant + 0.03 * (row + col + i), 0.85, 0.95);
                FillRect(image, x + cell / 8 + 2, y + cell / 8 + 2, cell - cell / 8,
                         cell - cell / 8, {20, 20, 30});  // shadow
                FillRect(image, x, y, cell - cell / 8, cell - cell / 8, face);
            }
        }
    }
}

void RenderSunset(RgbImage& image, int variant) {
    int horizon = image.height * 6 / 10;
    Rgb top = Hsv(0.72 + 0.02 * variant, 0.7, 0.35);
    Rgb low = Hsv(0.07 + 0.01 * variant, 0.9, 1.0);
    double sunX = image.width * (0.3 + 0.1 * (variant % 5));
    double sunY = horizon - image.height * 0.12;
    double sunR = image.height * 0.14;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            Rgb c;
            if (y < horizon) {
                c = Mix(top, low, static_cast<double>(y) / horizon);
                double d = std::hypot(x - sunX, y - sunY);
                if (d < sunR) {
                    c = {255, 230, 120};
                } else if (d < sunR * 2.2) {
                    c = Mix({255, 200, 90}, c, (d - sunR) / (sunR * 1.2));
                }
            } else {
                double depth = static_cast<double>(y - horizon) / (image.height - horizon);
                c = Mix({200, 90, 60}, {20, 30, 80}, depth);
                double wave = std::sin(y * 0.9 + std::sin(x * 0.05) * 3.0);
                if (std::fabs(x - sunX) < sunR * (1.2 - depth) && wave > 0.3) {
                    c = Mix(c, {255, 210, 110}, 0.7);
                } else if (wave > 0.8) {
                    c = Mix(c, {255, 255, 255}, 0.2);
                }
            }
            Put(image, x, y, c);
        }
    }
}

void RenderCheckers(RgbImage& image, int variant) {
    int cell = std::max(8, image.width / (12 + variant % 5));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            int cx = x / cell, cy = y / cell;
            bool dark = (cx + cy) % 2 == 1;
            Rgb c =
                Hsv(0.05 * (cx + 2 * cy) + 0.13 * variant, dark ? 0.9 : 0.35, dark ? 0.55 : 0.98);
            Put(image, x, y, c);
        }
    }
}

void RenderCircles(RgbImage& image, int variant) {
    double cx = image.width / 2.0, cy = image.height / 2.0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            double d = std::hypot(x - cx, y - cy);
            double ring = d / (10.0 + variant % 7);
            Rgb c =
                Hsv(ring * 0.08 + 0.1 * variant, 0.8, 0.55 + 0.4 * std::fabs(std::sin(ring * kPi)));
            Put(image, x, y, c);
        }
    }
    // A few solid discs on top.
    Random random(0xC1C1E5ull + static_cast<std::uint64_t>(variant));
    for (int i = 0; i < 9; ++i) {
        double px = static_cast<double>(random.Next() % static_cast<std::uint64_t>(image.width));
        double py = static_cast<double>(random.Next() % static_cast<std::uint64_t>(image.height));
        double r = image.height * (0.04 + 0.02 * static_cast<double>(random.Next() % 4));
        Rgb c = Hsv(static_cast<double>(random.Next() % 100) / 100.0, 0.9, 0.95);
        for (int y = static_cast<int>(py - r); y <= static_cast<int>(py + r); ++y) {
            for (int x = static_cast<int>(px - r); x <= static_cast<int>(px + r); ++x) {
                if (std::hypot(x - px, y - py) <= r) {
                    Put(image, x, y, c);
                }
            }
        }
    }
}

void RenderNumber(RgbImage& image, int variant) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            double t = static_cast<double>(x + y) / (image.width + image.height);
            Put(image, x, y, Hsv(0.55 + 0.3 * t + 0.07 * variant, 0.45, 0.9 - 0.3 * t));
        }
    }
    DrawDigits(image, std::to_string(variant), variant);
}

void RenderBars(RgbImage& image, int variant) {
    int bars = 8 + variant % 5;
    for (int y = 0; y < image.height; ++y) {
        double shade = 1.0 - 0.6 * y / image.height;
        for (int x = 0; x < image.width; ++x) {
            int bar = x * bars / image.width;
            Put(image, x, y, Hsv(static_cast<double>(bar) / bars + 0.02 * variant, 0.9, shade));
        }
    }
}

void RenderWaves(RgbImage& image, int variant) {
    double k1 = 0.03 + 0.004 * (variant % 5);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            double v = std::sin(x * k1) + std::sin(y * k1 * 1.3) + std::sin((x + y) * k1 * 0.7) +
                       std::sin(std::hypot(x, y) * k1 * 0.9);
            Put(image, x, y, Hsv(v * 0.12 + 0.1 * variant, 0.75, 0.6 + 0.08 * v));
        }
    }
}

}  // namespace

RgbImage Render(PictureKind kind, int width, int height, int variant) {
    RgbImage image(width, height);
    switch (kind) {
        case PictureKind::Sunset:
            RenderSunset(image, variant);
            break;
        case PictureKind::Checkers:
            RenderCheckers(image, variant);
            break;
        case PictureKind::Circles:
            RenderCircles(image, variant);
            break;
        case PictureKind::Number:
            RenderNumber(image, variant);
            break;
        case PictureKind::Bars:
            RenderBars(image, variant);
            break;
        case PictureKind::Waves:
            RenderWaves(image, variant);
            break;
    }
    return image;
}

void AddGrain(RgbImage& image, int amplitude, std::uint64_t seed) {
    if (amplitude <= 0) {
        return;
    }
    Random random(seed);
    const int span = 2 * amplitude + 1;
    for (std::uint8_t& channel : image.pixels) {
        int noise = static_cast<int>(random.Next() % static_cast<std::uint64_t>(span)) - amplitude;
        channel = static_cast<std::uint8_t>(std::clamp(channel + noise, 0, 255));
    }
}

}  // namespace ngsample
