#pragma once
// Colourful test pictures drawn from nothing but arithmetic.

#include <cstdint>
#include <string>

#include "make-samples/JpegEncoder.h"

namespace ngsample {

enum class PictureKind { Sunset, Checkers, Circles, Number, Bars, Waves };

// Draws a picture of the kind; variant shifts colours and shapes, and is the
// number shown by PictureKind::Number.
RgbImage Render(PictureKind kind, int width, int height, int variant);

// Adds reproducible noise of up to +-amplitude per channel. Noise is what
// makes a JPEG big, so this steers the size of the encoded file.
void AddGrain(RgbImage& image, int amplitude, std::uint64_t seed);

// A small deterministic random source (xorshift64*).
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    std::uint64_t Next() {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }

private:
    std::uint64_t m_state;
};

}  // namespace ngsample
